#include "app/player/PlaybackEngine.h"
#include "app/player/PlaybackObjectFactory.h"
#include "app/player/PlayerState.h"
#include "output/AudioClientConstants.h"
#include "soundbuffer/IntelligentSoundBuffer.h"
#include "tests/common/ChainSignals.h"
#include "tests/common/TestFiles.h"
#include "tests/common/WaveFileBuilder.h"
#include "tests/scripted/CVirtualAudioLayer.h"
#include "tests/scripted/VirtualAudioDevice.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <thread>
#include <utility>
#include <vector>

// The engine used directly, without a dialog, on the scripted device whose clock the test moves one
// sound-buffer period at a time.

namespace
{
constexpr uint32_t RATE = 48000;
constexpr uint32_t RATE_INDEX = 10; // 48 kHz
constexpr double TONE_HERTZ = 1000.0;
constexpr double AMPLITUDE = 0.5;
constexpr uint64_t FILE_FRAMES = 4 * RATE;
constexpr uint32_t WAIT_MS = 30000;

class EngineRig
{
public:
    // A 48 kHz file of a tone from phase 0, so its start is as smooth as the rest of it, or (bPeak)
    // from its peak, so it starts at full level; the device plays at uiDeviceRate, rate table entry
    // uiDeviceRateIndex.
    explicit EngineRig(bool bPeak = false, uint32_t uiDeviceRate = RATE,
                       uint32_t uiDeviceRateIndex = RATE_INDEX)
        : Engine(State, &Layer, Factory), uiRateIndex(uiDeviceRateIndex)
    {
        pDevice->AcceptFormat(AUDIO_SHAREMODE_EXCLUSIVE, uiDeviceRate, 24);
        Layer.AddDevice(pDevice);
        std::vector<double> Signal(2 * FILE_FRAMES);
        for (uint64_t n = 0; n < FILE_FRAMES; ++n)
        {
            const double dfPhase = 2.0 * std::numbers::pi * TONE_HERTZ * static_cast<double>(n) / RATE;
            Signal[2 * n] = Signal[2 * n + 1] = AMPLITUDE * (bPeak ? std::cos(dfPhase) : std::sin(dfPhase));
        }
        const auto Path = TestFiles::Write("engine-tone.wav", WaveFileBuilder::PcmWave(Signal, 2, RATE, 24));
        PlaybackEngine::FileFacts Facts;
        EXPECT_EQ(Engine.OpenFile(TestFiles::Wide(Path).c_str(), Facts), 1);
        EXPECT_EQ(Facts.ullFrameCount, FILE_FRAMES);
        EXPECT_EQ(Engine.InitializeVolume(1.0), 1);
    }
    ~EngineRig() { Engine.TearDown(); }

    void Start()
    {
        PlaybackEngine::StartSettings Settings;
        Settings.uiRateIndex = uiRateIndex;
        PlaybackEngine::StartReport Report;
        ASSERT_EQ(Engine.Start(Settings, Report), 1);
        EXPECT_EQ(Report.FailedStep, PlaybackEngine::StartStep::None);
        EXPECT_EQ(Report.uiRateIndex, uiRateIndex);
        EXPECT_EQ(Report.bShared, 0);
        EXPECT_EQ(Report.uiDeviceBits, 24u);
        EXPECT_TRUE(Report.AttemptFailures.empty());
        ASSERT_EQ(Engine.IsPlaying(), 1);
    }

    // True once the sound buffer can give a period without running low, or drains its end.
    bool BufferHoldsAPeriod()
    {
        IntelligentSoundBuffer& Buffer = *State.pIntelligentSoundBuffer;
        const auto Deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(WAIT_MS);
        for (;;)
        {
            if (Buffer.HoldsPeriods(1) == 1)
            {
                return true;
            }
            if (std::chrono::steady_clock::now() > Deadline)
            {
                return false;
            }
            std::this_thread::yield();
        }
    }

    // Plays ullPeriods periods; with bSound each only once the sound buffer holds it, so nothing
    // depends on timing (while paused the device plays the buffer's silence).
    bool PlayPeriods(uint64_t ullPeriods, bool bSound = true)
    {
        const uint64_t P = State.pIntelligentSoundBuffer->ullPeriodFrames;
        for (uint64_t i = 0; i < ullPeriods; ++i)
        {
            const uint64_t ullWritten = pDevice->GetStreamState().ullWrittenFrames;
            if ((bSound && !BufferHoldsAPeriod()) || pDevice->Advance(P) != P ||
                !pDevice->WaitForWrittenFrames(ullWritten + P, WAIT_MS))
            {
                return false;
            }
        }
        return true;
    }

    // Waits until the engine's position stops moving (the playback thread has filled what it may).
    uint64_t SettledPosition()
    {
        uint64_t ullPosition = Engine.GetPosition();
        for (int i = 0; i < 200; ++i)
        {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            const uint64_t ullNow = Engine.GetPosition();
            if (ullNow == ullPosition)
            {
                return ullNow;
            }
            ullPosition = ullNow;
        }
        return ullPosition;
    }

    // What the device was given, as samples of the left channel.
    std::vector<double> Heard() const
    {
        const std::vector<uint8_t> Bytes = pDevice->GetWrittenBytes();
        const std::vector<int32_t> Codes = ChainSignals::DecodeCodes(Bytes.data(), Bytes.size(), 24);
        std::vector<double> Left(Codes.size() / 2);
        for (size_t i = 0; i < Left.size(); ++i)
        {
            Left[i] = Codes[2 * i] / 8388608.0;
        }
        return Left;
    }

    PlayerState State;
    CVirtualAudioLayer Layer;
    std::shared_ptr<VirtualAudioDevice> pDevice = std::make_shared<VirtualAudioDevice>();
    PlaybackObjectFactory Factory;
    PlaybackEngine Engine;
    uint32_t uiRateIndex;
};
} // namespace

TEST(PlaybackEngine, StartsFollowsTheSpeedPausesAndStops)
{
    EngineRig Rig;
    ASSERT_NO_FATAL_FAILURE(Rig.Start());
    ASSERT_TRUE(Rig.PlayPeriods(20));
    EXPECT_EQ(Rig.Engine.GetLength(), FILE_FRAMES);

    // x2: a second of the device takes two seconds of the file, give or take what the buffers hold.
    Rig.Engine.SetSpeed(2.0);
    const uint64_t ullBefore = Rig.Engine.GetPosition();
    ASSERT_TRUE(Rig.PlayPeriods(100));
    const double dfSeconds = static_cast<double>(Rig.Engine.GetPosition() - ullBefore) / RATE;
    EXPECT_NEAR(dfSeconds, 2.0, 0.4);

    // Paused, the file stays where it is however long the device plays.
    Rig.Engine.Pause();
    EXPECT_EQ(Rig.Engine.IsPaused(), 1);
    ASSERT_TRUE(Rig.PlayPeriods(30, false));
    const uint64_t ullPaused = Rig.SettledPosition();
    ASSERT_TRUE(Rig.PlayPeriods(30, false));
    EXPECT_EQ(Rig.Engine.GetPosition(), ullPaused);
    Rig.Engine.Resume();
    ASSERT_TRUE(Rig.PlayPeriods(10));
    EXPECT_GT(Rig.Engine.GetPosition(), ullPaused);

    Rig.Engine.Stop();
    EXPECT_EQ(Rig.Engine.IsPlaying(), 0);
    EXPECT_EQ(Rig.Engine.HasEnded(), 0);
    EXPECT_EQ(Rig.pDevice->GetStreamState().bOpen, 0);
    EXPECT_EQ(Rig.Engine.Seek(0), 0); // nothing to move
}

TEST(PlaybackEngine, SeekMovesWithoutAClickWhilePlayingAndWhilePausedAndPastTheEndEnds)
{
    EngineRig Rig;
    ASSERT_NO_FATAL_FAILURE(Rig.Start());
    ASSERT_TRUE(Rig.PlayPeriods(30));

    // While playing: the new place at once, whatever the playback thread had read ahead.
    const uint64_t ullTarget = Rig.Engine.GetPosition() + RATE + 17;
    const size_t ullBeforeSeek = Rig.Heard().size();
    ASSERT_EQ(Rig.Engine.Seek(ullTarget), 1);
    const uint64_t ullAfter = Rig.Engine.GetPosition();
    EXPECT_GE(ullAfter, ullTarget);
    EXPECT_LT(ullAfter, ullTarget + RATE / 4);
    // The device reads again only once the new place has filled the buffer: no gap to fade at.
    EXPECT_LT(Rig.SettledPosition(), ullTarget + RATE / 4);
    ASSERT_TRUE(Rig.PlayPeriods(40));
    EXPECT_GT(Rig.Engine.GetPosition(), ullTarget);

    // While paused: the place moves now, the resume plays from there.
    const size_t ullBeforePause = Rig.Heard().size();
    Rig.Engine.Pause();
    ASSERT_TRUE(Rig.PlayPeriods(20, false));
    const uint64_t ullPausedTarget = RATE / 2;
    ASSERT_EQ(Rig.Engine.Seek(ullPausedTarget), 1);
    EXPECT_EQ(Rig.Engine.GetPosition(), ullPausedTarget);
    ASSERT_TRUE(Rig.PlayPeriods(5, false));
    EXPECT_EQ(Rig.SettledPosition(), ullPausedTarget);
    Rig.Engine.Resume();
    ASSERT_TRUE(Rig.PlayPeriods(20));
    EXPECT_GT(Rig.Engine.GetPosition(), ullPausedTarget);
    EXPECT_LT(Rig.Engine.GetPosition(), ullPausedTarget + RATE / 2);

    // Every step the device was given is one a faded tone can make: the tone's own steepest step
    // plus what one period's raised-cosine fade adds. A jump to another place of the tone would be
    // up to twice its amplitude.
    const std::vector<double> Heard = Rig.Heard();
    const double dfPeriod = static_cast<double>(Rig.State.pIntelligentSoundBuffer->ullPeriodFrames);
    const double dfBound =
        1.05 * AMPLITUDE * (2.0 * std::numbers::pi * TONE_HERTZ / RATE + std::numbers::pi / dfPeriod);
    double dfLargest = 0.0;
    size_t ullLargestAt = 0;
    for (size_t i = 1; i < Heard.size(); ++i)
    {
        if (std::abs(Heard[i] - Heard[i - 1]) > dfLargest)
        {
            dfLargest = std::abs(Heard[i] - Heard[i - 1]);
            ullLargestAt = i;
        }
    }
    EXPECT_LE(dfLargest, dfBound) << "at frame " << ullLargestAt << " of " << Heard.size();
    // A stretch of a third of the tone's cycle near silence: the fade, where the tone alone swings
    // by most of its amplitude.
    bool bFaded = false;
    for (size_t i = ullBeforeSeek; i + 16 <= ullBeforePause && !bFaded; ++i)
    {
        bFaded = std::all_of(Heard.begin() + static_cast<std::ptrdiff_t>(i),
                             Heard.begin() + static_cast<std::ptrdiff_t>(i + 16),
                             [](double dfSample) { return std::abs(dfSample) < 0.01; });
    }
    EXPECT_TRUE(bFaded) << "the seek went to the new place without a fade";

    // Past the end: the end of the file, as if played there.
    ASSERT_EQ(Rig.Engine.Seek(FILE_FRAMES + 1000), 1);
    EXPECT_EQ(Rig.Engine.GetPosition(), FILE_FRAMES);
    const auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (Rig.Engine.HasEnded() == 0 && std::chrono::steady_clock::now() < Deadline)
    {
        Rig.PlayPeriods(1);
    }
    EXPECT_EQ(Rig.Engine.HasEnded(), 1);
    EXPECT_EQ(Rig.Engine.GetPosition(), FILE_FRAMES);
    Rig.Engine.Stop();
    EXPECT_EQ(Rig.Engine.IsPlaying(), 0);
}

// A file that starts at full level starts faded in: the first period the device gets with sound in
// it rises along the fade ramp, however full the sound buffer is when the device starts.
TEST(PlaybackEngine, AStartAtFullLevelFadesInOverTheFirstPeriod)
{
    for (const auto& [uiDeviceRate, uiRateIndex] : {std::pair<uint32_t, uint32_t>{48000, 10}, {96000, 8}})
    {
        SCOPED_TRACE(uiDeviceRate);
        EngineRig Rig(true, uiDeviceRate, uiRateIndex);
        ASSERT_NO_FATAL_FAILURE(Rig.Start());
        ASSERT_TRUE(Rig.PlayPeriods(20));
        const uint64_t n = Rig.State.pIntelligentSoundBuffer->ullPeriodFrames;
        ASSERT_EQ(n, uiDeviceRate / 100);
        const std::vector<double> Ramp = [n]
        {
            std::vector<double> Values(n);
            IntelligentSoundBuffer::MakeFadeRamp(Values.data(), n);
            return Values;
        }();
        // The device's data is a run of whole periods from its first frame.
        const std::vector<double> Heard = Rig.Heard();
        uint64_t ullFirst = 0;
        while (ullFirst + n <= Heard.size() &&
               std::all_of(Heard.begin() + static_cast<std::ptrdiff_t>(ullFirst),
                           Heard.begin() + static_cast<std::ptrdiff_t>(ullFirst + n),
                           [](double dfSample) { return dfSample == 0.0; }))
        {
            ullFirst += n;
        }
        ASSERT_LE(ullFirst + 2 * n, Heard.size());
        double dfNextPeak = 0.0;
        for (uint64_t f = 0; f < n; ++f)
        {
            // The converter may overshoot the tone's level a little at its start.
            ASSERT_LE(std::abs(Heard[ullFirst + f]), 1.1 * AMPLITUDE * Ramp[f] + 1e-4) << "frame " << f;
            dfNextPeak = std::max(dfNextPeak, std::abs(Heard[ullFirst + n + f]));
        }
        EXPECT_GT(dfNextPeak, 0.9 * AMPLITUDE);
        Rig.Engine.Stop();
    }
}

namespace
{
// The rig's tone as an MP3 made by the ffmpeg tool, opened in the engine; false without the tool.
bool OpenMp3(EngineRig& Rig)
{
    const auto Mp3 = TestFiles::PathFor("engine-tone.mp3");
    if (std::system(("ffmpeg -nostdin -v error -y -i '" + TestFiles::PathFor("engine-tone.wav").string() +
                     "' -c:a libmp3lame -b:a 192k '" + Mp3.string() + "'")
                        .c_str()) != 0)
    {
        return false;
    }
    PlaybackEngine::FileFacts Facts;
    EXPECT_EQ(Rig.Engine.OpenFile(TestFiles::Wide(Mp3).c_str(), Facts), 1);
    EXPECT_EQ(Facts.CodingName, u"MP3");
    EXPECT_EQ(Facts.uiBitCount + static_cast<uint32_t>(Facts.bFrameCountEstimated), 0u) << "no bits, exact";
    EXPECT_NEAR(static_cast<double>(Facts.ullFrameCount), static_cast<double>(FILE_FRAMES), 1152.0);
    return Rig.Engine.GetLength() == Facts.ullFrameCount;
}

// The largest level of the left channel heard in [ullFrom, the end).
double PeakOf(const std::vector<double>& Heard, size_t ullFrom)
{
    return std::abs(
        *std::max_element(Heard.begin() + static_cast<std::ptrdiff_t>(std::min(ullFrom, Heard.size() - 1)),
                          Heard.end(), [](double a, double b) { return std::abs(a) < std::abs(b); }));
}
} // namespace

TEST(PlaybackEngine, AnMp3OpensAndPlaysItsToneToTheEnd)
{
    EngineRig Rig;
    if (!OpenMp3(Rig))
    {
        GTEST_SKIP() << "no ffmpeg tool to make the MP3";
    }
    ASSERT_NO_FATAL_FAILURE(Rig.Start());
    ASSERT_TRUE(Rig.PlayPeriods(50));
    EXPECT_NEAR(PeakOf(Rig.Heard(), Rig.Heard().size() - 2400), AMPLITUDE, 0.03);
    // The whole sound plays and playback ends by itself, the position at the length.
    for (int32_t i = 0; i < 2000 && Rig.Engine.HasEnded() == 0; ++i)
    {
        Rig.PlayPeriods(1);
    }
    EXPECT_EQ(Rig.Engine.HasEnded(), 1);
    EXPECT_EQ(Rig.Engine.GetPosition(), Rig.Engine.GetLength());
    Rig.Engine.Stop();
}

TEST(PlaybackEngine, AnMp3SeeksToTheFrameAskedFor)
{
    EngineRig Rig;
    if (!OpenMp3(Rig))
    {
        GTEST_SKIP() << "no ffmpeg tool to make the MP3";
    }
    ASSERT_NO_FATAL_FAILURE(Rig.Start());
    ASSERT_TRUE(Rig.PlayPeriods(20));
    const uint64_t ullTarget = 3 * RATE + 123;
    ASSERT_EQ(Rig.Engine.Seek(ullTarget), 1);
    ASSERT_TRUE(Rig.PlayPeriods(30));
    EXPECT_GT(Rig.Engine.GetPosition(), ullTarget);
    EXPECT_LT(Rig.Engine.GetPosition(), ullTarget + RATE / 2);
    EXPECT_NEAR(PeakOf(Rig.Heard(), Rig.Heard().size() - 2400), AMPLITUDE, 0.03);
    Rig.Engine.Stop();
}

TEST(PlaybackEngine, AnMp3LoopRepeatsIdentically)
{
    EngineRig Rig;
    if (!OpenMp3(Rig))
    {
        GTEST_SKIP() << "no ffmpeg tool to make the MP3";
    }
    // A quarter of a second from inside the first second: the decoder seeks back to A each pass.
    constexpr uint64_t ullA = RATE / 2 + 77;
    constexpr uint64_t ullPass = RATE / 4;
    ASSERT_EQ(Rig.Engine.SetLoop(ullA, ullA + ullPass), 1);
    ASSERT_NO_FATAL_FAILURE(Rig.Start());
    for (int32_t i = 0; i < 2000 && Rig.Engine.GetLoopPasses() < 5; ++i)
    {
        ASSERT_TRUE(Rig.PlayPeriods(1));
    }
    ASSERT_TRUE(Rig.PlayPeriods(20));
    Rig.Engine.Stop();
    const std::vector<double> Heard = Rig.Heard();
    const size_t ullSound = static_cast<size_t>(
        std::find_if(Heard.begin(), Heard.end(), [](double dfSample) { return std::abs(dfSample) >= 1e-4; }) -
        Heard.begin());
    // The first pass runs from the file's start to B; from the second on each lasts the passage.
    const size_t ullSecond = ullSound + ullA + ullPass + 100;
    ASSERT_LE(ullSecond + 3 * ullPass, Heard.size());
    double dfWorst = 0.0;
    for (size_t i = ullSecond; i < ullSecond + 2 * ullPass - 200; ++i)
    {
        dfWorst = std::max(dfWorst, std::abs(Heard[i] - Heard[i + ullPass]));
    }
    EXPECT_LE(dfWorst, 1e-5);
    EXPECT_NEAR(PeakOf(Heard, ullSecond), AMPLITUDE, 0.03);
}

// Keep pitch switched while playing at x0.75: the place heard goes on at the speed across the change,
// the tone keeps its 1 kHz (and drops to 750 Hz again when switched off), and no step is larger than
// a crossfade of the two makes.
TEST(PlaybackEngine, KeepPitchSwitchesWhilePlayingAtThePlaceHeardWithoutAClick)
{
    EngineRig Rig;
    ASSERT_NO_FATAL_FAILURE(Rig.Start());
    Rig.Engine.SetSpeed(0.75);
    ASSERT_TRUE(Rig.PlayPeriods(30));
    const auto Frequency = [&Rig](size_t ullFrames)
    {
        const std::vector<double> Heard = Rig.Heard();
        int iCrossings = 0;
        for (size_t i = Heard.size() - ullFrames; i < Heard.size(); ++i)
        {
            iCrossings += Heard[i - 1] < 0.0 && Heard[i] >= 0.0 ? 1 : 0;
        }
        return iCrossings * static_cast<double>(RATE) / static_cast<double>(ullFrames);
    };
    for (const int32_t bKeep : {1, 0})
    {
        const uint64_t ullHeard = Rig.Engine.GetHeardPosition();
        Rig.Engine.SetKeepPitch(bKeep);
        EXPECT_EQ(Rig.Engine.GetKeepPitch(), bKeep);
        ASSERT_TRUE(Rig.PlayPeriods(60));
        EXPECT_NEAR(static_cast<double>(Rig.Engine.GetHeardPosition() - ullHeard), 0.75 * 60 * RATE / 100,
                    RATE / 50.0);
        EXPECT_NEAR(Frequency(RATE / 4), bKeep != 0 ? 1000.0 : 750.0, 12.0) << bKeep;
        // The place moves at the speed in either mode.
        const uint64_t ullBefore = Rig.Engine.GetHeardPosition();
        ASSERT_TRUE(Rig.PlayPeriods(50));
        EXPECT_NEAR(static_cast<double>(Rig.Engine.GetHeardPosition() - ullBefore), 0.75 * RATE / 2,
                    RATE / 50.0);
    }
    const std::vector<double> Heard = Rig.Heard();
    const double dfPeriod = static_cast<double>(Rig.State.pIntelligentSoundBuffer->ullPeriodFrames);
    const double dfBound =
        1.05 * AMPLITUDE * (2.0 * std::numbers::pi * TONE_HERTZ / RATE + std::numbers::pi / (2.0 * dfPeriod));
    for (size_t i = 1; i < Heard.size(); ++i)
    {
        ASSERT_LE(std::abs(Heard[i] - Heard[i - 1]), dfBound) << "at frame " << i << " of " << Heard.size();
    }
}

// Keeping the pitch while a loop with a run-up before every pass repeats at x0.75: the passes come
// round, the place heard stays between the run-up's start and B, the tone keeps its 1 kHz, and no
// step is larger than the loop's fades make.
TEST(PlaybackEngine, KeepPitchLoopsWithARunUpAtTheTonesOwnPitch)
{
    EngineRig Rig;
    constexpr uint64_t ullA = RATE;
    constexpr uint64_t ullB = RATE + 3 * RATE / 4;
    constexpr uint64_t ullRunUp = RATE / 4;
    Rig.Engine.SetSpeed(0.75);
    Rig.Engine.SetKeepPitch(1);
    ASSERT_EQ(Rig.Engine.SetLoop(ullA, ullB, ullRunUp), 1);
    ASSERT_NO_FATAL_FAILURE(Rig.Start());
    for (int32_t i = 0; i < 3000 && Rig.Engine.GetLoopPasses() < 3; ++i)
    {
        ASSERT_TRUE(Rig.PlayPeriods(1));
        if (Rig.Engine.GetLoopPasses() >= 1)
        {
            const uint64_t ullHeard = Rig.Engine.GetHeardPosition();
            ASSERT_GE(ullHeard + RATE / 20, ullA - ullRunUp);
            ASSERT_LE(ullHeard, ullB + RATE / 20);
        }
    }
    ASSERT_GE(Rig.Engine.GetLoopPasses(), 3u);
    const std::vector<double> Heard = Rig.Heard();
    // The last pass's middle: its tone at 1 kHz, not 750 Hz.
    const size_t ullTo = Heard.size() - static_cast<size_t>(0.3 * RATE);
    int32_t iCrossings = 0;
    for (size_t i = ullTo - RATE / 4; i < ullTo; ++i)
    {
        iCrossings += Heard[i - 1] < 0.0 && Heard[i] >= 0.0 ? 1 : 0;
    }
    EXPECT_NEAR(iCrossings * 4.0, TONE_HERTZ, 12.0);
    const double dfPeriod = static_cast<double>(Rig.State.pIntelligentSoundBuffer->ullPeriodFrames);
    const double dfBound =
        1.05 * AMPLITUDE * (2.0 * std::numbers::pi * TONE_HERTZ / RATE + std::numbers::pi / (2.0 * dfPeriod));
    for (size_t i = 1; i < Heard.size(); ++i)
    {
        ASSERT_LE(std::abs(Heard[i] - Heard[i - 1]), dfBound) << "at frame " << i << " of " << Heard.size();
    }
}
