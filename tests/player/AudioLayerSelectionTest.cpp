#include "app/player/AudioLayerSelection.h"
#include "app/player/RateTable.h"
#include "output/CSoundStreamWASAPI.h"
#include "output/virtual/VirtualRecordingLayer.h"
#include "runtime/TextConversion.h"
#include "tests/common/TestFiles.h"
#include "wave/WaveFileReader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace
{
// Every frame: left 0.5, right -0.25.
int32_t ConstantSource(SoundStreamBuffer* pBlock, void*)
{
    for (uint64_t f = 0; f < pBlock->ullCapacity; ++f)
    {
        pBlock->pdfData[2 * f] = 0.5;
        pBlock->pdfData[2 * f + 1] = -0.25;
    }
    pBlock->ullFrameCount = pBlock->ullCapacity;
    return 1;
}

} // namespace

TEST(RateTable, DeviceRatesRoundHalvesUpAndTheComboRunsTheOtherWay)
{
    const uint32_t Expected[RateTable::COUNT] = {384000, 352800, 308700, 288000, 264600, 220500, 192000,
                                                 176400, 96000,  88200,  48000,  44100,  32000,  24000,
                                                 22050,  16000,  12000,  11025,  9600,   8000};
    for (uint32_t i = 0; i < RateTable::COUNT; ++i)
    {
        EXPECT_EQ(RateTable::Hz(i), Expected[i]) << i;
        EXPECT_EQ(RateTable::IndexOfSelection(RateTable::ComboSelection(i)), i);
    }
    EXPECT_EQ(RateTable::ComboSelection(RateTable::DEFAULT_INDEX), 11u);
    EXPECT_EQ(std::u16string(RateTable::TEXTS[RateTable::DEFAULT_INDEX]), u"96 kHz");
    EXPECT_EQ(std::u16string(RateTable::TEXTS[3]), u"288.0 kHz");
}

TEST(AudioLayerSelection, UnknownSettingsAreRefused)
{
    for (const char* pSetting : {"virtualx", "alsa", "Virtual", " virtual"})
    {
        std::unique_ptr<SAudioClientLayer> pLayer;
        std::string Description;
        EXPECT_EQ(SelectAudioLayer(pSetting, pLayer, Description), -4) << pSetting;
        EXPECT_EQ(pLayer, nullptr);
        EXPECT_NE(Description.find(pSetting), std::string::npos) << Description;
    }
}

// What the virtual device played reaches the recording, as it plays, at the stream's rate and width.
TEST(AudioLayerSelection, VirtualDeviceKeepsWhatItPlayedAsAWaveFile)
{
    const std::filesystem::path Path = TestFiles::PathFor("played.wav");
    const std::string Setting = "virtual:" + WideToUtf8(TestFiles::Wide(Path));
    {
        std::unique_ptr<SAudioClientLayer> pLayer;
        std::string Description;
        ASSERT_EQ(SelectAudioLayer(Setting.c_str(), pLayer, Description), 2);
        auto& Recording = static_cast<VirtualRecordingLayer&>(*pLayer);
        CSoundStreamWASAPI Stream(pLayer.get());
        Stream.ullCallbackFrameCount = 441;
        Stream.uiLogicalBitCount = 16;
        double dfSeconds = 0.06;
        ASSERT_EQ(Stream.SetupDevice(44100, &dfSeconds, -1), 1);
        ASSERT_EQ(Stream.uiBitCount, 32u); // the widest format comes first
        ASSERT_EQ(Stream.PrepareRender(ConstantSource, nullptr), 1);
        ASSERT_EQ(Stream.Start(), 1);
        EXPECT_TRUE(Recording.GetDevice().WaitForPlayedFrames(4410, 30000));
        // Written as it plays, not kept until the end: most of it is in the file already, which
        // waits beside the path until the stream stops, so a recording that fails leaves the
        // path as it was.
        EXPECT_FALSE(std::filesystem::exists(Path));
        EXPECT_GT(TestFiles::PendingBytesBeside(Path), 4410u * 8 / 2);
        Stream.Stop(0);
        Stream.Close();
    }
    EXPECT_EQ(TestFiles::PendingBytesBeside(Path), 0u);
    WaveFileReader Reader;
    ASSERT_GE(Reader.Open(TestFiles::Wide(Path).c_str()), 0);
    EXPECT_EQ(Reader.uiSamplingFrequency, 44100u);
    EXPECT_EQ(Reader.uiChannelCount, 2u);
    EXPECT_EQ(Reader.uiBitCount, 32u);
    ASSERT_GE(Reader.ullFrameCount, 4410u);
    std::vector<double> Frames(2 * 1024);
    uint64_t ullFrames = 1024;
    ASSERT_EQ(Reader.ReadFrames(Frames.data(), &ullFrames), 1);
    // The render thread pre-fills the whole device buffer from the source before the start, so
    // every frame carries the source's values at 16 effective bits.
    for (uint64_t f = 0; f < ullFrames; ++f)
    {
        ASSERT_NEAR(Frames[2 * f], 0.5, 1.0 / 32768) << f;
        ASSERT_NEAR(Frames[2 * f + 1], -0.25, 1.0 / 32768) << f;
    }
}
