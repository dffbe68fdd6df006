#include "app/player/ChannelDownmixer.h"
#include "tests/common/TestFiles.h"
#include "tests/common/WaveFileBuilder.h"
#include "wave/WaveFileReader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace
{
const double G = std::sqrt(0.5);

// Distinct values per channel and frame, so a wrong channel or frame shows.
std::vector<double> NumberedFrames(uint32_t uiChannels, uint64_t ullFrames)
{
    std::vector<double> Frames(uiChannels * ullFrames);
    for (uint64_t f = 0; f < ullFrames; ++f)
    {
        for (uint32_t c = 0; c < uiChannels; ++c)
        {
            Frames[f * uiChannels + c] = 0.01 * static_cast<double>(c + 1) + 0.0001 * static_cast<double>(f);
        }
    }
    return Frames;
}

// Mixes Frames (uiChannels wide) with the expected weights, in a separate buffer, and compares it with
// the in-place result of the down-mixer.
void ExpectMix(uint32_t uiChannels, uint32_t uiMask, const std::vector<double>& Left,
               const std::vector<double>& Right, uint64_t ullFrames = 341)
{
    ChannelDownmixer Downmixer;
    ASSERT_EQ(Downmixer.Setup(uiChannels, uiMask), 1);
    for (uint32_t c = 0; c < uiChannels; ++c)
    {
        EXPECT_NEAR(Downmixer.GetLeftCoefficient(c), Left[c], 1e-15) << "channel " << c;
        EXPECT_NEAR(Downmixer.GetRightCoefficient(c), Right[c], 1e-15) << "channel " << c;
    }
    std::vector<double> Frames = NumberedFrames(uiChannels, ullFrames);
    const std::vector<double> Input = Frames;
    ASSERT_EQ(Downmixer.Process(Frames.data(), ullFrames), 1);
    for (uint64_t f = 0; f < ullFrames; ++f)
    {
        double dfLeft = 0.0;
        double dfRight = 0.0;
        for (uint32_t c = 0; c < uiChannels; ++c)
        {
            dfLeft += Left[c] * Input[f * uiChannels + c];
            dfRight += Right[c] * Input[f * uiChannels + c];
        }
        ASSERT_NEAR(Frames[2 * f], dfLeft, 1e-15) << "frame " << f;
        ASSERT_NEAR(Frames[2 * f + 1], dfRight, 1e-15) << "frame " << f;
    }
}
} // namespace

TEST(ChannelDownmixer, FivePointOneInWaveOrderAndByMask)
{
    // FL FR FC LFE BL BR: the left side sums 1 + 2 G, which the scaling brings to 1.
    const double S = 1.0 + 2.0 * G;
    const std::vector<double> Left = {1 / S, 0, G / S, 0, G / S, 0};
    const std::vector<double> Right = {0, 1 / S, G / S, 0, 0, G / S};
    ExpectMix(6, 0, Left, Right);
    ExpectMix(6, 0x3F, Left, Right);
    // 5.1 with side instead of back surrounds mixes the same way.
    ExpectMix(6, 0x60F, Left, Right);
    // A mask without any known position counts as none.
    ExpectMix(6, 0x80000000u, Left, Right);
}

TEST(ChannelDownmixer, MaskPlacesChannels)
{
    // Quadraphonic FL FR BL BR.
    const double Q = 1.0 + G;
    ExpectMix(4, 0x33, {1 / Q, 0, G / Q, 0}, {0, 1 / Q, 0, G / Q});
    // Without a mask four channels are FL FR FC LFE.
    ExpectMix(4, 0, {1 / Q, 0, G / Q, 0}, {0, 1 / Q, G / Q, 0});
    // FL FR LFE needs no scaling; a channel beyond the mask's positions is left out.
    ExpectMix(4, 0x0B, {1, 0, 0, 0}, {0, 1, 0, 0});
    // Mask bits beyond the channel count are ignored: FC goes to the third channel, BL is unused.
    const double T = 1.0 + G;
    ExpectMix(3, 0x17, {1 / T, 0, G / T}, {0, 1 / T, G / T});
    // 7.1: FL FR FC LFE BL BR SL SR.
    const double E = 1.0 + 3.0 * G;
    ExpectMix(8, 0x63F, {1 / E, 0, G / E, 0, G / E, 0, G / E, 0}, {0, 1 / E, G / E, 0, 0, G / E, 0, G / E});
}

TEST(ChannelDownmixer, FullScaleCannotClip)
{
    for (uint32_t uiChannels = 3; uiChannels <= 40; ++uiChannels)
    {
        for (uint32_t uiMask : {0u, 0x3FFFFu, 0x63Fu, 0x30007u})
        {
            ChannelDownmixer Downmixer;
            ASSERT_EQ(Downmixer.Setup(uiChannels, uiMask), 1);
            std::vector<double> Frames(uiChannels, 1.0);
            ASSERT_EQ(Downmixer.Process(Frames.data(), 1), 1);
            EXPECT_LE(Frames[0], 1.0 + 1e-15) << uiChannels << " channels, mask " << uiMask;
            EXPECT_LE(Frames[1], 1.0 + 1e-15) << uiChannels << " channels, mask " << uiMask;
            EXPECT_GT(Frames[0], 0.0);
            EXPECT_GT(Frames[1], 0.0);
        }
    }
}

TEST(ChannelDownmixer, MonoWidensStereoPassesRefusals)
{
    ChannelDownmixer Mono;
    ASSERT_EQ(Mono.Setup(1, 0x4), 1);
    std::vector<double> Frames(2 * 1024, -9.0);
    for (uint64_t f = 0; f < 1024; ++f)
    {
        Frames[f] = static_cast<double>(f) / 1024.0;
    }
    ASSERT_EQ(Mono.Process(Frames.data(), 1024), 1);
    for (uint64_t f = 0; f < 1024; ++f)
    {
        ASSERT_EQ(Frames[2 * f], static_cast<double>(f) / 1024.0);
        ASSERT_EQ(Frames[2 * f + 1], static_cast<double>(f) / 1024.0);
    }

    // Two channels stay as they are, whatever their mask says.
    ChannelDownmixer Stereo;
    ASSERT_EQ(Stereo.Setup(2, 0x0C), 1);
    std::vector<double> Pair = {0.25, -0.5};
    ASSERT_EQ(Stereo.Process(Pair.data(), 1), 1);
    EXPECT_EQ(Pair, (std::vector<double>{0.25, -0.5}));
    EXPECT_EQ(Stereo.GetLeftCoefficient(0), 1.0);
    EXPECT_EQ(Stereo.GetRightCoefficient(0), 0.0);
    EXPECT_EQ(Stereo.GetRightCoefficient(1), 1.0);

    ChannelDownmixer Unset;
    EXPECT_EQ(Unset.Process(Pair.data(), 1), -1);
    EXPECT_EQ(Unset.Setup(0, 0), -4);
    EXPECT_EQ(Unset.Process(Pair.data(), 1), -1);
    EXPECT_EQ(Stereo.Process(nullptr, 1), -4);
    EXPECT_EQ(Stereo.Process(nullptr, 0), 1);
    EXPECT_EQ(Pair, (std::vector<double>{0.25, -0.5}));
}

TEST(ChannelDownmixer, MaskComesFromTheFile)
{
    const std::vector<double> Samples = {0.5, -0.5, 0.25, 0.125, -0.25, 0.75};
    WaveFileReader Masked;
    const auto MaskedPath =
        TestFiles::Write("downmix-masked.wav", WaveFileBuilder()
                                                   .Pcm(6, 8000, 16)
                                                   .Extensible(WaveFileBuilder::SUBFORMAT_PCM, 0, 0x60F)
                                                   .Samples(Samples)
                                                   .Build());
    ASSERT_GE(Masked.Open(TestFiles::Wide(MaskedPath).c_str()), 0);
    EXPECT_EQ(Masked.GetChannelMask(), 0x60Fu);

    WaveFileReader Plain;
    const auto PlainPath =
        TestFiles::Write("downmix-plain.wav", WaveFileBuilder::PcmWave(Samples, 6, 8000, 16));
    ASSERT_GE(Plain.Open(TestFiles::Wide(PlainPath).c_str()), 0);
    EXPECT_EQ(Plain.GetChannelMask(), 0u);
    // Opening another file forgets the mask of the last one.
    ASSERT_GE(Masked.Open(TestFiles::Wide(PlainPath).c_str()), 0);
    EXPECT_EQ(Masked.GetChannelMask(), 0u);
}
