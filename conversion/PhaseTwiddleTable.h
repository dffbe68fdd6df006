#pragma once
#include <cstdint>

// Factors that turn one block's spectrum into the inputs of the small transforms from which the
// converter assembles its oversampled frame (see SamplingFrequencyConverter::ComputePhaseRows).
//
// With B = 2^uiBlockOrder, N2 = B * 2^uiOctaves and R = max(1, 2^(uiOctaves - 1)) rows, entry
// [q][b] (q < R, b < B, complex, real part first) is, for the frequency f that bin b stands for,
//   conj(e^(2 pi i f 2q / N2) + i e^(2 pi i f (2q + 1) / N2))   when uiOctaves >= 1 (phases 2q and
//                                                                 2q + 1 share a row),
//   1                                                            when uiOctaves = 0.
// Regular tables take f = b for b < B/2 and f = b - B otherwise; alias tables take the other
// frequency of the same bin, f = b - B for b < B/2 and f = b otherwise (bins moved past B/2 by a
// spectrum shift). A bit-reversed table holds at [q][k] the entry [q][rev(k)] of the plain one, for
// transforms that take their input in that order. Tables are built once per set of arguments and
// kept for the life of the process.
class PhaseTwiddleTable
{
public:
    // The table, or null when it cannot be made (out of memory or orders too large). Building runs
    // under a lock; the returned table never changes, so readers take none.
    static const double* Get(uint32_t uiBlockOrder, uint32_t uiOctaves, int32_t bAlias,
                             int32_t bBitReversed = 0);
};
