#pragma once
#include <cstdint>

// Kaiser-Bessel-derived window of ullLength values (even, at least 2) with parameter dfAlpha:
// w[i]^2 + w[i + N/2]^2 = 1, so windowing before and after a transform with 50 % overlap
// reconstructs the signal. Each length is computed once and kept for the life of the process, so
// repeated set-ups copy it instead of evaluating the Bessel series again.
// 1 done; -4 null window, odd or zero length, or alpha not finite or negative; -2 out of memory.
int32_t MakeKBDWindow(double* pdfWindow, uint64_t ullLength, double dfAlpha);
