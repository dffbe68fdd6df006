#include "output/Quantizer.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <new>

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
    // The grid and the accumulators in locals: the words written cannot alias them, so they stay in
    // registers for the whole block.
    const Grid Values{dfStep, dfMaxCode, uiCodeMask, uiCodeUnit};
    double dfLeft = pdfError[0];
    double dfRight = pdfError[1];
    for (uint64_t f = 0; f < ullFrames; ++f)
    {
        puiWords[2 * f] = QuantizeSample(pdfSamples[2 * f], dfLeft, Values);
        puiWords[2 * f + 1] = QuantizeSample(pdfSamples[2 * f + 1], dfRight, Values);
    }
    pdfError[0] = dfLeft;
    pdfError[1] = dfRight;
}

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
