#pragma once
#include <cstdint>

// The transform algorithm written out literally, loop order, per-call bit-reversal table and
// per-stage twiddle recurrence included. Slow on purpose: tests and benchmarks compare the
// production kernels against it. Complex arrays are pairs of doubles, real part first.
int32_t ReferenceFFTReal(const double* pdfInput, double* pdfOutput, uint32_t uiOrder);
int32_t ReferenceFFTComplex(const double* pdfInput, double* pdfOutput, uint32_t uiOrder);
int32_t ReferenceForwardFFT(const double* pdfInput, double* pdfOutput, uint32_t uiOrder);
int32_t ReferenceInverseFFT(double* pdfInput, double* pdfOutput, uint32_t uiOrder);
