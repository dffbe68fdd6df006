#include "app/player/PlaybackThreadBody.h"
#include "app/player/PlayerState.h"
#include "conversion/ParameterSmoother.h"
#include "runtime/CMultimediaTimer.h"
#include "runtime/CriticalSectionHolder.h"
#include "tests/common/WaveFileBuilder.h"
#include "tests/player/PlaybackRig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <numbers>
#include <vector>

namespace
{
constexpr uint32_t RATE = 8000;
// The consumer asks for a 10 ms period every 4 ms: faster than real time, slower than the producer.
constexpr uint32_t PACE_MS = 4;

std::vector<double> Sine(uint64_t ullFrames, uint32_t uiChannels, double dfHertz, double dfAmplitude)
{
    std::vector<double> Samples(ullFrames * uiChannels);
    for (uint64_t f = 0; f < ullFrames; ++f)
    {
        const double dfValue =
            dfAmplitude * std::sin(2.0 * std::numbers::pi * dfHertz * static_cast<double>(f) / RATE);
        for (uint32_t c = 0; c < uiChannels; ++c)
        {
            Samples[f * uiChannels + c] = (c % 2 == 0) ? dfValue : -dfValue;
        }
    }
    return Samples;
}

// Every channel holds its own constant.
std::vector<double> Constants(uint64_t ullFrames, const std::vector<double>& Values)
{
    std::vector<double> Samples;
    Samples.reserve(ullFrames * Values.size());
    for (uint64_t f = 0; f < ullFrames; ++f)
    {
        Samples.insert(Samples.end(), Values.begin(), Values.end());
    }
    return Samples;
}

// Number of frames, from the end, that are exactly silent.
uint64_t SilentTail(const std::vector<double>& Frames)
{
    uint64_t ullFrames = Frames.size() / 2;
    uint64_t ullSilent = 0;
    while (ullSilent < ullFrames && Frames[2 * (ullFrames - 1 - ullSilent)] == 0.0 &&
           Frames[2 * (ullFrames - 1 - ullSilent) + 1] == 0.0)
    {
        ++ullSilent;
    }
    return ullSilent;
}

uint64_t CountNear(const std::vector<double>& Frames, double dfLeft, double dfRight, double dfTolerance)
{
    uint64_t ullCount = 0;
    for (size_t f = 0; f + 1 < Frames.size(); f += 2)
    {
        if (std::abs(Frames[f] - dfLeft) < dfTolerance && std::abs(Frames[f + 1] - dfRight) < dfTolerance)
        {
            ++ullCount;
        }
    }
    return ullCount;
}

// The converter is fed whole hops of 128 frames; at the end of a file of L frames it holds
// S = 2 (L mod 128) samples, and the zero fill of 2 x 256 - (S mod 256) samples completes that hop and
// adds one more, which carries the last frames out. The first block after set-up is not counted.
uint64_t ExpectedConsumedFrames(uint64_t ullFileFrames)
{
    const uint64_t S = 2 * (ullFileFrames % 128);
    const uint64_t ullZeroSamples = 2 * 256 - (S % 256);
    const uint64_t ullInputFrames = ullFileFrames + ullZeroSamples / 2;
    return ullInputFrames - 128;
}
} // namespace

// A loop of A ... B frames played at a speed: every repetition lasts ceil((B - A) x device rate /
// (file rate x speed)) frames, the passage at the speed to the frame, with no silence added at the
// seam. An impulse 0.1 s after A marks each repetition; the repetitions are identical, so the
// impulses lie exactly one repetition apart. With a run-up every return goes to R before A, and a
// repetition lasts B - R.
TEST(PlaybackThread, LoopRepetitionLastsThePassageAtTheSpeed)
{
    struct Case
    {
        double dfDeviceRate;
        double dfSpeed;
        uint64_t ullStart;
        uint64_t ullEnd;
        uint64_t ullReturn;
    };
    const Case Cases[] = {{11025.0, 0.7491535384383408, 2000, 6801, 2000},
                          {8000.0, 1.0, 1000, 5037, 1000},
                          {16000.0, 1.2968395546510096, 1500, 5700, 1500},
                          {8000.0, 1.0, 1000, 5037, 200}};
    PlayerState& State = PlayerState::Instance();
    for (const Case& Item : Cases)
    {
        SCOPED_TRACE(testing::Message() << Item.dfDeviceRate << " Hz x" << Item.dfSpeed << ", loop "
                                        << Item.ullStart << "-" << Item.ullEnd << " from " << Item.ullReturn);
        std::vector<double> Signal(2 * 2 * RATE, 0.0);
        const uint64_t ullMark = Item.ullStart + RATE / 10;
        Signal[2 * ullMark] = 0.8;
        Signal[2 * ullMark + 1] = 0.8;
        const uint64_t ullExpected = static_cast<uint64_t>(std::ceil(
            static_cast<double>(Item.ullEnd - Item.ullReturn) * Item.dfDeviceRate / (RATE * Item.dfSpeed)));
        // The impulses heard: the largest frame of each run above half the first one's height.
        const auto Impulses = [](const std::vector<double>& Frames)
        {
            std::vector<uint64_t> At;
            for (uint64_t f = 0; 2 * f < Frames.size(); ++f)
            {
                if (Frames[2 * f] > 0.3)
                {
                    uint64_t ullPeak = f;
                    for (; 2 * f < Frames.size() && Frames[2 * f] > 0.0; ++f)
                    {
                        ullPeak = Frames[2 * f] > Frames[2 * ullPeak] ? f : ullPeak;
                    }
                    At.push_back(ullPeak);
                }
            }
            return At;
        };

        PlaybackRig Rig;
        ASSERT_NO_FATAL_FAILURE(
            Rig.Prepare(WaveFileBuilder::PcmWave(Signal, 2, RATE, 16), Item.dfDeviceRate));
        ASSERT_EQ(Rig.Converter.SetOutputRate(Item.dfDeviceRate / Item.dfSpeed, 1), 1);
        State.SetLoop(Item.ullStart, Item.ullEnd, Item.ullReturn);
        const uint64_t ullPasses = State.ullLoopPasses.load();
        TestConsumer Consumer(Rig.ullPeriodFrames, 1);
        Consumer.NeverStarve(&Rig.Buffer);
        Consumer.Start();
        ASSERT_NO_FATAL_FAILURE(Rig.StartThread());
        const bool bHeard = Consumer.WaitFor([&](const TestConsumer::Record& Heard)
                                             { return Impulses(Heard.Frames).size() >= 5; });
        Rig.Worker.RequestStop();
        EXPECT_EQ(Rig.JoinThread(), PLAYBACK_THREAD_DONE);
        Consumer.Stop();
        State.ClearLoop();
        ASSERT_TRUE(bHeard);
        EXPECT_GE(State.ullLoopPasses.load(), ullPasses + 4);

        const TestConsumer::Record Heard = Consumer.Snapshot();
        EXPECT_EQ(Heard.ullFailedCalls, 0u);
        std::vector<uint64_t> At = Impulses(Heard.Frames);
        // An impulse the stop cut off has no peak yet.
        if (!At.empty() && 2 * (At.back() + 64) > Heard.Frames.size())
        {
            At.pop_back();
        }
        ASSERT_GE(At.size(), 4u);
        // The first pass started at frame 0, not at A; from the second on each lasts the passage.
        for (size_t i = 2; i < At.size(); ++i)
        {
            EXPECT_EQ(At[i] - At[i - 1], ullExpected) << "repetition " << i;
        }
    }
}

// A loop's end moved back behind where the reads have come waits for the next pass: this pass
// still fades out at the old end instead of stopping at once unfaded, which would click.
TEST(PlaybackThread, ALoopEndMovedBehindTheReadsTakesEffectAtTheNextPass)
{
    PlayerState& State = PlayerState::Instance();
    PlaybackRig Rig;
    ASSERT_NO_FATAL_FAILURE(
        Rig.Prepare(WaveFileBuilder::PcmWave(Sine(2 * RATE, 2, 200.0, 0.5), 2, RATE, 16), RATE, 800));
    State.SetLoop(1000, 9000);
    State.ullSeekFrame.store(5000);
    const uint64_t ullPasses = State.ullLoopPasses.load();
    ASSERT_NO_FATAL_FAILURE(Rig.StartThread());
    // The producer reads a block from 5000 and waits for room in the buffer.
    CMultimediaTimer Timer;
    for (int i = 0; i < 5000 && Rig.ConsumedFrames() < 5600; ++i)
    {
        Timer.Sleep(1);
    }
    ASSERT_GE(Rig.ConsumedFrames(), 5600u);
    State.SetLoop(1000, 5500);
    TestConsumer Consumer(Rig.ullPeriodFrames, 1);
    Consumer.NeverStarve(&Rig.Buffer);
    Consumer.Start();
    const bool bLooped = Consumer.WaitFor([&](const TestConsumer::Record&)
                                          { return State.ullLoopPasses.load() >= ullPasses + 3; });
    Rig.Worker.RequestStop();
    EXPECT_EQ(Rig.JoinThread(), PLAYBACK_THREAD_DONE);
    Consumer.Stop();
    State.ClearLoop();
    ASSERT_TRUE(bLooped);
    const std::vector<double> Frames = Consumer.Snapshot().Frames;
    // A 200 Hz sine of 0.5 moves at most 0.08 from one frame to the next at 8 kHz.
    double dfLargestStep = 0.0;
    for (size_t f = 2; f < Frames.size(); f += 2)
    {
        dfLargestStep = std::max(dfLargestStep, std::abs(Frames[f] - Frames[f - 2]));
    }
    EXPECT_LT(dfLargestStep, 0.1);
}

TEST(PlaybackThread, MonoArrivesAsEqualLeftAndRight)
{
    PlaybackRig Rig;
    const std::vector<double> Signal = Sine(RATE / 2, 1, 440.0, 0.5);
    ASSERT_NO_FATAL_FAILURE(Rig.Prepare(WaveFileBuilder::PcmWave(Signal, 1, RATE, 16), RATE));
    TestConsumer Consumer(Rig.ullPeriodFrames, PACE_MS);
    Consumer.Start();
    ASSERT_NO_FATAL_FAILURE(Rig.StartThread());
    EXPECT_EQ(Rig.JoinThread(), PLAYBACK_THREAD_DONE);
    EXPECT_TRUE(Rig.IsBufferFinishing());
    // Played out: the buffer falls silent after the last frames.
    ASSERT_TRUE(Consumer.WaitFor([&](const TestConsumer::Record& Heard)
                                 { return SilentTail(Heard.Frames) >= 3 * Rig.ullPeriodFrames; }));
    Consumer.Stop();

    const TestConsumer::Record Heard = Consumer.Snapshot();
    EXPECT_EQ(Heard.ullFailedCalls, 0u);
    double dfPeak = 0.0;
    uint64_t ullSounding = 0;
    for (size_t f = 0; f < Heard.Frames.size(); f += 2)
    {
        ASSERT_EQ(Heard.Frames[f], Heard.Frames[f + 1]) << "frame " << f / 2;
        dfPeak = std::max(dfPeak, std::abs(Heard.Frames[f]));
        ullSounding += Heard.Frames[f] != 0.0 ? 1 : 0;
    }
    EXPECT_NEAR(dfPeak, 0.5, 0.01);
    // Nothing was lost on the way: the whole file was heard.
    EXPECT_GE(ullSounding, Signal.size() - 2 * Rig.ullPeriodFrames);
    EXPECT_EQ(Rig.ConsumedFrames(), ExpectedConsumedFrames(Signal.size()));
}

TEST(PlaybackThread, ZeroFillCompletesTheLastBlockAndFinishes)
{
    struct Case
    {
        uint32_t uiChannels;
        uint64_t ullFrames;
    };
    // Short last blocks, and lengths of whole 1024-frame blocks that end with an empty read.
    const Case Cases[] = {{2, 0},    {1, 0},    {2, 1},    {2, 127},  {1, 128},  {2, 129},
                          {1, 1023}, {2, 1024}, {1, 1024}, {2, 2048}, {1, 3001}, {6, 1000}};
    for (const Case& Item : Cases)
    {
        SCOPED_TRACE(testing::Message() << Item.uiChannels << " channels, " << Item.ullFrames << " frames");
        PlaybackRig Rig;
        const std::vector<double> Signal = Sine(Item.ullFrames, Item.uiChannels, 1000.0, 0.25);
        ASSERT_NO_FATAL_FAILURE(
            Rig.Prepare(WaveFileBuilder::PcmWave(Signal, Item.uiChannels, RATE, 16), RATE));
        TestConsumer Consumer(Rig.ullPeriodFrames, 1);
        Consumer.Start();
        ASSERT_NO_FATAL_FAILURE(Rig.StartThread());
        EXPECT_EQ(Rig.JoinThread(), PLAYBACK_THREAD_DONE);
        Consumer.Stop();

        // Exactly the zero fill went in, so the converter consumed every hop and holds nothing.
        EXPECT_EQ(Rig.ConsumedFrames(), ExpectedConsumedFrames(Item.ullFrames));
        EXPECT_EQ(Rig.Converter.InputFIFO.GetFill(), 0u);
        EXPECT_EQ(Rig.Converter.OutputFIFO.GetFill(), 0u);
        EXPECT_TRUE(Rig.IsBufferFinishing());
    }
}

TEST(PlaybackThread, PauseHoldsTheFilePosition)
{
    // Left rises through the file, right stays put: left / right tells which frame is playing,
    // whatever gain the fades apply. The file is far longer than the test plays.
    constexpr uint64_t ullFrames = 20 * RATE;
    std::vector<double> Signal(2 * ullFrames);
    for (uint64_t f = 0; f < ullFrames; ++f)
    {
        Signal[2 * f] = -0.4 + 0.8 * static_cast<double>(f) / static_cast<double>(ullFrames);
        Signal[2 * f + 1] = 0.5;
    }
    auto FrameOf = [](double dfLeft, double dfRight)
    { return (dfLeft / dfRight * 0.5 + 0.4) / 0.8 * static_cast<double>(ullFrames); };

    PlaybackRig Rig;
    ASSERT_NO_FATAL_FAILURE(Rig.Prepare(WaveFileBuilder::PcmWave(Signal, 2, RATE, 24), RATE));
    const uint64_t n = Rig.ullPeriodFrames;
    TestConsumer Consumer(n, PACE_MS);
    Consumer.Start();
    ASSERT_NO_FATAL_FAILURE(Rig.StartThread());
    auto FullLevelFrames = [](const TestConsumer::Record& Heard)
    {
        uint64_t ullFull = 0;
        for (size_t f = 1; f < Heard.Frames.size(); f += 2)
        {
            ullFull += std::abs(Heard.Frames[f] - 0.5) < 1e-3 ? 1 : 0;
        }
        return ullFull;
    };
    ASSERT_TRUE(Consumer.WaitFor([&](const TestConsumer::Record& Heard)
                                 { return FullLevelFrames(Heard) >= 20 * n; }));

    PlayerState& State = PlayerState::Instance();
    State.bPaused.store(1);
    // The buffer runs dry long before the end of the file: the thread makes nothing more.
    ASSERT_TRUE(Consumer.WaitFor([&](const TestConsumer::Record& Heard)
                                 { return SilentTail(Heard.Frames) >= 10 * n; }));
    EXPECT_FALSE(Rig.IsBufferFinishing());
    const uint64_t ullConsumedAtPause = Rig.ConsumedFrames();
    ASSERT_TRUE(Consumer.WaitForCalls(25));
    EXPECT_EQ(Rig.ConsumedFrames(), ullConsumedAtPause);
    const uint64_t ullHeardAtPause = FullLevelFrames(Consumer.Snapshot());

    State.bPaused.store(0);
    ASSERT_TRUE(Consumer.WaitFor([&](const TestConsumer::Record& Heard)
                                 { return FullLevelFrames(Heard) >= ullHeardAtPause + 20 * n; }));
    Rig.Worker.RequestStop();
    EXPECT_EQ(Rig.JoinThread(), PLAYBACK_THREAD_DONE);
    Consumer.Stop();
    EXPECT_GT(Rig.ConsumedFrames(), ullConsumedAtPause);
    EXPECT_FALSE(Rig.IsBufferFinishing());

    // The sound goes on where it stopped: frames follow one another, and across the pause only the
    // frames deep in the fades are missing.
    const TestConsumer::Record Heard = Consumer.Snapshot();
    EXPECT_EQ(Heard.ullFailedCalls, 0u);
    double dfLast = -1.0;
    uint64_t ullJumps = 0;
    for (size_t f = 0; f + 1 < Heard.Frames.size(); f += 2)
    {
        if (Heard.Frames[f + 1] < 0.25)
        {
            continue; // silent or deep in a fade
        }
        const double dfFrame = FrameOf(Heard.Frames[f], Heard.Frames[f + 1]);
        if (dfLast >= 0.0)
        {
            const double dfStep = dfFrame - dfLast;
            if (std::abs(dfStep - 1.0) > 5.0)
            {
                ++ullJumps;
                EXPECT_GT(dfStep, 0.0) << "frame " << f / 2;
                EXPECT_LT(dfStep, 1.5 * static_cast<double>(n)) << "frame " << f / 2;
            }
        }
        dfLast = dfFrame;
    }
    EXPECT_EQ(ullJumps, 1u);
}

TEST(PlaybackThread, StopIsHonouredWhileTheBufferAcceptsNothing)
{
    PlaybackRig Rig;
    // No consumer, and a buffer that cannot grow: it fills up and then takes nothing.
    ASSERT_NO_FATAL_FAILURE(
        Rig.Prepare(WaveFileBuilder::PcmWave(Sine(10 * RATE, 2, 300.0, 0.5), 2, RATE, 16), RATE, 160));
    ASSERT_NO_FATAL_FAILURE(Rig.StartThread());
    CMultimediaTimer Timer;
    auto IsFull = [&Rig]
    {
        CriticalSectionHolder Holder(&Rig.Buffer.Queue.CriticalSection);
        return Rig.Buffer.Queue.ullFill == Rig.Buffer.Queue.ullCapacity;
    };
    for (int i = 0; i < 60000 && !IsFull(); ++i)
    {
        Timer.Sleep(1);
    }
    ASSERT_TRUE(IsFull());

    const auto Start = std::chrono::steady_clock::now();
    Rig.Worker.RequestStop();
    EXPECT_EQ(Rig.JoinThread(), PLAYBACK_THREAD_DONE);
    const auto Elapsed = std::chrono::steady_clock::now() - Start;
    // One retry is a millisecond; the bound leaves room for a loaded machine.
    EXPECT_LT(Elapsed, std::chrono::seconds(2));
    // A stop is not the end of the file.
    EXPECT_FALSE(Rig.IsBufferFinishing());
}

TEST(PlaybackThread, FailuresEndWithMinusOne)
{
    const auto Wave = WaveFileBuilder::PcmWave(Sine(RATE, 2, 300.0, 0.5), 2, RATE, 16);
    {
        SCOPED_TRACE("failing read: no Finish");
        PlaybackRig Rig;
        ASSERT_NO_FATAL_FAILURE(Rig.Prepare(Wave, RATE));
        Rig.Reader.Close();
        ASSERT_NO_FATAL_FAILURE(Rig.StartThread());
        EXPECT_EQ(Rig.JoinThread(), PLAYBACK_THREAD_FAILED);
        EXPECT_FALSE(Rig.IsBufferFinishing());
        EXPECT_EQ(Rig.ConsumedFrames(), 0u);
    }
    {
        SCOPED_TRACE("no reader: no Finish");
        PlaybackRig Rig;
        ASSERT_NO_FATAL_FAILURE(Rig.Prepare(Wave, RATE));
        ASSERT_NO_FATAL_FAILURE(Rig.StartThread(true, false));
        EXPECT_EQ(Rig.JoinThread(), PLAYBACK_THREAD_FAILED);
        EXPECT_FALSE(Rig.IsBufferFinishing());
    }
    {
        SCOPED_TRACE("no input buffer: ends the stream");
        PlaybackRig Rig;
        ASSERT_NO_FATAL_FAILURE(Rig.Prepare(Wave, RATE));
        ASSERT_NO_FATAL_FAILURE(Rig.StartThread(false, true));
        EXPECT_EQ(Rig.JoinThread(), PLAYBACK_THREAD_FAILED);
        EXPECT_TRUE(Rig.IsBufferFinishing());
    }
    {
        SCOPED_TRACE("converter not set up: fails on the first block, no Finish");
        PlaybackRig Rig;
        ASSERT_NO_FATAL_FAILURE(Rig.Prepare(Wave, RATE));
        Rig.Converter.Release();
        ASSERT_NO_FATAL_FAILURE(Rig.StartThread());
        EXPECT_EQ(Rig.JoinThread(), PLAYBACK_THREAD_FAILED);
        EXPECT_FALSE(Rig.IsBufferFinishing());
    }
    {
        SCOPED_TRACE("sound buffer not ready: the write fails");
        PlaybackRig Rig;
        ASSERT_NO_FATAL_FAILURE(Rig.Prepare(Wave, RATE));
        Rig.Buffer.Release();
        PlayerState::Instance().pIntelligentSoundBuffer = nullptr;
        ASSERT_NO_FATAL_FAILURE(Rig.StartThread());
        EXPECT_EQ(Rig.JoinThread(), PLAYBACK_THREAD_FAILED);
        EXPECT_GT(Rig.ConsumedFrames(), 0u);
    }
    EXPECT_EQ(PlaybackThreadBody(nullptr), PLAYBACK_THREAD_FAILED);
}

TEST(PlaybackThread, VolumeChangeRampsOverOnePeriod)
{
    // Left 0.5 and right -0.25 throughout: any gain shows on both alike.
    PlaybackRig Rig;
    ASSERT_NO_FATAL_FAILURE(
        Rig.Prepare(WaveFileBuilder::PcmWave(Constants(3 * RATE, {0.5, -0.25}), 2, RATE, 24), RATE));
    const uint64_t n = Rig.ullPeriodFrames;
    PlayerState& State = PlayerState::Instance();
    TestConsumer Consumer(n, PACE_MS);
    Consumer.NeverStarve(&Rig.Buffer);
    Consumer.Start();
    ASSERT_NO_FATAL_FAILURE(Rig.StartThread());
    ASSERT_TRUE(Consumer.WaitFor([&](const TestConsumer::Record& Heard)
                                 { return CountNear(Heard.Frames, 0.5, -0.25, 1e-3) >= 10 * n; }));
    // As the volume slider does, on the UI thread while the thread plays.
    ASSERT_EQ(State.pVolume->SetTarget(0.1, State.pVolume->GetDefaultSteps()), 1);
    ASSERT_TRUE(Consumer.WaitFor([&](const TestConsumer::Record& Heard)
                                 { return CountNear(Heard.Frames, 0.05, -0.025, 1e-4) >= 5 * n; }));
    Rig.Worker.RequestStop();
    EXPECT_EQ(Rig.JoinThread(), PLAYBACK_THREAD_DONE);
    Consumer.Stop();

    const std::vector<double> Frames = Consumer.Snapshot().Frames;
    const uint64_t ullFrames = Frames.size() / 2;
    // After the fade-in a steady stretch at full level; the ramp passes half-way (0.275) at its
    // middle step, n / 2 frames after it starts.
    uint64_t ullMiddle = 0;
    uint64_t ullSteady = 0;
    while (ullMiddle < ullFrames && !(ullSteady >= 5 * n && Frames[2 * ullMiddle] < 0.275))
    {
        const bool bSteady = std::abs(Frames[2 * ullMiddle] - 0.5) < 1e-3;
        ullSteady = bSteady ? ullSteady + 1 : (ullSteady >= 5 * n ? ullSteady : 0);
        ++ullMiddle;
    }
    ASSERT_LT(ullMiddle + n, ullFrames);
    auto Expected = [n](int64_t j)
    {
        const double t = std::clamp(static_cast<double>(j) / static_cast<double>(n), 0.0, 1.0);
        return 0.5 * (1.0 + (0.1 - 1.0) * (0.5 - 0.5 * std::cos(std::numbers::pi * t)));
    };
    // The start that fits best, within a frame or two of n / 2 before the middle.
    double dfBestError = 1e9;
    uint64_t ullStart = 0;
    for (uint64_t s = ullMiddle - n / 2 - 2; s <= ullMiddle - n / 2 + 2; ++s)
    {
        double dfError = 0.0;
        for (int64_t j = -8; j <= static_cast<int64_t>(n) + 8; ++j)
        {
            dfError = std::max(dfError, std::abs(Frames[2 * (s + j)] - Expected(j)));
        }
        if (dfError < dfBestError)
        {
            dfBestError = dfError;
            ullStart = s;
        }
    }
    EXPECT_LT(dfBestError, 5e-4) << "ramp starting at frame " << ullStart;
    for (int64_t j = -8; j <= static_cast<int64_t>(n) + 8; ++j)
    {
        const uint64_t f = ullStart + j;
        EXPECT_NEAR(Frames[2 * f + 1], -0.5 * Frames[2 * f], 1e-4) << "frame " << f;
    }
}

TEST(PlaybackThread, SixChannelsAreDownMixed)
{
    // FL FR FC LFE BL BR, each its own constant; the LFE would push the result off if it were mixed.
    const std::vector<double> Values = {0.3, -0.2, 0.4, 0.9, 0.1, -0.5};
    const double G = std::sqrt(0.5);
    const double S = 1.0 + 2.0 * G;
    const double dfLeft = (0.3 + G * 0.4 + G * 0.1) / S;
    const double dfRight = (-0.2 + G * 0.4 + G * -0.5) / S;

    PlaybackRig Rig;
    ASSERT_NO_FATAL_FAILURE(
        Rig.Prepare(WaveFileBuilder::PcmWave(Constants(RATE, Values), 6, RATE, 24), RATE));
    TestConsumer Consumer(Rig.ullPeriodFrames, PACE_MS);
    Consumer.Start();
    ASSERT_NO_FATAL_FAILURE(Rig.StartThread());
    EXPECT_EQ(Rig.JoinThread(), PLAYBACK_THREAD_DONE);
    ASSERT_TRUE(Consumer.WaitFor([&](const TestConsumer::Record& Heard)
                                 { return SilentTail(Heard.Frames) >= 3 * Rig.ullPeriodFrames; }));
    Consumer.Stop();

    // Most of the second is heard at the mixed levels.
    EXPECT_GT(CountNear(Consumer.Snapshot().Frames, dfLeft, dfRight, 1e-3), RATE * 3 / 4);
    EXPECT_EQ(Rig.ConsumedFrames(), ExpectedConsumedFrames(RATE));
}

// Whether the sound buffer is marked finished depends on where the run failed: a step of the block
// fails without it, the end of the file (an empty file, or no input buffer to read into) still
// marks it after the zero fill went into the converter.
TEST(PlaybackThread, FailuresFinishOnlyAtTheEndOfTheFile)
{
    const auto Wave = WaveFileBuilder::PcmWave(Sine(RATE, 2, 300.0, 0.5), 2, RATE, 16);
    const auto Empty = WaveFileBuilder::PcmWave({}, 2, RATE, 16);
    {
        SCOPED_TRACE("no output buffer: the first block fails");
        PlaybackRig Rig;
        ASSERT_NO_FATAL_FAILURE(Rig.Prepare(Wave, RATE));
        ASSERT_NO_FATAL_FAILURE(Rig.StartThread(false, false, true));
        EXPECT_EQ(Rig.JoinThread(), PLAYBACK_THREAD_FAILED);
        EXPECT_FALSE(Rig.IsBufferFinishing());
        EXPECT_EQ(Rig.Converter.InputFIFO.GetFill(), 0u);
    }
    {
        SCOPED_TRACE("no output buffer, empty file: zero fill, Finish");
        PlaybackRig Rig;
        ASSERT_NO_FATAL_FAILURE(Rig.Prepare(Empty, RATE));
        ASSERT_NO_FATAL_FAILURE(Rig.StartThread(false, false, true));
        EXPECT_EQ(Rig.JoinThread(), PLAYBACK_THREAD_FAILED);
        EXPECT_TRUE(Rig.IsBufferFinishing());
        EXPECT_EQ(Rig.Converter.InputFIFO.GetFill(), 512u);
    }
    {
        SCOPED_TRACE("no input buffer: the file ends at once, zero fill, Finish");
        PlaybackRig Rig;
        ASSERT_NO_FATAL_FAILURE(Rig.Prepare(Wave, RATE));
        ASSERT_NO_FATAL_FAILURE(Rig.StartThread(false, true));
        EXPECT_EQ(Rig.JoinThread(), PLAYBACK_THREAD_FAILED);
        EXPECT_TRUE(Rig.IsBufferFinishing());
        EXPECT_EQ(Rig.Converter.InputFIFO.GetFill(), 512u);
        EXPECT_EQ(Rig.ConsumedFrames(), 0u);
    }
    {
        SCOPED_TRACE("converter not set up, empty file: Finish");
        PlaybackRig Rig;
        ASSERT_NO_FATAL_FAILURE(Rig.Prepare(Empty, RATE));
        Rig.Converter.Release();
        ASSERT_NO_FATAL_FAILURE(Rig.StartThread());
        EXPECT_EQ(Rig.JoinThread(), PLAYBACK_THREAD_FAILED);
        EXPECT_TRUE(Rig.IsBufferFinishing());
    }
    {
        SCOPED_TRACE("one-channel converter: the first block fails, nothing converted");
        PlaybackRig Rig;
        ASSERT_NO_FATAL_FAILURE(Rig.Prepare(Wave, RATE));
        ASSERT_EQ(Rig.Converter.Release(), 1);
        ASSERT_EQ(Rig.Converter.Setup(1, RATE, RATE, 8, 0, 0.0), 1);
        ASSERT_NO_FATAL_FAILURE(Rig.StartThread());
        EXPECT_EQ(Rig.JoinThread(), PLAYBACK_THREAD_FAILED);
        EXPECT_FALSE(Rig.IsBufferFinishing());
        EXPECT_EQ(Rig.Converter.InputFIFO.GetFill(), 0u);
    }
    {
        SCOPED_TRACE("no sound buffer: the first block fails before the converter sees it");
        PlaybackRig Rig;
        ASSERT_NO_FATAL_FAILURE(Rig.Prepare(Wave, RATE));
        ASSERT_NO_FATAL_FAILURE(Rig.StartThread(false, false, false, true));
        EXPECT_EQ(Rig.JoinThread(), PLAYBACK_THREAD_FAILED);
        EXPECT_FALSE(Rig.IsBufferFinishing());
        EXPECT_EQ(Rig.Converter.InputFIFO.GetFill(), 0u);
    }
}
