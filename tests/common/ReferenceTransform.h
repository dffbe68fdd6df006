#pragma once
#include <cstdint>

// The transform algorithm written out literally, loop order, per-call bit-reversal table and
// per-stage twiddle recurrence included. Slow on purpose: tests and benchmarks compare the
// production kernels against it. Complex arrays are pairs of doubles, real part first.
int32_t ReferenceFFTReal(const double* pdfInput, double* pdfOutput, uint32_t uiOrder);
int32_t ReferenceFFTComplex(const double* pdfInput, double* pdfOutput, uint32_t uiOrder);
int32_t ReferenceForwardFFT(const double* pdfInput, double* pdfOutput, uint32_t uiOrder);
int32_t ReferenceInverseFFT(double* pdfInput, double* pdfOutput, uint32_t uiOrder);
// The same butterflies with every twiddle computed directly: free of the rotation's drift (about
// 1e-12 of the peak from 2^17 points on), the yardstick for kernels with exact twiddles.
int32_t ReferenceExactFFTComplex(const double* pdfInput, double* pdfOutput, uint32_t uiOrder);
