#pragma once
#include <cstdint>

// Discrete Fourier transforms of N = 2^uiOrder points with X[k] = sum x[n] e^(-2 pi i kn / N).
// Complex arrays hold N pairs of doubles, real part first; input and output must not overlap.
// Every function returns 1, or -4 for a null array or an order above FFT_MAX_ORDER, or -2 when
// the tables of a new order cannot be made.
//
// The kernels keep per-order tables (bit reversal, twiddles) for the life of the process. A call
// with an order that was never prepared builds them first, which allocates: set-up code calls
// PrepareFFT for the orders it will use, so that real-time threads only ever find them ready.
// Tables are shared by all threads; building them is serialised, using them takes no lock.

constexpr uint32_t FFT_MAX_ORDER = 24;

// Builds the tables of one order (a no-op when they exist). 1, -4 or -2 as above.
int32_t PrepareFFT(uint32_t uiOrder);

// Unscaled forward transform of N real values into N complex bins; the input is not changed.
int32_t FFTReal(const double* pdfInput, double* pdfOutput, uint32_t uiOrder);

// Unscaled forward transform of N complex values; the input is not changed.
int32_t FFTComplex(const double* pdfInput, double* pdfOutput, uint32_t uiOrder);

// FFTComplex in place on values that are already in bit-reversed order: position k holds input
// value rev(k), rev being the table GetBitReversal gives; the bins come out in natural order.
// For callers that can write their input in that order at no cost. Runs the literal algorithm's
// twiddles on both paths.
int32_t FFTComplexFromBitReversed(double* pdfData, uint32_t uiOrder);

// The transform of conj(x[k]) w[k], with x and w in bit-reversed order like the input of
// FFTComplexFromBitReversed, into pdfOutput in natural order; the products are formed on the way
// in. Where the processor has fused multiply-adds they are used, so results may differ from
// FFTComplex of the products by rounding (about 1e-16 relative).
int32_t FFTWeightedFromBitReversed(const double* pdfInput, const double* pdfWeights, double* pdfOutput,
                                   uint32_t uiOrder);

// Four transforms at once: those of conj(x[k]) w_r[k] for r = 0 ... 3, with x shared by the four and
// in bit-reversed order like the input of FFTComplexFromBitReversed. The weights hold the four side
// by side, also in bit-reversed order: entry k is 8 doubles, the real parts of w_0[k] ... w_3[k],
// then their imaginary parts. Bin m of transform r goes to pdfReal[m ullStride + r] and
// pdfImag[m ullStride + r] (ullStride at least 4); pdfScratch (8N doubles, apart from the outputs)
// holds the values between the passes. The twiddles are exact rather than running products, and
// fused multiply-adds are used where the processor has them: results agree with the literal
// transform of the products within rounding.
int32_t FFTWeightedFourFromBitReversed(const double* pdfInput, const double* pdfWeights, double* pdfScratch,
                                       double* pdfReal, double* pdfImag, uint64_t ullStride,
                                       uint32_t uiOrder);

// The bit-reversal permutation of an order (N entries), or null until PrepareFFT made it.
const uint32_t* GetBitReversal(uint32_t uiOrder);

// FFTReal with every output value divided by N.
int32_t ForwardFFT(const double* pdfInput, double* pdfOutput, uint32_t uiOrder);

// Negates the imaginary parts of the input in place, then FFTComplex: the output is the complex
// conjugate of the unscaled inverse transform, so its real parts are those of the inverse.
int32_t InverseFFT(double* pdfInput, double* pdfOutput, uint32_t uiOrder);

// Where the processor has 256-bit vectors with fused multiply-adds the kernels use them, with
// twiddles computed exactly: results within rounding of the exact transform (about 1e-16 of the
// peak), closer to it than the literal algorithm, whose running twiddles drift. On the 128-bit path
// FFTReal, FFTComplex, ForwardFFT and InverseFFT give the literal algorithm's results to the bit.
// Tests and benchmarks pass 0 to keep the 128-bit path, 1 to allow the wide one again. Returns 1
// when the wide path is in use afterwards.
int32_t SetFFTWideVectors(int32_t bAllow);
