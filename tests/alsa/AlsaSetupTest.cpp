#include "app/cli/CliCommands.h"
#include "output/AudioClientConstants.h"
#include "output/CSoundStreamWASAPI.h"
#include "output/SAudioDeviceEnumerator.h"
#include "output/SAudioEndpointCollection.h"
#include "output/alsa/CAlsaAudioLayer.h"
#include "tests/alsa/AlsaTestSetup.h"
#include "tests/common/LayerEndpoints.h"

#include <alsa/asoundlib.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>

// Device set-up through the stream onto test devices, by endpoint index in the written
// configuration's order.

namespace
{
constexpr double REQUESTED_SECONDS = 0.06;

int32_t SetUpStream(CSoundStreamWASAPI& Stream, int32_t bShared, uint32_t uiRate, int32_t iIndex)
{
    Stream.bSharedMode = bShared;
    double dfSeconds = REQUESTED_SECONDS;
    return Stream.SetupDevice(uiRate, &dfSeconds, iIndex);
}

AudioStreamFormat StereoPcm(uint32_t uiRate, uint32_t uiBits)
{
    AudioStreamFormat Format{};
    Format.wFormatTag = AUDIO_FORMAT_TAG_EXTENSIBLE;
    Format.nChannels = 2;
    Format.nSamplesPerSec = uiRate;
    Format.nBlockAlign = static_cast<uint16_t>(2 * uiBits / 8);
    Format.nAvgBytesPerSec = uiRate * Format.nBlockAlign;
    Format.wBitsPerSample = static_cast<uint16_t>(uiBits);
    Format.cbSize = AUDIO_FORMAT_EXTENSIBLE_SIZE;
    Format.wValidBitsPerSample = static_cast<uint16_t>(uiBits);
    Format.SubFormat = AUDIO_SUBTYPE_PCM;
    return Format;
}

class AlsaSetup : public testing::Test
{
protected:
    void SetUp() override
    {
        AlsaTestSetup::Write({
            TestDeviceProfile("only32", "Takes 32 bits").Taking("48000", "S32_LE"),
            TestDeviceProfile("only24", "Takes 24 bits").Taking("48000", "S24_3LE"),
            TestDeviceProfile("only16", "Takes 16 bits").Taking("48000", "S16_LE"),
            TestDeviceProfile("all", "Takes all three").Taking("44100 48000 96000", "S16_LE S24_3LE S32_LE"),
        });
    }

    CAlsaAudioLayer Layer;
};
} // namespace

// 32, then 24 in three bytes, then 16 bits: a device that takes one of them gets that one, and
// its bytes arrive in that format.
TEST_F(AlsaSetup, ExclusiveModeTakesTheFirstOf32And24And16BitsTheDeviceAccepts)
{
    const struct
    {
        int32_t iIndex;
        const char* pDevice;
        uint32_t uiBits;
        const char* pAlsaFormat;
    } Cases[] = {{0, "only32", 32, "S32_LE"},
                 {1, "only24", 24, "S24_3LE"},
                 {2, "only16", 16, "S16_LE"},
                 {3, "all", 32, "S32_LE"}};
    for (const auto& Case : Cases)
    {
        SCOPED_TRACE(Case.pDevice);
        CSoundStreamWASAPI Stream(&Layer);
        ASSERT_EQ(SetUpStream(Stream, 0, 48000, Case.iIndex), 1);
        EXPECT_EQ(Stream.uiBitCount, Case.uiBits);
        EXPECT_EQ(Stream.dfSamplingFrequency, 48000.0);
        // 60 ms of frames, in whole periods of 10 ms.
        EXPECT_EQ(Stream.ullBufferFrameCount, 2880u);
        const TestCapture Capture = AlsaTestSetup::ReadCapture(Case.pDevice);
        EXPECT_EQ(Capture.Format, Case.pAlsaFormat);
        EXPECT_EQ(Capture.uiRate, 48000u);
        EXPECT_EQ(Capture.uiChannels, 2u);
        Stream.Close();
    }
}

// A rate the device does not take fails in exclusive mode, so the controller goes on to the next
// rate; shared mode converts it.
TEST_F(AlsaSetup, ARefusedRateFailsInExclusiveModeAndIsConvertedInSharedMode)
{
    CSoundStreamWASAPI Stream(&Layer);
    EXPECT_EQ(SetUpStream(Stream, 0, 96000, 2), -1);
    EXPECT_EQ(SetUpStream(Stream, 0, 48000, 2), 1);
    Stream.Close();
    ASSERT_EQ(SetUpStream(Stream, 1, 96000, 2), 1);
    EXPECT_EQ(Stream.dfSamplingFrequency, 96000.0);
    EXPECT_EQ(Stream.uiBitCount, 32u);
    EXPECT_EQ(AlsaTestSetup::ReadCapture("only16").uiRate, 48000u);
    EXPECT_EQ(AlsaTestSetup::ReadCapture("only16").Format, "S16_LE");
    Stream.Close();
}

// Shared mode converts what it can; a format this back end does not write (8 bits) is answered
// with the closest one it does, which the set-up would not take.
TEST_F(AlsaSetup, SharedModeAnswersAnUnwritableFormatWithTheClosestWritableOne)
{
    std::unique_ptr<SAudioClient> pClient = LayerEndpoints::Activate(Layer, 2);
    ASSERT_NE(pClient, nullptr);
    AudioStreamFormat Asked = StereoPcm(44100, 8);
    AudioStreamFormat Closest{};
    EXPECT_EQ(pClient->IsFormatSupported(AUDIO_SHAREMODE_SHARED, &Asked, &Closest), AUDIO_S_CLOSEST_MATCH);
    EXPECT_EQ(Closest, StereoPcm(44100, 32));
    EXPECT_EQ(pClient->IsFormatSupported(AUDIO_SHAREMODE_EXCLUSIVE, &Asked, nullptr),
              AUDIO_E_UNSUPPORTED_FORMAT);
    EXPECT_LT(
        pClient->Initialize(AUDIO_SHAREMODE_SHARED, AUDIO_STREAMFLAGS_NOPERSIST, 600000, 600000, &Asked), 0);
}

// "default" on a plugin has no card behind it: exclusive mode refuses it, shared mode plays on it.
TEST_F(AlsaSetup, TheDefaultEndpointWithoutHardwareBehindItPlaysInSharedModeOnly)
{
    AlsaTestSetup::Write({TestDeviceProfile("only16", "Takes 16 bits").Taking("48000", "S16_LE")},
                         "pcm.!default \"only16\"\n");
    CSoundStreamWASAPI Stream(&Layer);
    EXPECT_EQ(SetUpStream(Stream, 0, 48000, -1), -1);
    ASSERT_EQ(SetUpStream(Stream, 1, 44100, -1), 1);
    EXPECT_EQ(Stream.uiBitCount, 32u);
    EXPECT_EQ(AlsaTestSetup::ReadCapture("only16").uiRate, 48000u);
    Stream.Close();
}

// Another program plays on the device through its mixing path: an exclusive open is refused at
// once, without waiting for the device, while shared mode plays alongside.
TEST_F(AlsaSetup, ABusyDeviceIsRefusedAtOnceInExclusiveModeAndSharedInSharedMode)
{
    snd_pcm_t* pOther = nullptr;
    ASSERT_EQ(snd_pcm_open(&pOther, "only16", SND_PCM_STREAM_PLAYBACK, 0), 0);

    CSoundStreamWASAPI Stream(&Layer);
    const auto Before = std::chrono::steady_clock::now();
    EXPECT_EQ(SetUpStream(Stream, 0, 48000, 2), -1);
    EXPECT_LT(std::chrono::steady_clock::now() - Before, std::chrono::seconds(1));
    std::unique_ptr<SAudioClient> pClient = LayerEndpoints::Activate(Layer, 2);
    ASSERT_NE(pClient, nullptr);
    const AudioStreamFormat Format = StereoPcm(48000, 16);
    EXPECT_EQ(pClient->IsFormatSupported(AUDIO_SHAREMODE_EXCLUSIVE, &Format, nullptr), AUDIO_E_DEVICE_IN_USE);

    EXPECT_EQ(SetUpStream(Stream, 1, 48000, 2), 1);
    Stream.Close();
    snd_pcm_close(pOther);

    // Once the other program has gone, exclusive mode has the device; a second exclusive opener is
    // then the one refused.
    ASSERT_EQ(SetUpStream(Stream, 0, 48000, 2), 1);
    CSoundStreamWASAPI Second(&Layer);
    EXPECT_EQ(SetUpStream(Second, 0, 48000, 2), -1);
    Stream.Close();
}

// What `larkspur-cli devices --probe` shows for devices that take one format, one of them busy.
TEST_F(AlsaSetup, TheDeviceProbeShowsWhatEachDeviceTakesAndWhichIsBusy)
{
    snd_pcm_t* pOther = nullptr;
    ASSERT_EQ(snd_pcm_open(&pOther, "only24", SND_PCM_STREAM_PLAYBACK, 0), 0);
    unsetenv("LARKSPUR_AUDIO");
    std::ostringstream Out;
    std::ostringstream Error;
    EXPECT_EQ(RunCli({"devices", "--probe"}, Out, Error), 0);
    snd_pcm_close(pOther);
    EXPECT_EQ(Error.str(), "");
    const std::string Text = Out.str();
    // The probe rows under one device's line.
    const auto Section = [&Text](const std::string& Device)
    {
        std::istringstream Lines(Text);
        std::string Rows;
        bool bInside = false;
        for (std::string Line; std::getline(Lines, Line);)
        {
            if (Line.rfind(std::string(9, ' '), 0) != 0)
            {
                bInside = Line.size() > Device.size() && Line.ends_with("  " + Device);
            }
            else if (bInside)
            {
                Rows += Line + "\n";
            }
        }
        return Rows;
    };
    EXPECT_NE(Text.find("      0  Takes 32 bits    only32\n"), std::string::npos) << Text;
    EXPECT_NE(Section("only32").find("         48 kHz      32          32 24 16\n"), std::string::npos)
        << Text;
    EXPECT_NE(Section("only32").find("         44.1 kHz    -           32 24 16\n"), std::string::npos)
        << Text;
    EXPECT_NE(Section("only24").find("         48 kHz      busy        32 24 16\n"), std::string::npos)
        << Text;
    EXPECT_NE(Section("only16").find("         48 kHz      16          32 24 16\n"), std::string::npos)
        << Text;
    EXPECT_NE(Section("all").find("         96 kHz      32 24 16    32 24 16\n"), std::string::npos) << Text;
}
