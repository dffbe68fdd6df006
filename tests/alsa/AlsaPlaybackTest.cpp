#include "app/dialog/DialogControlIds.h"
#include "app/dialog/ProgramEntry.h"
#include "app/player/PlayerState.h"
#include "output/CSoundStreamWASAPI.h"
#include "output/SoundStreamBuffer.h"
#include "output/alsa/CAlsaAudioLayer.h"
#include "runtime/CMultiThreadWin.h"
#include "tests/alsa/AlsaChainRig.h"
#include "tests/alsa/AlsaTestSetup.h"
#include "tests/common/ChainSignals.h"
#include "tests/common/PlayerChecks.h"
#include "tests/common/RecordingDialogHost.h"
#include "tests/common/TestFiles.h"
#include "tests/common/WaveFileBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <future>
#include <string>
#include <thread>
#include <vector>

// Playback through the stream and its render thread onto the paced test device: the whole chain
// against the offline render, an underrun, an unplug and stopping during playback; and the whole
// player losing its device.

namespace
{
using Clock = std::chrono::steady_clock;

constexpr uint32_t WAIT_MS = 30000;
// The device clock's speed. The whole chain converts at up to 192 kHz, which a debug or
// instrumented build cannot do in real time; a producer that falls behind would be heard as fades,
// so the chain's device takes frames no faster than the build converts them. The other tests feed
// the device directly.
#if defined(__SANITIZE_THREAD__)
constexpr double PACE_PERCENT = 25.0;
constexpr double CHAIN_FRAMES_PER_SECOND = 2400.0;
#elif defined(__SANITIZE_ADDRESS__)
constexpr double PACE_PERCENT = 50.0;
constexpr double CHAIN_FRAMES_PER_SECOND = 4800.0;
#else
constexpr double PACE_PERCENT = 100.0;
constexpr double CHAIN_FRAMES_PER_SECOND = 9600.0;
#endif

uint64_t CapturedFrames(const std::string& Device, uint32_t uiFrameBytes)
{
    std::error_code Ignored;
    return std::filesystem::file_size(AlsaTestSetup::CapturePath(Device), Ignored) / uiFrameBytes;
}

// Waits until the device has been handed ullFrames frames; false after WAIT_MS.
bool WaitForCapturedFrames(const std::string& Device, uint32_t uiFrameBytes, uint64_t ullFrames)
{
    const auto Deadline = Clock::now() + std::chrono::milliseconds(WAIT_MS);
    while (CapturedFrames(Device, uiFrameBytes) < ullFrames)
    {
        if (Clock::now() > Deadline)
        {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

struct ChainCase
{
    uint32_t uiFileRate;
    uint32_t uiFileBits;
    uint32_t uiDeviceRate;
    uint32_t uiDeviceBits;
    const char* pAlsaFormat;
};

// A render callback that counts: frame k carries code (k mod 30000) + 1 on the left and its
// negative on the right, at 16 bits. While bStall is set it delivers nothing.
struct CountingSource
{
    std::atomic<bool> bStall{false};
    std::atomic<uint64_t> ullDelivered{0};
    std::atomic<uint64_t> ullCalls{0};
};

constexpr int32_t COUNTER_CYCLE = 30000;

int CountingCallback(SoundStreamBuffer* pBlock, void* pUserParameter)
{
    auto& Source = *static_cast<CountingSource*>(pUserParameter);
    Source.ullCalls.fetch_add(1);
    if (Source.bStall.load())
    {
        pBlock->ullFrameCount = 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return 1;
    }
    uint64_t ullNext = Source.ullDelivered.load();
    for (uint64_t i = 0; i < pBlock->ullCapacity; ++i, ++ullNext)
    {
        const double dfCode = static_cast<double>(ullNext % COUNTER_CYCLE + 1);
        pBlock->pdfData[2 * i] = dfCode / 32767.0;
        pBlock->pdfData[2 * i + 1] = -dfCode / 32767.0;
    }
    pBlock->ullFrameCount = pBlock->ullCapacity;
    Source.ullDelivered.store(ullNext);
    return 1;
}

class AlsaPlayback : public testing::Test
{
protected:
    // One test device at 48 kHz 16-bit, paced, unplugged after llUnplugAfter frames (-1 never).
    void UseDevice(long long llUnplugAfter)
    {
        TestDeviceProfile Device("paced", "Paced device");
        Device.Taking("48000", "S16_LE");
        Device.llUnplugAfter = llUnplugAfter;
        Device.dfPacePercent = PACE_PERCENT;
        AlsaTestSetup::Write({Device});
    }
    // Sets the stream up on the device and starts the counting source through it.
    void StartCounting(CSoundStreamWASAPI& Stream)
    {
        double dfSeconds = 0.06;
        Stream.bSharedMode = 0;
        ASSERT_EQ(Stream.SetupDevice(48000, &dfSeconds, 0), 1);
        ASSERT_EQ(Stream.PrepareRender(CountingCallback, &Source), 1);
        ASSERT_TRUE(WaitForCapturedFrames("paced", 4, Stream.ullBufferFrameCount));
        ASSERT_EQ(Stream.Start(), 1);
    }
    // Frames in dfDeviceSeconds of the device's clock, and the real time that clock needs for them.
    static uint64_t Frames(double dfDeviceSeconds) { return static_cast<uint64_t>(dfDeviceSeconds * 48000); }
    static std::chrono::milliseconds RealTime(double dfDeviceSeconds)
    {
        return std::chrono::milliseconds(static_cast<int64_t>(dfDeviceSeconds * 1000 * 100.0 / PACE_PERCENT));
    }

    CAlsaAudioLayer Layer;
    CountingSource Source;
};
} // namespace

// File -> playback thread -> sound buffer -> render thread -> ALSA test device: the device gets the
// offline render's codes within one code, after the sound buffer's silent first period, at
// 44.1 kHz -> 48 kHz / 16 bits and 48 kHz -> 192 kHz / 24 bits.
TEST(AlsaWholeChain, DeviceBytesMatchTheOfflineRender)
{
    const ChainCase Cases[] = {{44100, 16, 48000, 16, "S16_LE"}, {48000, 24, 192000, 24, "S24_3LE"}};
    for (const ChainCase& Case : Cases)
    {
        SCOPED_TRACE(std::to_string(Case.uiDeviceRate) + " Hz / " + std::to_string(Case.uiDeviceBits));
        TestDeviceProfile Chain("chain", "Chain device");
        Chain.Taking(std::to_string(Case.uiDeviceRate), Case.pAlsaFormat);
        Chain.dfPacePercent = 100.0 * CHAIN_FRAMES_PER_SECOND / Case.uiDeviceRate;
        AlsaTestSetup::Write({Chain});

        const uint64_t ullFileFrames = Case.uiFileRate / 8; // 125 ms
        const auto Input =
            TestFiles::Write("alsa-chain-in.wav",
                             WaveFileBuilder::PcmWave(ChainSignals::TwoTones(ullFileFrames, Case.uiFileRate),
                                                      2, Case.uiFileRate, Case.uiFileBits));
        const std::vector<int32_t> Offline =
            ChainSignals::RenderOfflineCodes(Input, Case.uiDeviceRate, Case.uiDeviceBits);
        const uint64_t L = Offline.size() / 2;
        ASSERT_GT(L, 0u);
        const uint32_t uiFrameBytes = 2 * Case.uiDeviceBits / 8;
        AlsaChainPlayback Playback;
        Playback.uiDeviceRate = Case.uiDeviceRate;
        Playback.uiLogicalBits = Case.uiDeviceBits;
        Playback.BeforeStart = [uiFrameBytes](uint64_t ullFrames)
        { return WaitForCapturedFrames("chain", uiFrameBytes, ullFrames); };
        Playback.AfterStart = Playback.BeforeStart;
        const AlsaChainResult Result = PlayFileThroughAlsa(Input, Playback, L);
        EXPECT_EQ(Result.uiBitCount, Case.uiDeviceBits);
        const uint64_t P = Result.ullPeriodFrames;
        const TestCapture Capture = AlsaTestSetup::ReadCapture("chain");
        EXPECT_EQ(Capture.Format, Case.pAlsaFormat);
        EXPECT_EQ(Capture.uiRate, Case.uiDeviceRate);
        const std::vector<int32_t> Device =
            ChainSignals::DecodeCodes(Capture.Bytes.data(), Capture.Bytes.size(), Case.uiDeviceBits);
        // Every frame of the render in order after a silent period; the sound buffer fades in the
        // first period and fades out the end of the stream.
        EXPECT_TRUE(ChainSignals::PlayedEqualsRender(Device, Offline, P));
    }
}

// The producer stalls for longer than the device buffer: the device runs dry, the back end
// recovers, the gap is heard as silence and playback goes on with the next frame, nothing lost or
// repeated.
TEST_F(AlsaPlayback, AnUnderrunIsHeardAsSilenceAndPlaybackGoesOn)
{
    UseDevice(-1);
    CSoundStreamWASAPI Stream(&Layer);
    ASSERT_NO_FATAL_FAILURE(StartCounting(Stream));
    std::this_thread::sleep_for(RealTime(0.1));
    Source.bStall.store(true);
    std::this_thread::sleep_for(RealTime(0.2));
    const uint64_t ullBeforeResume = Source.ullDelivered.load();
    Source.bStall.store(false);
    // The capture's length counts the gap's silence too; the source's count shows playback going
    // on. A delivery runs at most a data-buffer and a device-buffer ahead of what was written.
    const uint64_t ullBufferFrames = Stream.ullBufferFrameCount;
    const auto Deadline = Clock::now() + std::chrono::milliseconds(WAIT_MS);
    while (Source.ullDelivered.load() < ullBeforeResume + 3 * ullBufferFrames && Clock::now() < Deadline)
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_GE(Source.ullDelivered.load(), ullBeforeResume + 3 * ullBufferFrames);
    EXPECT_EQ(Stream.GetWorker().GetState(), THREAD_STATE_RUNNING);
    // The period in which the render thread finds the stream ending goes out as its local buffer
    // holds it, unordered, to a device that is being stopped: only what came before counts.
    const uint64_t ullBeforeStop = CapturedFrames("paced", 4);
    Stream.Stop(0);

    const TestCapture Capture = AlsaTestSetup::ReadCapture("paced");
    std::vector<int32_t> Codes = ChainSignals::DecodeCodes(Capture.Bytes.data(), Capture.Bytes.size(), 16);
    Codes.resize(std::min<size_t>(Codes.size(), 2 * ullBeforeStop));
    uint64_t ullExpected = 0;
    uint64_t ullSilentFrames = 0;
    uint64_t ullLongestGap = 0;
    uint64_t ullGap = 0;
    for (size_t i = 0; i + 1 < Codes.size(); i += 2)
    {
        if (Codes[i] == 0 && Codes[i + 1] == 0)
        {
            ++ullSilentFrames;
            ullLongestGap = std::max(ullLongestGap, ++ullGap);
            continue;
        }
        ullGap = 0;
        const int32_t iCode = static_cast<int32_t>(ullExpected % COUNTER_CYCLE + 1);
        ASSERT_EQ(Codes[i], iCode) << "frame " << i / 2;
        ASSERT_EQ(Codes[i + 1], -iCode) << "frame " << i / 2;
        ++ullExpected;
    }
    EXPECT_GT(ullExpected, ullBeforeResume + ullBufferFrames);
    // The stall outlasted the 60 ms buffer by about 140 ms of device time.
    EXPECT_GE(ullLongestGap, Frames(0.1));
    EXPECT_EQ(ullSilentFrames, ullLongestGap);
}

// The device goes away while playing: the render thread ends with a failure within a few of its
// 1 ms rounds, and stopping afterwards returns at once.
TEST_F(AlsaPlayback, AnUnplugEndsTheRenderThreadWithinAPeriod)
{
    const uint64_t ullUnplugAfter = Frames(0.1);
    UseDevice(static_cast<long long>(ullUnplugAfter));
    CSoundStreamWASAPI Stream(&Layer);
    ASSERT_NO_FATAL_FAILURE(StartCounting(Stream));
    const auto Started = Clock::now();
    // Join the render worker as Stop would, to see when it ends by itself.
    auto& Worker = const_cast<CMultiThreadWin&>(Stream.GetWorker());
    std::future<int32_t> Joined = std::async(std::launch::async, [&Worker] { return Worker.WaitForExit(); });
    ASSERT_EQ(Joined.wait_for(std::chrono::milliseconds(WAIT_MS)), std::future_status::ready);
    const auto Ended = Clock::now();
    ASSERT_EQ(Joined.get(), 1);
    EXPECT_EQ(Stream.GetWorker().GetResult(0), 0u);
    // Not before the unplug, and within a period of it (with room for a loaded machine).
    EXPECT_GE(Ended - Started, RealTime(0.1) - std::chrono::milliseconds(5));
    EXPECT_LE(Ended - Started, RealTime(0.1) + RealTime(0.01) + std::chrono::milliseconds(100));

    const auto Before = Clock::now();
    EXPECT_EQ(Stream.Stop(0), 1);
    EXPECT_EQ(Stream.Close(), 1);
    EXPECT_LT(Clock::now() - Before, std::chrono::milliseconds(200));
}

// Stop and Close from the controller's thread while the render thread is busy with the device.
TEST_F(AlsaPlayback, StopAndCloseDuringPlaybackReturnWithin200Milliseconds)
{
    UseDevice(-1);
    for (int iRound = 0; iRound < 5; ++iRound)
    {
        CSoundStreamWASAPI Stream(&Layer);
        ASSERT_NO_FATAL_FAILURE(StartCounting(Stream));
        std::this_thread::sleep_for(std::chrono::milliseconds(20 + 7 * iRound));
        const auto Before = Clock::now();
        EXPECT_EQ(Stream.Stop(0), 1);
        EXPECT_EQ(Stream.Close(), 1);
        EXPECT_LT(Clock::now() - Before, std::chrono::milliseconds(200));
        EXPECT_EQ(Stream.GetWorker().GetState(), THREAD_STATE_EMPTY);
    }
}

// The whole player on two test devices, the first unplugged while it plays: the render thread ends,
// the progress timer stops the player as at the end of the file (the controls as after Stop, no
// message, nothing left running, no stop longer than the drain), and Play on the second device
// plays there.
TEST(AlsaPlayer, AnUnpluggedDeviceStopsThePlayerAndPlayGoesOnOnAnother)
{
    using namespace DialogControlIds;
    TestDeviceProfile First("first", "First device");
    First.Taking("48000", "S16_LE");
    First.llUnplugAfter = 4800;
    First.dfPacePercent = PACE_PERCENT;
    TestDeviceProfile Second("second", "Second device");
    Second.Taking("48000", "S16_LE");
    Second.dfPacePercent = PACE_PERCENT;
    AlsaTestSetup::Write({First, Second});
    // Ten seconds of sound: the file cannot end before the unplug.
    const auto Input =
        TestFiles::Write("alsa-player-unplug.wav",
                         WaveFileBuilder::PcmWave(ChainSignals::TwoTones(480000, 48000), 2, 48000, 16));

    PlayerState& State = PlayerState::Instance();
    CAlsaAudioLayer Layer;
    RecordingDialogHost Host;
    ProgramEntry Entry(&Layer, nullptr, Host, nullptr);
    Host.SetHandler(&Entry.GetDialog());
    ASSERT_EQ(Entry.Begin(), 1);
    Host.Open();
    ASSERT_EQ(Host.Item(ID_DEVICE_COMBO).Entries.size(), 3u);
    ASSERT_EQ(Host.Item(ID_DEVICE_COMBO).Entries[1], u"First device");
    Host.ScriptFileChoice(TestFiles::Wide(Input));
    Host.Click(ID_CHOOSE_FILE);
    Host.SelectEntry(ID_DEVICE_COMBO, 1);
    Host.Click(ID_PLAY);
    ASSERT_EQ(State.bPlaying, 1);
    EXPECT_EQ(Host.Cell(ID_DEVICE_LIST, 0, 1), u"48000");
    EXPECT_EQ(Host.SelectedText(ID_RATE_COMBO), u"48 kHz");

    ASSERT_NO_FATAL_FAILURE(PlayerChecks::StopsByItselfWhenTheDeviceGoes(
        Host, Entry, std::chrono::milliseconds(WAIT_MS), "the lost device"));
    EXPECT_EQ(State.bPaused.load(), 0);
    EXPECT_EQ(Host.SelectedText(ID_RATE_COMBO), u"96 kHz");
    // It was written up to the unplug and at most a device buffer (60 ms) ahead of it.
    EXPECT_GE(CapturedFrames("first", 4), 4800u);
    EXPECT_LE(CapturedFrames("first", 4), 4800u + 2880u);

    Host.SelectEntry(ID_DEVICE_COMBO, 2);
    ASSERT_TRUE(Host.Click(ID_PLAY));
    ASSERT_EQ(State.bPlaying, 1);
    EXPECT_TRUE(Host.Messages().empty());
    // Sound, not only the silent first period, reaches the second device.
    const auto SoundDeadline = Clock::now() + std::chrono::milliseconds(WAIT_MS);
    bool bHeard = false;
    while (!bHeard && Clock::now() < SoundDeadline)
    {
        const TestCapture Capture = AlsaTestSetup::ReadCapture("second");
        const std::vector<int32_t> Codes =
            ChainSignals::DecodeCodes(Capture.Bytes.data(), Capture.Bytes.size(), 16);
        bHeard = std::any_of(Codes.begin(), Codes.end(), [](int32_t iCode) { return std::abs(iCode) > 100; });
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_TRUE(bHeard);
    EXPECT_EQ(State.bPlaying, 1);
    Host.Click(ID_STOP);
    EXPECT_EQ(State.bPlaying, 0);
    EXPECT_EQ(State.pSoundStream->GetWorker().GetState(), THREAD_STATE_EMPTY);
    Entry.End();
}
