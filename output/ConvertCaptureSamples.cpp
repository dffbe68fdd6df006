#include "output/ConvertCaptureSamples.h"

#include <cmath>

namespace
{
double DecodeSample(const uint8_t* pBytes, uint32_t uiBitCount)
{
    switch (uiBitCount)
    {
    case 16:
    {
        const auto iValue = static_cast<int16_t>(static_cast<uint16_t>(pBytes[0] | (pBytes[1] << 8)));
        return std::ldexp(static_cast<double>(iValue), -15);
    }
    case 24:
    {
        // The three bytes go to the top of a 32-bit word, so the sign comes along.
        const uint32_t uiWord =
            (uint32_t{pBytes[2]} << 24) | (uint32_t{pBytes[1]} << 16) | (uint32_t{pBytes[0]} << 8);
        return std::ldexp(static_cast<double>(static_cast<int32_t>(uiWord)), -31);
    }
    case 32:
    {
        // All four bytes count, as in the wave reader; dropping the lower two would cut the
        // device's resolution to 16 bits.
        const uint32_t uiWord = (uint32_t{pBytes[3]} << 24) | (uint32_t{pBytes[2]} << 16) |
                                (uint32_t{pBytes[1]} << 8) | uint32_t{pBytes[0]};
        return std::ldexp(static_cast<double>(static_cast<int32_t>(uiWord)), -31);
    }
    default:
        return 0.0;
    }
}
} // namespace

int32_t ConvertCaptureSamples(uint64_t ullDeviceChannels, uint32_t uiBitCount, const uint8_t* pSource,
                              uint64_t ullFrames, double* pdfDestination, uint64_t ullDestinationCapacity)
{
    if (ullDeviceChannels == 0 || ullFrames == 0 || ullDestinationCapacity == 0)
    {
        return 1;
    }
    if (pSource == nullptr || pdfDestination == nullptr)
    {
        return -4;
    }
    const uint64_t ullBytesPerSample = uiBitCount / 8;
    uint64_t ullStored = 0;
    for (uint64_t ullFrame = 0; ullFrame < ullFrames; ++ullFrame)
    {
        for (uint64_t ullChannel = 0; ullChannel < ullDeviceChannels; ++ullChannel)
        {
            if (ullStored == ullDestinationCapacity)
            {
                return 1;
            }
            const double dfValue = DecodeSample(pSource + ullStored * ullBytesPerSample, uiBitCount);
            pdfDestination[ullStored] = dfValue > 1.0 ? 1.0 : (dfValue < -1.0 ? -1.0 : dfValue);
            ++ullStored;
        }
    }
    return 1;
}
