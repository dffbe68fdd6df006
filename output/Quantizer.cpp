#include "output/Quantizer.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <new>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define LARKSPUR_QUANTIZER_SSE2 1
#endif

namespace
{
constexpr uint32_t CHANNELS = 2;
constexpr double FULL_SCALE = 2147483647.0;

// dfValue where bCondition holds, else +0, through a bit mask: the compiler keeps it a data
// dependency instead of turning it back into a jump.
inline double Masked(bool bCondition, double dfValue)
{
    return std::bit_cast<double>(std::bit_cast<uint64_t>(dfValue) & (uint64_t{0} - uint64_t{bCondition}));
}
} // namespace

int32_t Quantizer::Initialize(uint32_t uiLogicalBits, uint32_t uiDeviceBits, int32_t bEnhancerFlag)
{
    bInitialized = 0;
    bEnhancer = 0;
    uiChannelCount = 0;
    uiLogicalBitCount = 0;
    uiDeviceBitCount = 0;
    uiCodeMask = 0;
    uiCodeUnit = 0;
    dfMaxCode = 0.0;
    dfStep = 0.0;
    pdfError.reset();

    if (uiLogicalBits == 0 || uiLogicalBits > uiDeviceBits || uiDeviceBits % 8 != 0 || uiDeviceBits > 32)
    {
        return -4;
    }
    pdfError.reset(new (std::nothrow) double[CHANNELS]());
    if (!pdfError)
    {
        return -2;
    }
    uiChannelCount = CHANNELS;
    uiLogicalBitCount = uiLogicalBits;
    uiDeviceBitCount = uiDeviceBits;
    const uint32_t uiShift = 32 - uiLogicalBits;
    uiCodeMask = static_cast<uint32_t>(((uint64_t{1} << uiLogicalBits) - 1) << uiShift);
    uiCodeUnit = uint32_t{1} << uiShift;
    bEnhancer = bEnhancerFlag != 0 ? 1 : 0;
    dfMaxCode = std::ldexp(1.0, static_cast<int>(uiLogicalBits) - 1) - 1.0;
    dfStep = 1.0 / dfMaxCode;
    bInitialized = 1;
    return 1;
}

uint32_t Quantizer::Quantize(double dfSample, uint32_t uiChannel)
{
    if (bInitialized == 0 || uiChannel >= uiChannelCount)
    {
        return 0;
    }
    if (uiLogicalBitCount == 1)
    {
        return 0;
    }
    return QuantizeSample(dfSample, pdfError[uiChannel], Grid{dfStep, dfMaxCode, uiCodeMask, uiCodeUnit});
}

void Quantizer::QuantizeFrames(const double* pdfSamples, uint64_t ullFrames, uint32_t* puiWords)
{
    if (bInitialized == 0)
    {
        return;
    }
    if (uiLogicalBitCount == 1)
    {
        std::fill_n(puiWords, CHANNELS * ullFrames, 0u);
        return;
    }
    const Grid Values{dfStep, dfMaxCode, uiCodeMask, uiCodeUnit};
#ifdef LARKSPUR_QUANTIZER_SSE2
    QuantizePairs(pdfSamples, ullFrames, puiWords, pdfError.get(), Values);
#else
    // The grid and the accumulators in locals: the words written cannot alias them, so they stay in
    // registers for the whole block.
    double dfLeft = pdfError[0];
    double dfRight = pdfError[1];
    for (uint64_t f = 0; f < ullFrames; ++f)
    {
        puiWords[2 * f] = QuantizeSample(pdfSamples[2 * f], dfLeft, Values);
        puiWords[2 * f + 1] = QuantizeSample(pdfSamples[2 * f + 1], dfRight, Values);
    }
    pdfError[0] = dfLeft;
    pdfError[1] = dfRight;
#endif
}

#ifdef LARKSPUR_QUANTIZER_SSE2
namespace
{
using Pair = __m128d;

// One frame of QuantizeSample for both channels at once, the left one in the low lane: the same
// operations in the same order up to the code, so the codes and accumulators are the same to the
// bit. The two channels' feedback chains are independent, and side by side each step of one costs
// nothing for the other. bClip: a sample of the block may come near full scale, so the code may
// need limiting; otherwise no code can reach it (see QuantizePairs) and the test is left out.
template <bool bClip>
inline __m128i QuantizeFrame(Pair s, Pair& e, Pair Step, Pair Max, __m128i Shift,
                             void (*pPayOut)(double&, double&))
{
    const Pair One = _mm_set1_pd(1.0);
    const Pair Half = _mm_set1_pd(0.5);
    const Pair MinusHalf = _mm_set1_pd(-0.5);
    const Pair Magnitude = _mm_castsi128_pd(_mm_set1_epi64x(0x7FFFFFFFFFFFFFFF));
    // NaN counts as 0; then limited to [-1, 1] (a block clear of full scale needs no limit).
    Pair x = _mm_and_pd(s, _mm_cmpord_pd(s, s));
    if constexpr (bClip)
    {
        x = _mm_min_pd(One, _mm_max_pd(_mm_set1_pd(-1.0), x));
    }
    const Pair v = _mm_div_pd(x, Step);
    // Truncation through 32-bit integers: |v| < 2^31.
    const Pair t = _mm_cvtepi32_pd(_mm_cvttpd_epi32(v));
    const Pair d = _mm_sub_pd(v, t);
    Pair q = _mm_sub_pd(_mm_add_pd(t, _mm_and_pd(_mm_cmpgt_pd(d, Half), One)),
                        _mm_and_pd(_mm_cmplt_pd(d, MinusHalf), One));
    e = _mm_add_pd(e, _mm_sub_pd(v, q));
    const Pair Up = _mm_and_pd(_mm_cmpgt_pd(e, Half), One);
    const Pair Down = _mm_and_pd(_mm_cmplt_pd(e, MinusHalf), One);
    e = _mm_add_pd(_mm_sub_pd(e, Up), Down);
    q = _mm_sub_pd(_mm_add_pd(q, Up), Down);
    if (_mm_movemask_pd(_mm_cmpgt_pd(_mm_and_pd(e, Magnitude), Half)) != 0) [[unlikely]]
    {
        alignas(16) double adfE[2];
        alignas(16) double adfQ[2];
        _mm_store_pd(adfE, e);
        _mm_store_pd(adfQ, q);
        for (int c = 0; c < 2; ++c)
        {
            if (std::fabs(adfE[c]) > 0.5)
            {
                pPayOut(adfE[c], adfQ[c]);
            }
        }
        e = _mm_load_pd(adfE);
        q = _mm_load_pd(adfQ);
    }
    if constexpr (bClip)
    {
        const Pair MinusMax = _mm_sub_pd(_mm_setzero_pd(), Max);
        e = _mm_add_pd(e, _mm_add_pd(_mm_and_pd(_mm_cmpgt_pd(q, Max), _mm_sub_pd(Max, v)),
                                     _mm_and_pd(_mm_cmplt_pd(q, MinusMax), _mm_sub_pd(MinusMax, v))));
        q = _mm_min_pd(Max, _mm_max_pd(MinusMax, q));
    }
    // The word of a code q with |q| <= dfMaxCode: QuantizeSample's scaled magnitude has |q| in its
    // top L bits (it lies between |q| 2^(32 - L) and that plus one less than 2^(32 - L)), and the
    // negation then gives q in two's complement there, so the word is q shifted into place.
    return _mm_sll_epi32(_mm_cvttpd_epi32(q), Shift);
}
} // namespace

void Quantizer::QuantizePairs(const double* pdfSamples, uint64_t ullFrames, uint32_t* puiWords,
                              double* pdfErrors, const Grid& Values)
{
    const Pair Step = _mm_set1_pd(Values.dfStep);
    const Pair Max = _mm_set1_pd(Values.dfMaxCode);
    const __m128i Shift = _mm_cvtsi32_si128(static_cast<int32_t>(std::countr_zero(Values.uiCodeUnit)));
    // Below this magnitude a sample's code stays 4 steps inside full scale, and a code moves at most
    // 2.5 steps from its sample's value (rounding, and paying out an accumulator that a limited code
    // left at most 2 steps out): no code of the block then needs limiting.
    const double dfClipFree = (Values.dfMaxCode - 4.0) / Values.dfMaxCode;
    const Pair Magnitude = _mm_castsi128_pd(_mm_set1_epi64x(0x7FFFFFFFFFFFFFFF));
    Pair Largest = _mm_setzero_pd();
    for (uint64_t f = 0; f < ullFrames; ++f)
    {
        // With a NaN the maximum takes its second operand: a NaN never replaces the largest so far
        // (and counts as 0 later anyway).
        Largest = _mm_max_pd(_mm_and_pd(_mm_loadu_pd(pdfSamples + 2 * f), Magnitude), Largest);
    }
    const bool bClip = _mm_movemask_pd(_mm_cmpgt_pd(Largest, _mm_set1_pd(dfClipFree))) != 0;
    Pair e = _mm_loadu_pd(pdfErrors);
    for (uint64_t f = 0; f < ullFrames; ++f)
    {
        const Pair s = _mm_loadu_pd(pdfSamples + 2 * f);
        const __m128i Word = bClip ? QuantizeFrame<true>(s, e, Step, Max, Shift, PayOut)
                                   : QuantizeFrame<false>(s, e, Step, Max, Shift, PayOut);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(puiWords + 2 * f), Word);
    }
    _mm_storeu_pd(pdfErrors, e);
}
#endif

// Each decision is a mask or a 0/1 factor rather than a jump, so the per-sample work has no branch
// to mispredict; only an accumulator left beyond a step by clipping pays out over more than one
// step. Truncations go through 64-bit integers, exact for every value that can occur (|v| < 2^31).
// A one-bit grid (step infinity) is the caller's to keep away: its only code is 0.
inline uint32_t Quantizer::QuantizeSample(double dfSample, double& dfError, const Grid& Values)
{
    // A NaN would poison the channel's accumulator for good and cannot be turned into a code: it
    // counts as 0 (all bits cleared).
    double x = Masked(!std::isnan(dfSample), dfSample);
    x = std::min(1.0, std::max(-1.0, x));
    const double v = x / Values.dfStep;
    const double t = static_cast<double>(static_cast<int64_t>(v));
    // Halves go toward zero.
    double q = t + Masked(v - t > 0.5, 1.0) - Masked(v - t < -0.5, 1.0);

    double e = dfError + (v - q);
    const double dfUp = Masked(e > 0.5, 1.0);
    const double dfDown = Masked(e < -0.5, 1.0);
    e = e - dfUp + dfDown;
    q = q + dfUp - dfDown;
    if (std::fabs(e) > 0.5) [[unlikely]]
    {
        PayOut(e, q);
    }
    const double dfMax = Values.dfMaxCode;
    e += Masked(q > dfMax, dfMax - v) + Masked(q < -dfMax, -dfMax - v);
    q = std::min(dfMax, std::max(-dfMax, q));
    dfError = e;

    const double y = q * Values.dfStep;
    const double dfMagnitude = std::min(std::fabs(y) * FULL_SCALE, FULL_SCALE);
    const double dfWhole = static_cast<double>(static_cast<int64_t>(dfMagnitude));
    const uint32_t m = static_cast<uint32_t>(static_cast<int64_t>(dfMagnitude)) +
                       static_cast<uint32_t>(dfMagnitude - dfWhole >= 0.5);
    // Negation of the code in the top bits, applied through masks: all ones when y < 0.
    const uint32_t uiNegative = 0u - static_cast<uint32_t>(y < 0.0);
    return ((m ^ (Values.uiCodeMask & uiNegative)) + (Values.uiCodeUnit & uiNegative)) & Values.uiCodeMask;
}

void Quantizer::PayOut(double& e, double& q)
{
    for (;;)
    {
        if (e > 0.5)
        {
            e -= 1.0;
            q += 1.0;
        }
        else if (e < -0.5)
        {
            e += 1.0;
            q -= 1.0;
        }
        else
        {
            return;
        }
    }
}

double Quantizer::GetError(uint32_t uiChannel) const
{
    if (bInitialized == 0 || uiChannel >= uiChannelCount)
    {
        return 0.0;
    }
    return pdfError[uiChannel];
}
