#include "app/dialog/DialogControlIds.h"
#include "app/dialog/PlayerTexts.h"
#include "app/player/PlayerScales.h"
#include "conversion/ParameterSmoother.h"
#include "conversion/SamplingFrequencyConverter.h"
#include "output/CSoundStreamWASAPI.h"
#include "runtime/CMultiThreadWin.h"
#include "soundbuffer/IntelligentSoundBuffer.h"
#include "tests/common/ChainSignals.h"
#include "tests/common/TestFiles.h"
#include "tests/dialog/PlayerRig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

using namespace DialogControlIds;

// The controller on the recording host and the virtual device: the device ladder, the bit-count
// field, speed and volume, pause, stop and close, the end of the file, every start failure, and a
// device that fails or hangs.

namespace
{
using Clock = std::chrono::steady_clock;

// The attempts of the ladder as the device saw them: share mode and rate, one entry per SetupDevice
// (each probes 32, 24 and 16 bits until one is accepted).
std::vector<std::pair<uint32_t, uint32_t>> Attempts(const VirtualAudioDevice& Device)
{
    std::vector<std::pair<uint32_t, uint32_t>> Result;
    int32_t bLastAccepted = 1;
    for (const VirtualFormatProbe& Probe : Device.GetProbes())
    {
        const std::pair<uint32_t, uint32_t> Attempt{Probe.uiShareMode, Probe.Format.nSamplesPerSec};
        if (Result.empty() || Result.back() != Attempt || bLastAccepted != 0 ||
            Probe.Format.wBitsPerSample == 32)
        {
            Result.push_back(Attempt);
        }
        bLastAccepted = Probe.iResult >= 0 ? 1 : 0;
    }
    return Result;
}

constexpr uint32_t EXCLUSIVE = AUDIO_SHAREMODE_EXCLUSIVE;
constexpr uint32_t SHARED = AUDIO_SHAREMODE_SHARED;

bool NoThreadRuns(PlayerState& State)
{
    const bool bPlaybackIdle =
        State.pPlaybackThread == nullptr || (State.pPlaybackThread->GetState() != THREAD_STATE_RUNNING &&
                                             State.pPlaybackThread->GetState() != THREAD_STATE_STOPPING);
    const bool bRenderIdle = State.pSoundStream == nullptr ||
                             (State.pSoundStream->GetWorker().GetState() != THREAD_STATE_RUNNING &&
                              State.pSoundStream->GetWorker().GetState() != THREAD_STATE_STOPPING);
    return bPlaybackIdle && bRenderIdle;
}

// Fires the progress timer every millisecond until it stops; false when it still runs after 10 s.
bool FireUntilStopped(RecordingDialogHost& Host)
{
    Clock::duration Longest{};
    return Host.FireTimerUntilStopped(std::chrono::seconds(10), Longest);
}

// Moves the device's clock by ullFrames uiTimes over, each time waiting until the render thread has
// refilled what was played; false when a refill did not come.
bool AdvanceAndWaitForRefills(VirtualAudioDevice& Device, uint64_t ullFrames, uint32_t uiTimes)
{
    for (uint32_t i = 0; i < uiTimes; ++i)
    {
        const uint64_t ullWritten = Device.GetStreamState().ullWrittenFrames;
        Device.Advance(ullFrames);
        if (!Device.WaitForWrittenFrames(ullWritten + ullFrames, 30000))
        {
            return false;
        }
    }
    return true;
}

// How long Action took, in milliseconds.
int64_t MillisecondsTaken(const std::function<void()>& Action)
{
    const auto Begin = Clock::now();
    Action();
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - Begin).count();
}
} // namespace

TEST(PlaybackController, TheLadderFallsBackToSharedModeBelowTheMaximum)
{
    PlayerRig Rig;
    Rig.pDevice->AcceptFormat(SHARED, 48000, 16);
    Rig.pDevice->UseRealTimeClock(1);
    RecordingDialogHost& Host = Rig.Host;
    ASSERT_TRUE(Rig.OpenAndPlayTone("ladder-one.wav", 44100));

    std::vector<std::pair<uint32_t, uint32_t>> Expected;
    for (const uint32_t uiRate :
         {96000u, 88200u, 48000u, 44100u, 32000u, 24000u, 22050u, 16000u, 12000u, 11025u, 9600u, 8000u})
    {
        Expected.push_back({EXCLUSIVE, uiRate});
    }
    for (const uint32_t uiRate : {96000u, 88200u, 48000u})
    {
        Expected.push_back({SHARED, uiRate});
    }
    EXPECT_EQ(Attempts(*Rig.pDevice), Expected);
    EXPECT_EQ(Rig.State.dfDeviceSamplingFrequency, 48000.0);
    EXPECT_EQ(Rig.State.uiRateIndex, 8u);
    EXPECT_EQ(Host.SelectedText(ID_RATE_COMBO), u"48 kHz");
    EXPECT_EQ(Host.Cell(ID_DEVICE_LIST, 0, 1), u"48000");
    EXPECT_EQ(Host.Cell(ID_DEVICE_LIST, 1, 1), u"16");
    EXPECT_EQ(Host.Cell(ID_DEVICE_LIST, 2, 1), u"共有モード");
    // The same, typed, for front ends that show it their own way.
    const PlaybackEngine::StartReport& Report = Rig.pEntry->GetController().GetLastStartReport();
    EXPECT_EQ(Report.FailedStep, PlaybackEngine::StartStep::None);
    EXPECT_EQ(Report.uiRateIndex, 10u);
    EXPECT_EQ(Report.dfDeviceRate, 48000.0);
    EXPECT_EQ(Report.uiDeviceBits, 16u);
    EXPECT_EQ(Report.bShared, 1);
    EXPECT_TRUE(Host.Messages().empty());

    Host.Click(ID_STOP);
    EXPECT_EQ(Host.SelectedText(ID_RATE_COMBO), u"96 kHz");
    for (int32_t i = 0; i < 3; ++i)
    {
        EXPECT_EQ(Host.Cell(ID_DEVICE_LIST, i, 1), u"") << i;
    }
}

TEST(PlaybackController, TheLadderWalksUpwardWhenNothingAtOrBelowTheMaximumWorks)
{
    PlayerRig Rig;
    Rig.pDevice->AcceptFormat(EXCLUSIVE, 48000, 24);
    Rig.pDevice->AcceptFormat(EXCLUSIVE, 96000, 24);
    Rig.pDevice->UseRealTimeClock(1);
    RecordingDialogHost& Host = Rig.Host;
    Host.Open();
    Rig.ChooseToneFile("ladder-two.wav", 44100);
    Host.SelectEntry(ID_RATE_COMBO, 0); // 8 kHz
    Host.Click(ID_PLAY);
    ASSERT_EQ(Rig.State.bPlaying, 1);

    std::vector<std::pair<uint32_t, uint32_t>> Expected = {{EXCLUSIVE, 8000}, {SHARED, 8000}};
    for (const uint32_t uiRate :
         {8000u, 9600u, 11025u, 12000u, 16000u, 22050u, 24000u, 32000u, 44100u, 48000u})
    {
        Expected.push_back({EXCLUSIVE, uiRate});
    }
    EXPECT_EQ(Attempts(*Rig.pDevice), Expected);
    EXPECT_EQ(Rig.State.uiRateIndex, 19u);
    EXPECT_EQ(Host.SelectedText(ID_RATE_COMBO), u"48 kHz");
    EXPECT_EQ(Host.Cell(ID_DEVICE_LIST, 0, 1), u"48000");
    EXPECT_EQ(Host.Cell(ID_DEVICE_LIST, 1, 1), u"24");
    EXPECT_EQ(Host.Cell(ID_DEVICE_LIST, 2, 1), u"排他モード");
    Host.Click(ID_STOP);
    EXPECT_EQ(Host.SelectedText(ID_RATE_COMBO), u"8 kHz");
}

TEST(PlaybackController, ADeviceRefusingEverythingTakesFortyTwoAttemptsAndOneMessage)
{
    PlayerRig Rig;
    RecordingDialogHost& Host = Rig.Host;
    Host.Open();
    Rig.ChooseToneFile("ladder-none.wav", 4410);
    Host.Click(ID_PLAY);
    const auto Tried = Attempts(*Rig.pDevice);
    EXPECT_EQ(Tried.size(), 42u);
    ASSERT_EQ(Host.Messages().size(), 1u);
    EXPECT_EQ(Host.Messages()[0].Text, u"出力先のオーディオデバイスを初期化できませんでした。");
    EXPECT_EQ(Host.Messages()[0].Caption, u"エラー");
    EXPECT_EQ(Rig.State.bPlaying, 0);
    EXPECT_TRUE(Host.IsEnabled(ID_PLAY));
}

TEST(PlaybackController, TheBitCountFieldIsCorrectedAndShowsTheDeviceWidthWhilePlaying)
{
    // Corrections, shown before the device is opened (this device refuses everything).
    const std::pair<std::u16string, std::u16string> Corrections[] = {
        {u"0", u"1"}, {u"40", u"32"}, {u"ab", u"32"}, {u"", u"32"}, {u"4294967296", u"32"}, {u"12", u"12"}};
    for (const auto& [Typed, Shown] : Corrections)
    {
        PlayerRig Rig;
        Rig.Host.Open();
        Rig.ChooseToneFile("bits-refused.wav", 4410);
        Rig.Host.TypeText(ID_BIT_FIELD, Typed);
        Rig.Host.Click(ID_PLAY);
        EXPECT_EQ(Rig.Host.GetItemText(ID_BIT_FIELD), Shown) << std::string(Typed.begin(), Typed.end());
        EXPECT_EQ(Rig.State.uiEffectiveBitCount, std::stoul(std::string(Shown.begin(), Shown.end())));
    }

    // 24 on a 16-bit device: 16 while playing, 24 again after Stop.
    {
        PlayerRig Rig;
        Rig.pDevice->AcceptFormat(EXCLUSIVE, 96000, 16);
        Rig.pDevice->UseRealTimeClock(1);
        ASSERT_TRUE(Rig.OpenAndPlayTone("bits-16.wav", 44100));
        EXPECT_EQ(Rig.Host.GetItemText(ID_BIT_FIELD), u"16");
        EXPECT_EQ(Rig.State.uiEffectiveBitCount, 24u);
        EXPECT_EQ(Rig.State.pSoundStream->GetQuantizer().GetLogicalBitCount(), 16u);
        Rig.Host.Click(ID_STOP);
        EXPECT_EQ(Rig.Host.GetItemText(ID_BIT_FIELD), u"24");
    }

    // 1 is kept and shown, but the stream uses its own width; 12 is handed on.
    for (const auto& [Typed, uiQuantizerBits] : {std::pair<std::u16string, uint32_t>{u"1", 24}, {u"12", 12}})
    {
        PlayerRig Rig;
        Rig.pDevice->AcceptFormat(EXCLUSIVE, 96000, 24);
        Rig.pDevice->UseRealTimeClock(1);
        Rig.Host.Open();
        Rig.ChooseToneFile("bits-one.wav", 44100);
        Rig.Host.TypeText(ID_BIT_FIELD, Typed);
        Rig.Host.Click(ID_PLAY);
        ASSERT_EQ(Rig.State.bPlaying, 1);
        EXPECT_EQ(Rig.Host.GetItemText(ID_BIT_FIELD), Typed);
        EXPECT_EQ(Rig.State.pSoundStream->GetQuantizer().GetLogicalBitCount(), uiQuantizerBits);
        Rig.Host.Click(ID_STOP);
    }
}

// A start that fails once the ladder has found a device leaves the rate combo, the device list and
// the bit-count field as the start showed them (the device's rate, mode and width), and the next Play
// reads those settings; only a stop after a successful start puts the user's back.
TEST(PlaybackController, AStartFailingAfterTheLadderLeavesWhatItShowedForTheNextPlay)
{
    const struct
    {
        const char* pName;
        std::function<void(PlayerRig&, bool)> Fail;
        std::u16string Text;
    } Cases[] = {
        {"prepare", [](PlayerRig& Rig, bool bFail) { Rig.Factory.bFailPrepareRender = bFail; },
         u"出力先のオーディオデバイスをアクティベートできませんでした。"},
        {"start",
         [](PlayerRig& Rig, bool bFail)
         {
             if (bFail)
             {
                 Rig.pDevice->FailAfter(VirtualOperation::Start, 0);
             }
             else
             {
                 Rig.pDevice->Heal(VirtualOperation::Start);
             }
         },
         u"出力先デバイスで問題が発生し、再生を開始できませんでした。"},
    };
    for (const auto& Case : Cases)
    {
        SCOPED_TRACE(Case.pName);
        PlayerRig Rig;
        Rig.pDevice->AcceptFormat(SHARED, 48000, 16); // 24 bits asked at most 96 kHz: 16 at 48 kHz
        Rig.pDevice->UseRealTimeClock(1);
        RecordingDialogHost& Host = Rig.Host;
        Host.Open();
        Rig.ChooseToneFile("failed-late.wav", 44100);
        Case.Fail(Rig, true);
        Host.Click(ID_PLAY);
        ASSERT_EQ(Host.Messages().size(), 1u);
        EXPECT_EQ(Host.Messages()[0].Text, Case.Text);
        EXPECT_EQ(Rig.State.bPlaying, 0);
        EXPECT_TRUE(NoThreadRuns(Rig.State));
        EXPECT_EQ(Rig.pDevice->GetStreamState().bOpen, 0);
        EXPECT_EQ(Host.SelectedText(ID_RATE_COMBO), u"48 kHz");
        EXPECT_EQ(Host.Cell(ID_DEVICE_LIST, 0, 1), u"48000");
        EXPECT_EQ(Host.Cell(ID_DEVICE_LIST, 1, 1), u"16");
        EXPECT_EQ(Host.Cell(ID_DEVICE_LIST, 2, 1), u"共有モード");
        EXPECT_EQ(Host.GetItemText(ID_BIT_FIELD), u"16");
        EXPECT_EQ(Rig.State.uiRateIndex, 8u);
        EXPECT_EQ(Rig.State.uiEffectiveBitCount, 24u);

        // The next Play starts its ladder at 48 kHz with 16 bits.
        Case.Fail(Rig, false);
        const size_t ullProbes = Rig.pDevice->GetProbes().size();
        Host.Click(ID_PLAY);
        ASSERT_EQ(Rig.State.bPlaying, 1);
        EXPECT_EQ(Rig.State.uiRateIndex, 10u);
        EXPECT_EQ(Rig.State.uiEffectiveBitCount, 16u);
        ASSERT_GT(Rig.pDevice->GetProbes().size(), ullProbes);
        EXPECT_EQ(Rig.pDevice->GetProbes()[ullProbes].Format.nSamplesPerSec, 48000u);
        Host.Click(ID_STOP);
        EXPECT_EQ(Host.SelectedText(ID_RATE_COMBO), u"48 kHz");
        EXPECT_EQ(Host.GetItemText(ID_BIT_FIELD), u"16");
    }
}

TEST(PlaybackController, SpeedAndVolumePositionsGiveOutputRateAndGain)
{
    PlayerRig Rig;
    Rig.pDevice->AcceptFormat(EXCLUSIVE, 48000, 24);
    Rig.pDevice->UseRealTimeClock(1);
    RecordingDialogHost& Host = Rig.Host;
    Host.Open();
    Rig.ChooseToneFile("speed.wav", 44100);

    // Before the first device set-up a volume change is a ramp of one step: the frame after the next
    // has the new gain, none between.
    double dfPrevious = 0.1;
    for (const auto& [iPosition, dfGain] : {std::pair<int32_t, double>{0, 1.0}, {800, 0.0001}})
    {
        Host.MoveSlider(ID_VOLUME_SLIDER, iPosition);
        double dfNext[3] = {};
        for (double& dfValue : dfNext)
        {
            ASSERT_EQ(Rig.State.pVolume->Next(dfValue), 1);
        }
        EXPECT_EQ(dfNext[0], dfPrevious) << iPosition;
        EXPECT_NEAR(dfNext[1], dfGain, 1e-15) << iPosition;
        EXPECT_EQ(dfNext[2], dfNext[1]) << iPosition;
        dfPrevious = dfNext[1];
    }
    Host.MoveSlider(ID_VOLUME_SLIDER, 200);

    const std::pair<int32_t, double> Speeds[] = {
        {0, 96000.0}, {120, 48000.0}, {240, 24000.0}, {280, 48000.0 / std::pow(2.0, 4.0 / 3.0)}};
    const std::u16string Labels[] = {u"x0.5000", u"x1.0000", u"x2.0000", u"x2.5198"};

    // Read at the start (taken at once) ...
    for (size_t i = 0; i < 4; ++i)
    {
        Host.MoveSlider(ID_SPEED_SLIDER, Speeds[i].first);
        EXPECT_EQ(Host.GetItemText(ID_SPEED_LABEL), Labels[i]);
        Host.Click(ID_PLAY);
        ASSERT_EQ(Rig.State.bPlaying, 1);
        EXPECT_NEAR(LatestTarget(*Rig.State.pSamplingFrequencyConverter->pRateSmoother), Speeds[i].second,
                    1e-9 * Speeds[i].second)
            << Speeds[i].first;
        Host.Click(ID_STOP);
    }
    // ... and while playing (along a ramp).
    Host.MoveSlider(ID_SPEED_SLIDER, 120);
    Host.Click(ID_PLAY);
    ASSERT_EQ(Rig.State.bPlaying, 1);
    for (size_t i = 0; i < 4; ++i)
    {
        Host.MoveSlider(ID_SPEED_SLIDER, Speeds[i].first);
        EXPECT_NEAR(LatestTarget(*Rig.State.pSamplingFrequencyConverter->pRateSmoother), Speeds[i].second,
                    1e-9 * Speeds[i].second)
            << Speeds[i].first;
        EXPECT_EQ(Host.GetItemText(ID_SPEED_LABEL), Labels[i]);
    }

    // Volume: ramps over one device period (480 frames at 48 kHz).
    EXPECT_EQ(Rig.State.pVolume->GetDefaultSteps(), 480u);
    const std::tuple<int32_t, double, std::u16string> Volumes[] = {
        {0, 1.0, u"-0.0 dB"}, {200, 0.1, u"-20.0 dB"}, {800, 0.0001, u"-80.0 dB"}};
    for (const auto& [iPosition, dfGain, Label] : Volumes)
    {
        Host.MoveSlider(ID_VOLUME_SLIDER, iPosition);
        EXPECT_NEAR(LatestTarget(*Rig.State.pVolume), dfGain, 1e-12) << iPosition;
        EXPECT_EQ(Host.GetItemText(ID_VOLUME_LABEL), Label);
    }
    Host.Click(ID_STOP);
}

TEST(PlaybackController, PauseHoldsThePlaceAndPlayContinuesFromIt)
{
    PlayerRig Rig;
    Rig.pDevice->AcceptFormat(EXCLUSIVE, 48000, 24);
    RecordingDialogHost& Host = Rig.Host;
    ASSERT_TRUE(Rig.OpenAndPlayTone("pause.wav", 88200));
    ASSERT_TRUE(Rig.PlayPeriods(5));
    const SamplingFrequencyConverter* pConverter = Rig.State.pSamplingFrequencyConverter;

    Host.Click(ID_PAUSE);
    EXPECT_EQ(Rig.State.bPaused.load(), 1);
    // The device keeps running; once the sound buffer has run dry the thread is in its pause wait.
    const uint64_t P = Rig.State.pIntelligentSoundBuffer->ullPeriodFrames;
    ASSERT_TRUE(AdvanceAndWaitForRefills(*Rig.pDevice, P, 40));
    const uint64_t ullHeld = pConverter->ullConsumedFrames.load();
    EXPECT_GT(ullHeld, 0u);
    EXPECT_LT(ullHeld, 88200u);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    ASSERT_TRUE(AdvanceAndWaitForRefills(*Rig.pDevice, P, 5));
    EXPECT_EQ(pConverter->ullConsumedFrames.load(), ullHeld);

    // Play resumes the same objects from the same place.
    Host.Click(ID_PLAY);
    EXPECT_EQ(Rig.State.bPaused.load(), 0);
    EXPECT_EQ(Rig.State.pSamplingFrequencyConverter, pConverter);
    ASSERT_TRUE(Rig.PlayPeriods(5));
    EXPECT_GT(pConverter->ullConsumedFrames.load(), ullHeld);

    // Stop while paused ends the thread, which leaves its pause wait.
    Host.Click(ID_PAUSE);
    Host.Click(ID_STOP);
    EXPECT_EQ(Rig.State.bPaused.load(), 0);
    EXPECT_EQ(Rig.State.bPlaying, 0);
    EXPECT_TRUE(NoThreadRuns(Rig.State));
    EXPECT_EQ(Rig.pDevice->GetStreamState().bOpen, 0);
}

TEST(PlaybackController, ClosingWhilePlayingDrainsThenEndsTheDialog)
{
    PlayerRig Rig;
    Rig.pDevice->AcceptFormat(EXCLUSIVE, 48000, 24);
    Rig.pDevice->UseRealTimeClock(1);
    RecordingDialogHost& Host = Rig.Host;
    ASSERT_TRUE(Rig.OpenAndPlayTone("close.wav", 88200));
    // 128 input frames at 44.1 kHz, a 480-frame period and the 2880-frame device buffer at 48 kHz,
    // and the margin: 2.9 + 70 + 100 ms.
    const uint32_t uiDrain = Rig.pEntry->GetController().DrainMilliseconds();
    EXPECT_EQ(uiDrain, 173u);

    EXPECT_GE(MillisecondsTaken([&Host] { Host.Click(ID_CANCEL); }), static_cast<int64_t>(uiDrain) - 1);
    EXPECT_TRUE(Host.HasEnded());
    EXPECT_EQ(Host.EndResult(), 0);
    EXPECT_EQ(Rig.State.bPlaying, 0);
    EXPECT_TRUE(NoThreadRuns(Rig.State));
    EXPECT_EQ(Rig.pDevice->GetStreamState().bOpen, 0);
    const std::string Transcript = Host.TranscriptText();
    EXPECT_LT(Transcript.find("kill timer 0"), Transcript.find("end dialog with 0"));
}

TEST(PlaybackController, TheProgressBarReachesItsEndAndPlaybackStopsByItself)
{
    PlayerRig Rig;
    Rig.pDevice->AcceptFormat(EXCLUSIVE, 48000, 24);
    RecordingDialogHost& Host = Rig.Host;
    ASSERT_TRUE(Rig.OpenAndPlayTone("to-the-end.wav", 8820));
    int32_t iLastPosition = 0;
    bool bMonotonic = true;
    for (int32_t i = 0; i < 500 && Host.IsTimerRunning(); ++i)
    {
        ASSERT_TRUE(Rig.PlayPeriods(1));
        Host.FireTimer();
        const int32_t iPosition = Host.Item(ID_PROGRESS).iPosition;
        bMonotonic = bMonotonic && iPosition >= iLastPosition;
        iLastPosition = iPosition;
    }
    EXPECT_FALSE(Host.IsTimerRunning());
    EXPECT_TRUE(bMonotonic);
    EXPECT_EQ(iLastPosition, 2147483647);
    EXPECT_NE(Host.TranscriptText().find("command Stop sent"), std::string::npos);
    EXPECT_EQ(Rig.State.bPlaying, 0);
    EXPECT_TRUE(Host.IsEnabled(ID_PLAY));
    EXPECT_FALSE(Host.IsEnabled(ID_STOP));
    EXPECT_TRUE(Host.Messages().empty());
    EXPECT_TRUE(NoThreadRuns(Rig.State));
}

TEST(PlaybackController, EveryStartFailureShowsItsMessageAndLeavesNothingRunning)
{
    struct FailureCase
    {
        const char* pName;
        const char16_t* pArguments;
        std::function<void(PlayerRig&)> Arrange;
        std::u16string Text;
        std::u16string Caption;
        size_t ullMessages;
    };
    const std::u16string ERROR_CAPTION = u"エラー";
    const FailureCase Cases[] = {
        {"converter", u"200", [](PlayerRig&) {}, u"サンプリング周波数コンバータの初期化に失敗しました。",
         ERROR_CAPTION, 1},
        {"input buffer", nullptr, [](PlayerRig& Rig) { Rig.Factory.bFailInputBuffer = true; },
         u"入力バッファーの初期化に失敗しました。", ERROR_CAPTION, 1},
        {"output buffer", nullptr, [](PlayerRig& Rig) { Rig.Factory.bFailOutputBuffer = true; },
         u"出力バッファーの初期化に失敗しました。", ERROR_CAPTION, 1},
        {"thread", nullptr, [](PlayerRig& Rig) { Rig.Factory.bFailWorkerStart = true; },
         u"音再生スレッドの起動に失敗しました。", u"Error", 1},
        {"prepare", nullptr, [](PlayerRig& Rig) { Rig.Factory.bFailPrepareRender = true; },
         u"出力先のオーディオデバイスをアクティベートできませんでした。", ERROR_CAPTION, 1},
        {"start", nullptr, [](PlayerRig& Rig) { Rig.pDevice->FailAfter(VirtualOperation::Start, 0); },
         u"出力先デバイスで問題が発生し、再生を開始できませんでした。", ERROR_CAPTION, 1},
        // Internal failures of an attempt show once per attempt, then the ladder gives up.
        {"sound buffer", nullptr, [](PlayerRig& Rig) { Rig.Factory.bFailSoundBufferInitialize = true; },
         u"リアルタイムオーディオバッファーの初期化中に問題が発生しました。", ERROR_CAPTION, 43},
        {"capacity limit", nullptr, [](PlayerRig& Rig) { Rig.Factory.bFailCapacityLimit = true; },
         u"バッファーサイズの制限処理中に問題が発生しました", ERROR_CAPTION, 43},
        {"period", nullptr, [](PlayerRig& Rig) { Rig.Factory.bZeroPeriod = true; },
         u"バッファーサイズの設定中に問題が発生しました。", ERROR_CAPTION, 43},
        // An object that cannot be made: a beep, no text.
        {"sound buffer object", nullptr, [](PlayerRig& Rig) { Rig.Factory.bFailSoundBuffer = true; }, u"",
         u"", 0},
        {"stream object", nullptr, [](PlayerRig& Rig) { Rig.Factory.bFailStream = true; }, u"", u"", 0},
        {"converter object", nullptr, [](PlayerRig& Rig) { Rig.Factory.bFailConverter = true; }, u"", u"", 0},
        {"worker object", nullptr, [](PlayerRig& Rig) { Rig.Factory.bFailWorker = true; }, u"", u"", 0},
    };
    for (const FailureCase& Case : Cases)
    {
        SCOPED_TRACE(Case.pName);
        PlayerRig Rig(Case.pArguments);
        Rig.pDevice->AcceptFormat(EXCLUSIVE, 96000, 24);
        Rig.pDevice->UseRealTimeClock(1);
        RecordingDialogHost& Host = Rig.Host;
        Host.Open();
        Rig.ChooseToneFile("failure.wav", 4410);
        Case.Arrange(Rig);
        Host.Click(ID_PLAY);

        ASSERT_EQ(Host.Messages().size(), Case.ullMessages);
        if (Case.ullMessages > 0)
        {
            EXPECT_EQ(Host.Messages()[0].Text, Case.Text);
            EXPECT_EQ(Host.Messages()[0].Caption, Case.Caption);
        }
        if (Case.ullMessages > 1)
        {
            EXPECT_EQ(Host.Messages().back().Text, u"出力先のオーディオデバイスを初期化できませんでした。");
        }
        EXPECT_EQ(Host.BeepCount(), Case.ullMessages == 0 ? 1u : 0u);
        EXPECT_EQ(Rig.State.bPlaying, 0);
        EXPECT_FALSE(Host.IsTimerRunning());
        EXPECT_TRUE(Host.IsEnabled(ID_PLAY));
        EXPECT_FALSE(Host.IsEnabled(ID_STOP));
        EXPECT_TRUE(NoThreadRuns(Rig.State));
        const VirtualStreamState Device = Rig.pDevice->GetStreamState();
        EXPECT_EQ(Device.bOpen, 0);
        EXPECT_EQ(Device.bStarted, 0);
        EXPECT_EQ(Host.WaitCursorDepth(), 0);
    }

    // A failed attempt shows its message at once, before the ladder goes on and the device plays;
    // the next rate then plays.
    {
        PlayerRig Rig;
        Rig.pDevice->AcceptFormat(EXCLUSIVE, 96000, 24);
        Rig.pDevice->AcceptFormat(EXCLUSIVE, 88200, 24);
        Rig.pDevice->UseRealTimeClock(1);
        Rig.Host.Open();
        Rig.ChooseToneFile("failure-attempt.wav", 44100);
        Rig.Factory.uiSoundBufferInitializeFailures = 1;
        std::vector<VirtualStreamState> AtMessage;
        Rig.Host.OnMessage = [&Rig, &AtMessage] { AtMessage.push_back(Rig.pDevice->GetStreamState()); };
        Rig.Host.Click(ID_PLAY);
        ASSERT_EQ(AtMessage.size(), 1u);
        EXPECT_EQ(AtMessage[0].bInitialized, 0);
        EXPECT_EQ(AtMessage[0].bStarted, 0);
        EXPECT_EQ(Rig.Host.Messages()[0].Text,
                  u"リアルタイムオーディオバッファーの初期化中に問題が発生しました。");
        EXPECT_EQ(Rig.State.bPlaying, 1);
        EXPECT_EQ(Rig.pDevice->GetStreamState().Format.nSamplesPerSec, 88200u);
        Rig.Host.OnMessage = nullptr;
        Rig.Host.Click(ID_STOP);
    }

    // After a failure the user can try again.
    PlayerRig Rig;
    Rig.pDevice->AcceptFormat(EXCLUSIVE, 96000, 24);
    Rig.pDevice->UseRealTimeClock(1);
    Rig.Host.Open();
    Rig.ChooseToneFile("failure-retry.wav", 44100);
    Rig.Factory.bFailOutputBuffer = true;
    Rig.Host.Click(ID_PLAY);
    Rig.Factory.bFailOutputBuffer = false;
    Rig.Host.Click(ID_PLAY);
    EXPECT_EQ(Rig.State.bPlaying, 1);
    EXPECT_EQ(Rig.Host.Messages().size(), 1u);
    Rig.Host.Click(ID_STOP);
}

// A file rate too far below the device rate for the converter is refused at Play with the
// converter's message and nothing left running; the lowest rate it takes plays.
TEST(PlaybackController, AFileRateTooLowForTheDeviceIsRefusedAndTheLowestTakenPlays)
{
    PlayerRig Rig;
    Rig.pDevice->AcceptFormat(EXCLUSIVE, 384000, 24);
    RecordingDialogHost& Host = Rig.Host;
    Host.Open();
    Host.SelectEntry(ID_RATE_COMBO, 19); // 384 kHz
    Rig.ChooseToneFile("rate-68.wav", 136, 68);
    Host.Click(ID_PLAY);
    ASSERT_EQ(Host.Messages().size(), 1u);
    EXPECT_EQ(Host.Messages()[0].Text, u"サンプリング周波数コンバータの初期化に失敗しました。");
    EXPECT_EQ(Rig.State.bPlaying, 0);
    EXPECT_TRUE(NoThreadRuns(Rig.State));
    ASSERT_NE(Rig.State.pSamplingFrequencyConverter, nullptr);
    EXPECT_EQ(Rig.State.pSamplingFrequencyConverter->OutputFIFO.GetCapacity(), 0u);

    const uint32_t uiLowest =
        SamplingFrequencyConverter::LowestInputRate(384000, PlayerScales::OVERSAMPLING_FACTOR);
    Rig.ChooseToneFile("rate-lowest.wav", 2 * uiLowest, uiLowest);
    Host.Click(ID_PLAY);
    ASSERT_EQ(Rig.State.bPlaying, 1);
    EXPECT_EQ(Host.Messages().size(), 1u);
    ASSERT_TRUE(Rig.PlayPeriods(20));
    const std::vector<uint8_t> Written = Rig.pDevice->GetWrittenBytes();
    const std::vector<int32_t> Heard = ChainSignals::DecodeCodes(Written.data(), Written.size(), 24);
    int32_t iPeak = 0;
    for (const int32_t iCode : Heard)
    {
        iPeak = std::max(iPeak, std::abs(iCode));
    }
    EXPECT_GT(iPeak, (1 << 23) / 100); // the tones at -20 dB
    Host.Click(ID_STOP);
}

TEST(PlaybackController, ADeviceFailingMidPlaybackStopsLikeTheEndOfTheFile)
{
    PlayerRig Rig;
    Rig.pDevice->AcceptFormat(EXCLUSIVE, 48000, 24);
    RecordingDialogHost& Host = Rig.Host;
    ASSERT_TRUE(Rig.OpenAndPlayTone("device-lost.wav", 88200));
    ASSERT_TRUE(Rig.PlayPeriods(3));
    Host.FireTimer();
    EXPECT_TRUE(Host.IsTimerRunning());

    Rig.pDevice->Vanish();
    Rig.pDevice->Advance(480);
    EXPECT_TRUE(FireUntilStopped(Host));
    EXPECT_EQ(Rig.State.bPlaying, 0);
    EXPECT_TRUE(Host.Messages().empty());
    EXPECT_TRUE(Host.IsEnabled(ID_PLAY));
    EXPECT_FALSE(Host.IsEnabled(ID_PAUSE));
    EXPECT_TRUE(NoThreadRuns(Rig.State));
}

// The file shrinks under the open reader (another program rewrites it): what is left plays, then
// the player stops as at the end of the file.
TEST(PlaybackController, AFileCutShortReplacedOrRemovedWhilePlayingEndsPlaybackCleanly)
{
    PlayerRig Rig;
    Rig.pDevice->AcceptFormat(EXCLUSIVE, 48000, 24);
    Rig.pDevice->UseRealTimeClock(1);
    RecordingDialogHost& Host = Rig.Host;
    Host.Open();
    const std::filesystem::path Path = Rig.ChooseToneFile("cut-short.wav", 441000);
    Host.Click(ID_PLAY);
    ASSERT_EQ(Rig.State.bPlaying, 1);
    constexpr uint64_t KEPT_FRAMES = 22050;
    std::filesystem::resize_file(Path, 44 + 4 * KEPT_FRAMES);
    EXPECT_TRUE(FireUntilStopped(Host));
    EXPECT_EQ(Rig.State.bPlaying, 0);
    EXPECT_TRUE(Host.Messages().empty());
    EXPECT_TRUE(NoThreadRuns(Rig.State));
    // It ended with the sound that was left, long before the ten seconds the header announced.
    EXPECT_LE(Rig.State.pSamplingFrequencyConverter->ullConsumedFrames.load(), KEPT_FRAMES + 512);

    // Replaced by another file under its name (as editors save), then removed, while playing: the
    // open file plays on to its own end. Where an open file cannot be replaced or removed, it stays.
    constexpr uint64_t WHOLE_FRAMES = 11025;
    const std::filesystem::path Replaced = Rig.ChooseToneFile("replaced.wav", WHOLE_FRAMES);
    Host.Click(ID_PLAY);
    ASSERT_EQ(Rig.State.bPlaying, 1);
    std::error_code Error;
    std::filesystem::rename(TestFiles::Write("replacement.wav", std::vector<uint8_t>(100, 0x55)), Replaced,
                            Error);
    std::filesystem::remove(Replaced, Error);
    EXPECT_TRUE(FireUntilStopped(Host));
    EXPECT_TRUE(Host.Messages().empty());
    EXPECT_TRUE(NoThreadRuns(Rig.State));
    EXPECT_GE(Rig.State.pSamplingFrequencyConverter->ullConsumedFrames.load(), WHOLE_FRAMES);
}

TEST(PlaybackController, StopEndsWithinTheDrainBoundWhenTheDeviceHangs)
{
    PlayerRig Rig;
    Rig.pDevice->AcceptFormat(EXCLUSIVE, 48000, 24);
    RecordingDialogHost& Host = Rig.Host;
    // The clock never moves: the device buffer stays full and the sound buffer fills up.
    ASSERT_TRUE(Rig.OpenAndPlayTone("hang.wav", 88200));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    // A stop that waited on the hung device would never end; the bound is the drain wait plus a
    // slack a starved machine cannot use up joining two threads (stress runs beside busy loops
    // took 0.56 s where the drain is 0.17 s).
    const uint32_t uiLimit = Rig.pEntry->GetController().DrainMilliseconds() + 2000;
    EXPECT_LE(MillisecondsTaken([&Host] { Host.Click(ID_STOP); }), static_cast<int64_t>(uiLimit));
    EXPECT_TRUE(NoThreadRuns(Rig.State));

    // The same while paused, with the device failed as well.
    Host.Click(ID_PLAY);
    ASSERT_EQ(Rig.State.bPlaying, 1);
    Host.Click(ID_PAUSE);
    Rig.pDevice->FailAfter(VirtualOperation::GetCurrentPadding, 0, AUDIO_E_DEVICE_INVALIDATED);
    EXPECT_LE(MillisecondsTaken([&Host] { Host.Click(ID_STOP); }), static_cast<int64_t>(uiLimit));
    EXPECT_TRUE(NoThreadRuns(Rig.State));
}

TEST(PlaybackController, TheEndOfTheProgramWhilePausedStopsEverything)
{
    PlayerRig Rig;
    Rig.pDevice->AcceptFormat(EXCLUSIVE, 48000, 24);
    Rig.pDevice->UseRealTimeClock(1);
    ASSERT_TRUE(Rig.OpenAndPlayTone("teardown.wav", 88200));
    Rig.Host.Click(ID_PAUSE);
    ASSERT_EQ(Rig.State.bPaused.load(), 1);
    // The teardown alone, as at the program's end: it must not wait in the pause forever.
    Rig.pEntry->GetController().TearDown();
    EXPECT_EQ(Rig.State.bPaused.load(), 0);
    EXPECT_EQ(Rig.State.pPlaybackThread, nullptr);
    EXPECT_EQ(Rig.State.pSoundStream, nullptr);
    EXPECT_EQ(Rig.State.pWaveFileReader, nullptr);
    EXPECT_EQ(Rig.State.pIntelligentSoundBuffer, nullptr);
    EXPECT_EQ(Rig.State.pSamplingFrequencyConverter, nullptr);
    EXPECT_EQ(Rig.State.pdfDeviceBlock, nullptr);
    EXPECT_EQ(Rig.pDevice->GetLiveObjectCount(), 0u);
}
