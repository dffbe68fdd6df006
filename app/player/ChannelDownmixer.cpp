#include "app/player/ChannelDownmixer.h"

#include <algorithm>
#include <numbers>

namespace
{
// -3 dB.
constexpr double G = std::numbers::sqrt2 / 2.0;

struct PositionWeights
{
    double dfLeft;
    double dfRight;
};

// By speaker position, in the bit order of the channel mask.
constexpr PositionWeights POSITION_WEIGHTS[ChannelDownmixer::KNOWN_POSITIONS] = {
    {1.0, 0.0}, // front left
    {0.0, 1.0}, // front right
    {G, G},     // front centre
    {0.0, 0.0}, // low frequency
    {G, 0.0},   // back left
    {0.0, G},   // back right
    {1.0, 0.0}, // front left of centre
    {0.0, 1.0}, // front right of centre
    {G, G},     // back centre
    {G, 0.0},   // side left
    {0.0, G},   // side right
    {G, G},     // top centre
    {G, 0.0},   // top front left
    {G, G},     // top front centre
    {0.0, G},   // top front right
    {G, 0.0},   // top back left
    {G, G},     // top back centre
    {0.0, G},   // top back right
};

constexpr uint32_t KNOWN_POSITION_BITS = (1u << ChannelDownmixer::KNOWN_POSITIONS) - 1;
} // namespace

int32_t ChannelDownmixer::Setup(uint32_t uiChannels, uint32_t uiChannelMask)
{
    uiChannelCount = 0;
    uiContributionCount = 0;
    if (uiChannels == 0)
    {
        return -4;
    }
    uiChannelCount = uiChannels;
    if (uiChannels <= 2)
    {
        return 1;
    }

    // Without a usable mask channel i sits at position i.
    const bool bMasked = (uiChannelMask & KNOWN_POSITION_BITS) != 0;
    uint32_t uiChannel = 0;
    double dfLeftSum = 0.0;
    double dfRightSum = 0.0;
    for (uint32_t uiBit = 0; uiBit < 32 && uiChannel < uiChannels; ++uiBit)
    {
        if (bMasked && (uiChannelMask & (1u << uiBit)) == 0)
        {
            continue;
        }
        // A set bit beyond the known positions still takes its channel, which is then left out.
        if (uiBit < KNOWN_POSITIONS)
        {
            const PositionWeights& Weights = POSITION_WEIGHTS[uiBit];
            if (Weights.dfLeft != 0.0 || Weights.dfRight != 0.0)
            {
                Contributions[uiContributionCount++] = {uiChannel, Weights.dfLeft, Weights.dfRight};
                dfLeftSum += Weights.dfLeft;
                dfRightSum += Weights.dfRight;
            }
        }
        ++uiChannel;
    }

    const double dfLargestSum = std::max(dfLeftSum, dfRightSum);
    if (dfLargestSum > 1.0)
    {
        for (uint32_t i = 0; i < uiContributionCount; ++i)
        {
            Contributions[i].dfLeft /= dfLargestSum;
            Contributions[i].dfRight /= dfLargestSum;
        }
    }
    return 1;
}

int32_t ChannelDownmixer::Process(double* pdfFrames, uint64_t ullFrames) const
{
    if (uiChannelCount == 0)
    {
        return -1;
    }
    if (ullFrames == 0)
    {
        return 1;
    }
    if (pdfFrames == nullptr)
    {
        return -4;
    }
    if (uiChannelCount == 1)
    {
        // From the last frame back, so no sample is overwritten before it has been copied.
        for (uint64_t j = ullFrames; j-- > 0;)
        {
            const double dfSample = pdfFrames[j];
            pdfFrames[2 * j] = dfSample;
            pdfFrames[2 * j + 1] = dfSample;
        }
        return 1;
    }
    if (uiChannelCount == 2)
    {
        return 1;
    }
    // From the first frame on: stereo frame j ends before input frame j starts, except for frame 0,
    // which is read completely before it is written.
    const uint64_t ullWidth = uiChannelCount;
    for (uint64_t j = 0; j < ullFrames; ++j)
    {
        const double* pdfIn = pdfFrames + j * ullWidth;
        double dfLeft = 0.0;
        double dfRight = 0.0;
        for (uint32_t i = 0; i < uiContributionCount; ++i)
        {
            const double dfSample = pdfIn[Contributions[i].uiChannel];
            dfLeft += Contributions[i].dfLeft * dfSample;
            dfRight += Contributions[i].dfRight * dfSample;
        }
        pdfFrames[2 * j] = dfLeft;
        pdfFrames[2 * j + 1] = dfRight;
    }
    return 1;
}

double ChannelDownmixer::GetLeftCoefficient(uint32_t uiChannel) const
{
    if (uiChannel >= uiChannelCount)
    {
        return 0.0;
    }
    if (uiChannelCount <= 2)
    {
        return uiChannel == 0 ? 1.0 : 0.0;
    }
    for (uint32_t i = 0; i < uiContributionCount; ++i)
    {
        if (Contributions[i].uiChannel == uiChannel)
        {
            return Contributions[i].dfLeft;
        }
    }
    return 0.0;
}

double ChannelDownmixer::GetRightCoefficient(uint32_t uiChannel) const
{
    if (uiChannel >= uiChannelCount)
    {
        return 0.0;
    }
    if (uiChannelCount <= 2)
    {
        return uiChannel == uiChannelCount - 1 ? 1.0 : 0.0;
    }
    for (uint32_t i = 0; i < uiContributionCount; ++i)
    {
        if (Contributions[i].uiChannel == uiChannel)
        {
            return Contributions[i].dfRight;
        }
    }
    return 0.0;
}
