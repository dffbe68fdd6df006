#include "output/Quantizer.h"

#include <cmath>
#include <new>

namespace
{
constexpr uint32_t CHANNELS = 2;
constexpr double FULL_SCALE = 2147483647.0;
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
    // A NaN would poison the channel's accumulator for good and cannot be turned into a code.
    double x = std::isnan(dfSample) ? 0.0 : dfSample;
    if (x > 1.0)
    {
        x = 1.0;
    }
    else if (x < -1.0)
    {
        x = -1.0;
    }
    const double v = x / dfStep;
    const double t = std::trunc(v);
    double q = t;
    if (v - t > 0.5)
    {
        q = t + 1.0;
    }
    else if (v - t < -0.5)
    {
        q = t - 1.0;
    }

    double e = pdfError[uiChannel] + (v - q);
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
            break;
        }
    }
    if (q > dfMaxCode)
    {
        e += dfMaxCode - v;
        q = dfMaxCode;
    }
    else if (q < -dfMaxCode)
    {
        e += -dfMaxCode - v;
        q = -dfMaxCode;
    }
    pdfError[uiChannel] = e;

    // Code 0 is the zero word; checking it here also keeps the one-bit grid (step = infinity) from
    // producing 0 x infinity.
    if (q == 0.0)
    {
        return 0;
    }
    const double y = q * dfStep;
    double dfMagnitude = std::fabs(y) * FULL_SCALE;
    if (dfMagnitude > FULL_SCALE)
    {
        dfMagnitude = FULL_SCALE;
    }
    const double dfWhole = std::trunc(dfMagnitude);
    uint32_t m = static_cast<uint32_t>(dfWhole);
    if (dfMagnitude - dfWhole >= 0.5)
    {
        m += 1;
    }
    if (y < 0.0)
    {
        m = (m ^ uiCodeMask) + uiCodeUnit;
    }
    return m & uiCodeMask;
}

double Quantizer::GetError(uint32_t uiChannel) const
{
    if (bInitialized == 0 || uiChannel >= uiChannelCount)
    {
        return 0.0;
    }
    return pdfError[uiChannel];
}
