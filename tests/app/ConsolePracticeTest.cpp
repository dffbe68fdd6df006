#include "app/cli/ConsolePlayer.h"
#include "app/dialog/ScopedPlayerLanguage.h"

#include "app/player/PlayerScales.h"
#include "app/player/PlayerState.h"
#include "conversion/SamplingFrequencyConverter.h"
#include "output/AudioClientConstants.h"
#include "tests/app/CliRun.h"
#include "tests/app/ScriptedKeys.h"
#include "tests/common/ChainSignals.h"
#include "tests/common/TestFiles.h"
#include "tests/common/WaveFileBuilder.h"
#include "tests/scripted/CVirtualAudioLayer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>
#include <sstream>
#include <tuple>

namespace
{
constexpr uint32_t FILE_RATE = 44100;
constexpr uint32_t DEVICE_RATE = 48000;
// One period of the sound buffer at the device rate: the length of every fade.
constexpr uint64_t FADE = DEVICE_RATE / 100;

PlayerState& State()
{
    return PlayerState::Instance();
}

uint64_t Consumed()
{
    return State().pSamplingFrequencyConverter->ullConsumedFrames.load();
}

bool SeekTaken()
{
    return State().ullSeekFrame.load() == PlayerState::NO_SEEK;
}

// A step that waits for the last seek to be taken, then checks and presses what Then gives.
template <typename Step> std::function<ConsoleKey()> AfterSeek(Step Then)
{
    return [Then] { return SeekTaken() ? Then() : ConsoleKey::None; };
}

// Paused once the converter's count has stood still for 30 turns (it stops at its next block).
struct StandsStill
{
    uint64_t ullAt = 0;
    int iTurns = 0;
    bool operator()()
    {
        const uint64_t ullNow = Consumed();
        iTurns = ullNow == ullAt ? iTurns + 1 : 0;
        ullAt = ullNow;
        return iTurns >= 30;
    }
};

// A stereo 16-bit file of dfSeconds: a tone of dfHz, or (dfHz 0) a sweep from 300 Hz to 3 kHz, which
// repeats nowhere, so a repetition found in the output is one the player made.
std::filesystem::path SignalFile(const std::string& Name, double dfSeconds, double dfHz)
{
    const uint64_t ullFrames = static_cast<uint64_t>(dfSeconds * FILE_RATE);
    std::vector<double> Signal(2 * ullFrames);
    for (uint64_t n = 0; n < ullFrames; ++n)
    {
        const double t = static_cast<double>(n) / FILE_RATE;
        const double dfPhase =
            dfHz > 0.0 ? dfHz * t : 300.0 * t + (3000.0 - 300.0) * t * t / (2.0 * dfSeconds);
        Signal[2 * n] = 0.5 * std::sin(2.0 * std::numbers::pi * dfPhase);
        Signal[2 * n + 1] = Signal[2 * n];
    }
    return TestFiles::Write(Name, WaveFileBuilder::PcmWave(Signal, 2, FILE_RATE, 16));
}

// A device of the default endpoint that plays in real time at 48 kHz, 24 bits, and keeps every byte.
struct Device
{
    Device()
    {
        pDevice->UseRealTimeClock(1);
        pDevice->AcceptFormat(AUDIO_SHAREMODE_EXCLUSIVE, DEVICE_RATE, 24);
        Layer.AddDevice(pDevice);
        Layer.SetDefaultDevice(pDevice);
    }
    // The left channel of everything played, from the first sound on.
    std::vector<double> Played() const
    {
        const std::vector<uint8_t> Bytes = pDevice->GetWrittenBytes();
        const std::vector<int32_t> Codes = ChainSignals::DecodeCodes(Bytes.data(), Bytes.size(), 24);
        std::vector<double> Left;
        for (size_t i = 0; i < Codes.size(); i += 2)
        {
            if (!Left.empty() || Codes[i] != 0)
            {
                Left.push_back(Codes[i] / 8388608.0);
            }
        }
        return Left;
    }

    CVirtualAudioLayer Layer;
    std::shared_ptr<VirtualAudioDevice> pDevice = std::make_shared<VirtualAudioDevice>();
};

// A player on that device, its status line in place or as plain lines.
struct Session
{
    explicit Session(bool bInPlace = false) : Player(&Output.Layer, Status, bInPlace, Messages) {}

    Device Output;
    std::ostringstream Status;
    std::ostringstream Messages;
    ConsolePlayer Player;
};

ConsolePlayer::Options Parsed(const std::vector<std::string>& Arguments)
{
    ConsolePlayer::Options Chosen;
    std::string Problem;
    EXPECT_TRUE(ConsolePlayer::ParseOptions(Arguments, Chosen, Problem)) << Problem;
    return Chosen;
}

// Plays File with the options until the loop has gone back to its start ullPasses times, then quits.
struct LoopRun
{
    std::string Status;
    std::vector<double> Played;
};

LoopRun PlayLoop(const std::filesystem::path& File, const std::vector<std::string>& Arguments,
                 uint64_t ullPasses)
{
    Session Run;
    const uint64_t ullBase = State().ullLoopPasses.load();
    ScriptedKeys Keys({[&] {
        return State().ullLoopPasses.load() >= ullBase + ullPasses ? ConsoleKey::Quit : ConsoleKey::None;
    }});
    EXPECT_EQ(Run.Player.Run(Parsed(Arguments), Utf8(File), Keys), ConsolePlayer::EXIT_DONE)
        << Run.Messages.str();
    return {Run.Status.str(), Run.Output.Played()};
}

// The frequency of a tone from its falling zero crossings, interpolated between samples.
double Frequency(const double* pdfSamples, size_t ullCount)
{
    double dfFirst = -1.0;
    double dfLast = -1.0;
    uint64_t ullCrossings = 0;
    for (size_t i = 0; i + 1 < ullCount; ++i)
    {
        if (pdfSamples[i] >= 0.0 && pdfSamples[i + 1] < 0.0)
        {
            const double dfAt = i + pdfSamples[i] / (pdfSamples[i] - pdfSamples[i + 1]);
            dfFirst = dfFirst < 0.0 ? dfAt : dfFirst;
            dfLast = dfAt;
            ++ullCrossings;
        }
    }
    return ullCrossings < 2 ? 0.0 : (ullCrossings - 1) * DEVICE_RATE / (dfLast - dfFirst);
}

// The largest step from one sample to the next.
double LargestStep(const std::vector<double>& Samples, size_t ullFrom, size_t ullTo)
{
    double dfLargest = 0.0;
    for (size_t i = ullFrom; i + 1 < std::min(ullTo, Samples.size()); ++i)
    {
        dfLargest = std::max(dfLargest, std::fabs(Samples[i + 1] - Samples[i]));
    }
    return dfLargest;
}

// Where each repetition of a loop starts: after every run of at least 20 samples below dfQuiet;
// Gaps gets the length of the run before each start (0 before the first).
std::vector<size_t> RepetitionStarts(const std::vector<double>& Samples, double dfQuiet,
                                     std::vector<size_t>& Gaps)
{
    std::vector<size_t> Starts = {0};
    Gaps = {0};
    for (size_t i = 0; i < Samples.size();)
    {
        size_t j = i;
        while (j < Samples.size() && std::fabs(Samples[j]) < dfQuiet)
        {
            ++j;
        }
        if (j - i >= 20 && i > 0 && j < Samples.size())
        {
            Starts.push_back(j);
            Gaps.push_back(j - i);
        }
        i = j + 1;
    }
    return Starts;
}
} // namespace

// The command line's speed and volume are the sliders' before Play: the first 50 ms already play
// the tone at the slider's speed (0.75 is the step x0.7492) and at the level asked for.
TEST(ConsolePracticeTest, FirstSampleAtTheChosenSpeedAndVolume)
{
    const auto Tone = SignalFile("practice-first.wav", 0.5, 1000.0);
    Session Run;
    ScriptedKeys Keys({});
    ASSERT_EQ(Run.Player.Run(Parsed({"--speed", "0.75", "--volume", "-6"}), Utf8(Tone), Keys),
              ConsolePlayer::EXIT_DONE)
        << Run.Messages.str();
    const std::vector<double> Played = Run.Output.Played();
    ASSERT_GT(Played.size(), DEVICE_RATE / 20);
    const double dfExpected = 1000.0 * PlayerScales::SpeedOfPosition(70);
    EXPECT_NEAR(Frequency(Played.data(), DEVICE_RATE / 20), dfExpected, dfExpected * 0.001);
    // Every 5 ms of the first 50 ms peaks at the tone's 0.5 at -6 dB; only the first period may be
    // lower, when the sound buffer fades the start in (the device started before its first period).
    const double dfPeak = 0.5 * PlayerScales::GainOfVolumePosition(60);
    for (size_t w = 0; w < 10; ++w)
    {
        const auto [pMin, pMax] =
            std::minmax_element(Played.begin() + w * FADE / 2, Played.begin() + (w + 1) * FADE / 2);
        const double dfWindowPeak = std::max(-*pMin, *pMax);
        EXPECT_LE(dfWindowPeak, dfPeak * 1.01) << w;
        if (w >= 2)
        {
            EXPECT_GE(dfWindowPeak, dfPeak * 0.99) << w;
        }
    }
}

// The seek keys move the place while playing and while paused (resume plays from there); every
// jump fades out and in, so no step between two samples is larger than the faded tone gives. A seek
// past the end, and a loop that is too short or reversed, are refused on the status line.
TEST(ConsolePracticeTest, SeekKeysPlayingAndPausedWithoutClicks)
{
    const auto Tone = SignalFile("practice-seek.wav", 12.0, 440.0);
    Session Run(true);
    uint64_t ullAt = 0;
    StandsStill Paused;
    bool bChecked = false;
    const auto Near = [](uint64_t ullFrame, double dfSeconds)
    {
        const double dfTarget = dfSeconds * FILE_RATE;
        return static_cast<double>(ullFrame) >= dfTarget &&
               static_cast<double>(ullFrame) < dfTarget + 0.4 * FILE_RATE;
    };
    // Seeks count from the place heard, which the player's session tells each turn.
    uint64_t ullHeard = 0;
    Run.Player.SetObserver([](void* pContext, ConsoleDialogHost&, const PlaybackSession& Heard)
                           { *static_cast<uint64_t*>(pContext) = Heard.GetHeardPosition(); },
                           &ullHeard);
    const auto Press = [&](ConsoleKey Key)
    {
        ullAt = ullHeard;
        return Key;
    };
    ScriptedKeys Keys({
        [&] { return Consumed() > FILE_RATE ? Press(ConsoleKey::SeekForward) : ConsoleKey::None; },
        AfterSeek(
            [&]
            {
                EXPECT_TRUE(Near(Consumed(), static_cast<double>(ullAt) / FILE_RATE + 5.0)) << Consumed();
                return Press(ConsoleKey::SeekBackFar);
            }),
        AfterSeek(
            [&]
            {
                EXPECT_TRUE(Near(Consumed(), 0.0)) << Consumed();
                return ConsoleKey::Jump5;
            }),
        // 30 s on would pass the end: refused, the place stays.
        AfterSeek([] { return ConsoleKey::SeekForwardFar; }),
        AfterSeek(
            [&]
            {
                EXPECT_TRUE(bChecked || Near(Consumed(), 6.0)) << Consumed();
                bChecked = true;
                return Consumed() > 7 * FILE_RATE ? ConsoleKey::PauseOrResume : ConsoleKey::None;
            }),
        [&] { return Paused() ? Press(ConsoleKey::SeekBack) : ConsoleKey::None; },
        // Taken while paused, to the frame.
        AfterSeek(
            [&]
            {
                EXPECT_EQ(Consumed(), ullAt - 5 * FILE_RATE);
                return Press(ConsoleKey::PauseOrResume);
            }),
        [&] { return Consumed() > ullAt + FILE_RATE / 2 ? Press(ConsoleKey::LoopStart) : ConsoleKey::None; },
        [&] { return Consumed() > ullAt + FILE_RATE / 10 ? ConsoleKey::LoopEnd : ConsoleKey::None; },
        [&] { return Consumed() > ullAt + FILE_RATE / 2 ? ConsoleKey::Jump0 : ConsoleKey::None; },
        [&] { return SeekTaken() && Consumed() > FILE_RATE / 10 ? ConsoleKey::LoopEnd : ConsoleKey::None; },
        [&] { return Consumed() > FILE_RATE / 2 ? ConsoleKey::Quit : ConsoleKey::None; },
    });
    EXPECT_EQ(Run.Player.Run(ConsolePlayer::Options(), Utf8(Tone), Keys), ConsolePlayer::EXIT_DONE)
        << Run.Messages.str();
    EXPECT_EQ(Keys.uiNext, 12u);
    const std::string Lines = Run.Status.str();
    EXPECT_NE(Lines.find("-20.0 dB そこまで進めません: ファイルは 0:12.0 で終わります"), std::string::npos)
        << Lines;
    EXPECT_NE(Lines.find("-20.0 dB ループできません: 0.5 秒より短い"), std::string::npos) << Lines;
    EXPECT_NE(Lines.find("-20.0 dB ループできません: B は A より後に"), std::string::npos) << Lines;
    EXPECT_EQ(Lines.find(" B 0:"), std::string::npos) << Lines;

    const std::vector<double> Played = Run.Output.Played();
    ASSERT_GT(Played.size(), 2u * DEVICE_RATE);
    // The tone's own largest step at -20 dB, and what a fade over one period adds to it.
    const double dfAmplitude = 0.05;
    const double dfSteady = dfAmplitude * 2.0 * std::numbers::pi * 440.0 / DEVICE_RATE;
    const double dfFaded = dfSteady + dfAmplitude * std::numbers::pi / (2.0 * FADE);
    EXPECT_LE(LargestStep(Played, 0, Played.size()), dfFaded * 1.02);
    EXPECT_GE(LargestStep(Played, 0, Played.size()), dfSteady * 0.98);
}

// A loop from 1.0 s to 1.5 s: the passage plays again and again, each repetition the same as the
// one before (to the quantiser's last bit), with no gap at a seam longer than the fade.
TEST(ConsolePracticeTest, LoopRepeatsThePassage)
{
    const LoopRun Run = PlayLoop(SignalFile("practice-loop.wav", 3.0, 0.0), {"--loop", "1-1.5"}, 10);
    EXPECT_NE(Run.Status.find(" -20.0 dB A 0:01.0 B 0:01.5 1 回目 "), std::string::npos) << Run.Status;
    const std::vector<double>& Played = Run.Played;
    std::vector<size_t> Gaps;
    const std::vector<size_t> Starts = RepetitionStarts(Played, 1e-3, Gaps);
    // Whole: half a second of the file at the device rate and the converter's drained tail. (A
    // real-time device starved on a loaded machine cuts one short; that is no fault of the loop.)
    const auto Whole = [&](size_t r)
    {
        const size_t ullLength = Starts[r + 1] - Starts[r];
        return ullLength >= DEVICE_RATE / 2 && ullLength <= DEVICE_RATE / 2 + FADE;
    };
    uint32_t uiCompared = 0;
    for (size_t r = 1; r + 2 < Starts.size(); ++r)
    {
        if (!Whole(r) || !Whole(r + 1))
        {
            continue;
        }
        const size_t ullLength = Starts[r + 1] - Starts[r];
        EXPECT_EQ(Starts[r + 2] - Starts[r + 1], ullLength) << r;
        EXPECT_LE(Gaps[r + 1], FADE) << r;
        double dfLargest = 0.0;
        for (size_t i = 0; i < ullLength; ++i)
        {
            dfLargest = std::max(dfLargest, std::fabs(Played[Starts[r] + i] - Played[Starts[r + 1] + i]));
        }
        EXPECT_LE(dfLargest, 2.5 / 8388608.0) << r;
        ++uiCompared;
    }
    EXPECT_GE(uiCompared, 4u);
}

// The trainer with a loop of 0.5 s, from x0.75 (slider step 70), 10 steps faster after every two
// repetitions until x1: repetitions 1-2 at step 70, 3-4 at 80 ... then 120 for good. Each change
// glides in at the seam.
TEST(ConsolePracticeTest, TrainerSpeedsUpEveryTwoRepetitions)
{
    const ScopedPlayerLanguage English(PlayerLanguage::English);
    // Eighteen passes leave the target several repetitions even when a starved device cuts some.
    const LoopRun Run = PlayLoop(SignalFile("practice-train.wav", 2.0, 1000.0),
                                 {"--loop", "1-1.5", "--speed", "0.75", "--train", "10/2:1.0"}, 18);
    EXPECT_NE(Run.Status.find(" A 0:01.0 B 0:01.5 rep 1 next x0.79 "), std::string::npos) << Run.Status;
    const std::vector<double>& Played = Run.Played;
    std::vector<size_t> Gaps;
    const std::vector<size_t> Starts = RepetitionStarts(Played, 1e-3, Gaps);
    // The repetitions' speeds in order; pieces shorter than 0.4 s are what a device starved on a
    // loaded machine cuts off, not repetitions.
    std::vector<double> Speeds;
    for (size_t r = 0; r + 1 < Starts.size(); ++r)
    {
        const size_t ullLength = Starts[r + 1] - Starts[r];
        if (ullLength >= DEVICE_RATE * 4 / 10)
        {
            Speeds.push_back(Frequency(Played.data() + Starts[r] + ullLength / 10, ullLength * 8 / 10) /
                             1000.0);
        }
    }
    // A starved device may also cut a repetition into pieces too short to count, so the test
    // follows the levels rather than the indices: every repetition is at one of the trainer's
    // steps, the steps never go down, a step below the target lasts at most two repetitions, most
    // of those it is seen at last exactly two, and the target holds from then on.
    ASSERT_GE(Speeds.size(), 11u);
    const int32_t iFirst = 70;
    const int32_t iLast = 120;
    std::vector<uint32_t> Counts((iLast - iFirst) / 10 + 1, 0);
    size_t ullPreviousLevel = 0;
    for (size_t r = 0; r < Speeds.size(); ++r)
    {
        size_t ullLevel = Counts.size();
        for (size_t l = 0; l < Counts.size(); ++l)
        {
            const double dfLevel = PlayerScales::SpeedOfPosition(iFirst + 10 * static_cast<int32_t>(l));
            if (std::fabs(Speeds[r] - dfLevel) <= dfLevel * 0.001)
            {
                ullLevel = l;
            }
        }
        ASSERT_LT(ullLevel, Counts.size()) << "repetition " << r + 1 << " at x" << Speeds[r];
        EXPECT_GE(ullLevel, ullPreviousLevel) << "repetition " << r + 1;
        ullPreviousLevel = ullLevel;
        ++Counts[ullLevel];
    }
    EXPECT_NEAR(Speeds.front(), PlayerScales::SpeedOfPosition(iFirst), 0.001);
    uint32_t uiPairs = 0;
    for (size_t l = 0; l + 1 < Counts.size(); ++l)
    {
        EXPECT_LE(Counts[l], 2u) << "step " << l;
        uiPairs += Counts[l] == 2 ? 1 : 0;
    }
    EXPECT_GE(uiPairs, 3u);
    EXPECT_GE(Counts.back(), 2u);
    EXPECT_NEAR(Speeds.back(), 1.0, 0.001);
}

// The practice options: times as seconds or m:ss.s; loops too short, reversed or beyond the file,
// and trainers that would slow down or have numbers out of range, are refused with the reason.
TEST(ConsolePracticeTest, PracticeOptionsAndTheirRefusals)
{
    ConsolePlayer::Options Given;
    std::string Problem;
    ASSERT_TRUE(ConsolePlayer::ParseOptions(
        {"--loop", "0:12-0:19.5", "--from", "1:02.5", "--train", "2/3:1.2"}, Given, Problem))
        << Problem;
    EXPECT_EQ(Given.dfLoopStart, 12.0);
    EXPECT_EQ(Given.dfLoopEnd, 19.5);
    EXPECT_EQ(Given.dfFrom, 62.5);
    EXPECT_TRUE(Given.bTrainer);
    EXPECT_EQ(Given.Trainer.iSteps, 2);
    EXPECT_EQ(Given.Trainer.uiEvery, 3u);
    EXPECT_EQ(Given.Trainer.iUntilPosition, 152);
    // Hours, minutes and seconds wherever minutes and seconds are taken.
    Given = Parsed({"--loop", "59:59.5-1:00:01", "--from", "1:12:30.5"});
    EXPECT_EQ(std::tuple(Given.dfLoopStart, Given.dfLoopEnd, Given.dfFrom),
              std::tuple(3599.5, 3601.0, 4350.5));
    EXPECT_EQ(Parsed({"--from", "0:00:07"}).dfFrom, 7.0);
    EXPECT_FALSE(Given.bKeepPitch);
    EXPECT_TRUE(Parsed({"--keep-pitch"}).bKeepPitch);

    const struct
    {
        std::vector<std::string> Arguments;
        const char* pReason;
    } CASES[] = {
        {{"--loop", "5-3"}, "--loop 5-3: the end must come after the start"},
        {{"--loop", "1-1.4"}, "--loop 1-1.4: a loop must last at least 0.5 s"},
        {{"--loop", "7"}, "--loop needs two times A-B"},
        {{"--loop", "1:61-2:00"}, "--loop needs a time of the file in seconds (72.5) or minutes and seconds"},
        {{"--from", "-1"}, "--from needs a time"},
        {{"--from", "1:60:00"},
         "--from needs a time of the file in seconds (72.5) or minutes and seconds "
         "(1:12.5), with hours before them from an hour on (1:12:30.5), not '1:60:00'"},
        {{"--from", "1:12:60"}, "--from needs a time"},
        {{"--from", "1:00:00:00"}, "--from needs a time"},
        {{"--from", "1::30"}, "--from needs a time"},
        {{"--loop", "1:00:00-1:00:00.4"}, "--loop 1:00:00-1:00:00.4: a loop must last at least 0.5 s"},
        {{"--train", "10/2:0.6", "--speed", "0.75"},
         "--train would slow down: its target x0.6015 is below the start speed x0.7492"},
        {{"--train", "0/2:1.0"}, "--train needs STEPS/EVERY:UNTIL"},
        {{"--train", "2/0:1.0"}, "--train needs STEPS/EVERY:UNTIL"},
        {{"--train", "2/3:3"}, "--train needs STEPS/EVERY:UNTIL"},
        {{"--train", "2:3/1"}, "--train needs STEPS/EVERY:UNTIL"},
        {{"--run-up", "10.5"}, "--run-up needs seconds from 0 to 10, or that and :every, not '10.5'"},
        {{"--run-up", "2:all"}, "--run-up needs seconds from 0 to 10, or that and :every, not '2:all'"},
    };
    for (const auto& Case : CASES)
    {
        CliRun::Refused("play", Case.Arguments, ConsolePlayer::EXIT_USAGE, Case.pReason);
    }

    // Times beyond the file are known once it is open; nothing plays.
    const auto Short = SignalFile("practice-short.wav", 2.0, 440.0);
    for (const auto& [Arguments, pReason] :
         {std::pair{std::vector<std::string>{"--loop", "1.5-2.5"},
                    "the loop's end 0:02.5 lies beyond the end of the file (0:02.0)"},
          std::pair{std::vector<std::string>{"--from", "0:03"},
                    "--from 0:03.0 lies beyond the end of the file"},
          std::pair{std::vector<std::string>{"--from", "1:12:30"},
                    "--from 1:12:30.0 lies beyond the end of the file (0:02.0)"}})
    {
        Session Run;
        ScriptedKeys Keys({});
        EXPECT_EQ(Run.Player.Run(Parsed(Arguments), Utf8(Short), Keys), ConsolePlayer::EXIT_USAGE);
        EXPECT_NE(Run.Messages.str().find(std::string("larkspur-cli play: ") + pReason), std::string::npos)
            << Run.Messages.str();
        EXPECT_EQ(Run.Output.pDevice->GetCallCount(VirtualOperation::Start), 0u);
        EXPECT_EQ(State().bPlaying, 0);
    }
}

namespace
{
// A mono 8 kHz tone of 480003 frames: 60.000375 s, which the file list shows as 60.000.
std::filesystem::path MinuteFile()
{
    constexpr uint32_t RATE = 8000;
    std::vector<double> Signal(480003);
    for (size_t n = 0; n < Signal.size(); ++n)
    {
        Signal[n] = 0.5 * std::sin(2.0 * std::numbers::pi * 440.0 * static_cast<double>(n) / RATE);
    }
    return TestFiles::Write("practice-minute.wav", WaveFileBuilder::PcmWave(Signal, 1, RATE, 16));
}

// The in-place status lines drawn so far, one per redraw.
std::vector<std::string> Redraws(const std::string& Status)
{
    std::vector<std::string> Lines;
    for (size_t ullAt = Status.find('\r'); ullAt != std::string::npos;)
    {
        const size_t ullNext = Status.find('\r', ullAt + 1);
        Lines.push_back(
            Status.substr(ullAt + 1, ullNext == std::string::npos ? std::string::npos : ullNext - ullAt - 1));
        ullAt = ullNext;
    }
    return Lines;
}
} // namespace

// After a jump the status line shows the target, not the tenth before it: 2, 3, 6, 9 while paused
// give 0:12.0, 0:18.0, 0:36.0, 0:54.0 of a minute's file, and . twice from 0:00 gives 0:10.0.
TEST(ConsolePracticeTest, PositionsAfterJumpsShowTheTarget)
{
    const auto Minute = MinuteFile();
    Session Run(true);
    StandsStill Paused;
    // Each jump once the one before it was taken and drawn.
    int iTurns = 0;
    const auto Then = [&](ConsoleKey Key)
    { return AfterSeek([&iTurns, Key] { return ++iTurns < 15 ? ConsoleKey::None : (iTurns = 0, Key); }); };
    ScriptedKeys Keys({
        [&] { return Consumed() > 4000 ? ConsoleKey::PauseOrResume : ConsoleKey::None; },
        [&] { return Paused() ? ConsoleKey::Jump2 : ConsoleKey::None; },
        Then(ConsoleKey::Jump3),
        Then(ConsoleKey::Jump6),
        Then(ConsoleKey::Jump9),
        Then(ConsoleKey::Jump0),
        Then(ConsoleKey::SeekForward),
        Then(ConsoleKey::SeekForward),
        Then(ConsoleKey::Quit),
    });
    ASSERT_EQ(Run.Player.Run(ConsolePlayer::Options(), Utf8(Minute), Keys), ConsolePlayer::EXIT_DONE)
        << Run.Messages.str();
    EXPECT_EQ(Keys.uiNext, 9u);
    const std::vector<std::string> Lines = Redraws(Run.Status.str());
    // The places shown while paused, each once, in order.
    std::vector<std::string> Places;
    for (const std::string& Line : Lines)
    {
        if (Line.find("一時停止") != std::string::npos &&
            (Places.empty() || Line.compare(0, 7, Places.back()) != 0))
        {
            Places.push_back(Line.substr(0, 7));
        }
    }
    ASSERT_GE(Places.size(), 7u) << Run.Status.str();
    EXPECT_EQ(std::vector<std::string>(Places.end() - 7, Places.end()),
              (std::vector<std::string>{"00:12.0", "00:18.0", "00:36.0", "00:54.0", "00:00.0", "00:05.0",
                                        "00:10.0"}))
        << Run.Status.str();
    EXPECT_NE(Lines.back().find("00:10.0 / 01:00.0 [###"), std::string::npos) << Lines.back();
}

// --from shows its place from the very first status line on (not 00:00.0 until the first tick).
TEST(ConsolePracticeTest, FromShowsItsPlaceInTheFirstLine)
{
    const auto Minute = MinuteFile();
    Session Run;
    ScriptedKeys Keys({[] { return ConsoleKey::Quit; }});
    ASSERT_EQ(Run.Player.Run(Parsed({"--from", "0:30"}), Utf8(Minute), Keys), ConsolePlayer::EXIT_DONE)
        << Run.Messages.str();
    const std::string Lines = Run.Status.str();
    // At most what the converter took ahead of the device in the moment after Play.
    EXPECT_EQ(Lines.rfind("00:30.", 0), 0u) << Lines;
    EXPECT_EQ(Lines.find("00:00.0"), std::string::npos) << Lines;
}

// A notice gives way at once to the next key's result: after a refused loop, a new start mark
// shows on the next redraw, not when the notice's time is up. And no notice outlives the program:
// the last line, drawn when the file ended by itself, shows where playback ended.
TEST(ConsolePracticeTest, NoticesGiveWayToTheNextKeyAndEndWithThePlayback)
{
    const auto Tone = SignalFile("practice-notice.wav", 3.0, 440.0);
    Session Run(true);
    size_t ullMarkedAt = std::string::npos;
    int iTurns = 0;
    bool bMarkShown = false;
    uint64_t ullStart = 0;
    ScriptedKeys Keys({
        [&]
        {
            ullStart = Consumed();
            return ullStart > FILE_RATE / 2 ? ConsoleKey::LoopStart : ConsoleKey::None;
        },
        // Less than the shortest loop after the start.
        [&] { return Consumed() > ullStart + FILE_RATE / 20 ? ConsoleKey::LoopEnd : ConsoleKey::None; },
        [&]
        {
            // The refusal is on the line; then a new start.
            if (Run.Status.str().find("ループできません: 0.5 秒より短い") == std::string::npos)
            {
                return ConsoleKey::None;
            }
            ullMarkedAt = Run.Status.str().size();
            return ConsoleKey::LoopStart;
        },
        [&]
        {
            // Within a few redraws, far less than the notice's time.
            const std::string Now = Run.Status.str();
            bMarkShown = Now.find(" -20.0 dB A 0:0", ullMarkedAt) != std::string::npos;
            return bMarkShown || ++iTurns > 50 ? ConsoleKey::SeekForwardFar : ConsoleKey::None;
        },
    });
    ASSERT_EQ(Run.Player.Run(ConsolePlayer::Options(), Utf8(Tone), Keys), ConsolePlayer::EXIT_DONE)
        << Run.Messages.str();
    EXPECT_EQ(Keys.uiNext, 4u);
    EXPECT_TRUE(bMarkShown) << Run.Status.str();
    const std::string Lines = Run.Status.str();
    // 30 s on was refused with a notice, and the file ended within the notice's time.
    EXPECT_NE(Lines.find("そこまで進めません: ファイルは 0:03.0 で終わります"), std::string::npos) << Lines;
    const std::string Last = Redraws(Lines).back();
    EXPECT_EQ(Last.find("そこまで進めません"), std::string::npos) << Last;
    EXPECT_NE(Last.find("00:03.0 / 00:03.0 [####################] x1.0000 -20.0 dB A 0:0"), std::string::npos)
        << Last;
    EXPECT_EQ(Last.substr(Last.size() - std::string("停止\x1b[K\n").size()), "停止\x1b[K\n") << Last;
}

// A second run of the same file finds it as the first left it (loop nudged, run-up, marker, speed);
// --fresh neither uses nor overwrites it; ? shows the keys until the next key.
TEST(ConsolePracticeTest, TheSecondRunFindsTheFileAsLeftUnlessFresh)
{
    const auto Tone = SignalFile("kept-tone.wav", 4.0, 440.0);
    const std::filesystem::path Folder = TestFiles::PathFor("kept-console");
    const auto Play = [&](std::vector<std::string> Arguments, std::vector<std::function<ConsoleKey()>> Steps)
    {
        Session Run(true);
        ConsolePlayer::Options Chosen = Parsed(Arguments);
        Chosen.bRemember = true;
        Chosen.StateFolder = TestFiles::Wide(Folder);
        ScriptedKeys Keys(std::move(Steps));
        EXPECT_EQ(Run.Player.Run(Chosen, Utf8(Tone), Keys), ConsolePlayer::EXIT_DONE) << Run.Messages.str();
        return Redraws(Run.Status.str()).back();
    };
    int iTurns = 0;
    const std::string First =
        Play({"--loop", "1-2", "--run-up", "0.5:every", "--speed", "0.9"},
             {[] { return ConsoleKey::MarkerAdd; }, [] { return ConsoleKey::Help; },
              [] { return ConsoleKey::NudgeStartLaterFar; }, [] { return ConsoleKey::NudgeStartLaterFar; },
              [&] { return ++iTurns > 20 ? ConsoleKey::Quit : ConsoleKey::None; }});
    // The key after ? only took the key list away: one nudge of two moved A.
    EXPECT_NE(First.find("A 0:01.1 B 0:02.0"), std::string::npos) << First;
    const std::string Second = Play({}, {[] { return ConsoleKey::Quit; }});
    EXPECT_NE(Second.find("x0.9013"), std::string::npos) << Second;
    EXPECT_NE(Second.find("A 0:01.1 B 0:02.0 1 回目 up 0.5s every M1/1"), std::string::npos) << Second;
    std::vector<std::filesystem::path> Entries;
    for (const auto& Entry : std::filesystem::directory_iterator(Folder))
    {
        Entries.push_back(Entry.path());
    }
    ASSERT_EQ(Entries.size(), 1u);
    const std::vector<uint8_t> Kept = TestFiles::Read(Entries[0]);
    const std::string Fresh =
        Play({"--fresh"}, {[] { return ConsoleKey::LoopStart; }, [] { return ConsoleKey::Quit; }});
    EXPECT_EQ(Fresh.find("B 0:02.0"), std::string::npos) << Fresh;
    EXPECT_NE(Fresh.find("x1.0000"), std::string::npos) << Fresh;
    EXPECT_EQ(TestFiles::Read(Entries[0]), Kept);
}
