#include "output/wasapi/WaveFormatTranslation.h"

#include <gtest/gtest.h>

namespace
{
// The integer-PCM sub-format as the platform publishes it.
constexpr GUID PLATFORM_SUBTYPE_PCM = {
    0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
} // namespace

TEST(WaveFormatTranslation, TheProposalTravelsBothWaysUnchanged)
{
    AudioStreamFormat Proposal{};
    Proposal.wFormatTag = AUDIO_FORMAT_TAG_EXTENSIBLE;
    Proposal.nChannels = 2;
    Proposal.nSamplesPerSec = 176400;
    Proposal.nBlockAlign = 6;
    Proposal.nAvgBytesPerSec = 176400 * 6;
    Proposal.wBitsPerSample = 24;
    Proposal.cbSize = AUDIO_FORMAT_EXTENSIBLE_SIZE;
    Proposal.wValidBitsPerSample = 24;
    Proposal.dwChannelMask = 0;
    Proposal.SubFormat = AUDIO_SUBTYPE_PCM;

    WAVEFORMATEXTENSIBLE Native{};
    ToWaveFormat(Proposal, Native);
    EXPECT_EQ(Native.Format.wFormatTag, WAVE_FORMAT_EXTENSIBLE);
    EXPECT_EQ(Native.Format.cbSize, sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX));
    EXPECT_EQ(Native.Format.nAvgBytesPerSec, 176400u * 6);
    EXPECT_EQ(Native.Samples.wValidBitsPerSample, 24);
    EXPECT_TRUE(IsEqualGUID(Native.SubFormat, PLATFORM_SUBTYPE_PCM));

    AudioStreamFormat Back{};
    ASSERT_EQ(FromWaveFormat(&Native.Format, Back), 1);
    EXPECT_EQ(Back, Proposal);
}

TEST(WaveFormatTranslation, ABasicClosestMatchGetsTheExtensionItsTagStandsFor)
{
    // What a closest match may look like: the basic record only.
    const WAVEFORMATEX Pcm = {WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
    AudioStreamFormat Format{};
    ASSERT_EQ(FromWaveFormat(&Pcm, Format), 1);
    EXPECT_EQ(Format.wFormatTag, AUDIO_FORMAT_TAG_PCM);
    EXPECT_EQ(Format.nSamplesPerSec, 44100u);
    EXPECT_EQ(Format.cbSize, 0);
    EXPECT_EQ(Format.wValidBitsPerSample, 16);
    EXPECT_EQ(Format.dwChannelMask, 0u);
    EXPECT_EQ(Format.SubFormat, AUDIO_SUBTYPE_PCM);

    const WAVEFORMATEX Float = {WAVE_FORMAT_IEEE_FLOAT, 2, 48000, 384000, 8, 32, 0};
    ASSERT_EQ(FromWaveFormat(&Float, Format), 1);
    EXPECT_EQ(Format.SubFormat, AUDIO_SUBTYPE_IEEE_FLOAT);

    // An extensible tag without room for the extension is read as the basic record it is.
    WAVEFORMATEXTENSIBLE Short{};
    Short.Format = {WAVE_FORMAT_EXTENSIBLE, 2, 48000, 384000, 8, 32, 0};
    Short.dwChannelMask = 3;
    ASSERT_EQ(FromWaveFormat(&Short.Format, Format), 1);
    EXPECT_EQ(Format.dwChannelMask, 0u);

    EXPECT_EQ(FromWaveFormat(nullptr, Format), -4);
    EXPECT_EQ(Format, AudioStreamFormat{});
}
