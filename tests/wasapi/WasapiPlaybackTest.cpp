#include "app/dialog/DialogControlIds.h"
#include "app/dialog/PlayerTexts.h"
#include "app/dialog/ProgramEntry.h"
#include "app/player/OfflineRenderer.h"
#include "app/player/PlaybackBufferCallback.h"
#include "app/player/PlaybackThreadBody.h"
#include "app/player/PlayerState.h"
#include "conversion/ParameterSmoother.h"
#include "conversion/SamplingFrequencyConverter.h"
#include "output/CSoundStreamWASAPI.h"
#include "runtime/CMultiThreadWin.h"
#include "runtime/CriticalSectionHolder.h"
#include "soundbuffer/IntelligentSoundBuffer.h"
#include "tests/common/ChainSignals.h"
#include "tests/common/PlayerChecks.h"
#include "tests/common/PlayerStateBinding.h"
#include "tests/common/RecordingDialogHost.h"
#include "tests/common/TestFiles.h"
#include "tests/common/WaveFileBuilder.h"
#include "tests/wasapi/TestSink.h"
#include "wave/WaveFileReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <numbers>
#include <thread>
#include <vector>

// Playback through Wine's audio stack onto the test sink, which plays in real time and keeps every
// byte it played.

namespace
{
using Clock = std::chrono::steady_clock;

constexpr uint32_t WAIT_MS = 30000;
constexpr uint64_t THREAD_BUFFER_BYTES = 16384;
constexpr uint32_t FILE_RATE = 44100;
constexpr double FILE_SECONDS = 2.5;
constexpr uint64_t SINK_FRAME_BYTES = 8;

double SecondsSince(Clock::time_point Start)
{
    return std::chrono::duration<double>(Clock::now() - Start).count();
}

// Waits until bDone() holds; false after WAIT_MS.
template <typename Predicate> bool WaitFor(Predicate bDone)
{
    const auto Deadline = Clock::now() + std::chrono::milliseconds(WAIT_MS);
    while (!bDone())
    {
        if (Clock::now() > Deadline)
        {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// True once the sound buffer can give ullReads periods without running low.
bool BufferHolds(IntelligentSoundBuffer& Buffer, uint64_t ullReads)
{
    return Buffer.HoldsPeriods(ullReads) == 1;
}

// True once the playback thread has handed over the end of the file.
bool IsFinishing(IntelligentSoundBuffer& Buffer)
{
    CriticalSectionHolder Holder(&Buffer.Queue.CriticalSection);
    return Buffer.Queue.bFinishing != 0;
}

int32_t StoreAddress(CMultiThreadWin& Worker, const char16_t* pName, const void* pAddress)
{
    return Worker.SetParameter(pName, static_cast<uint64_t>(reinterpret_cast<uintptr_t>(pAddress)));
}

// Notes when the sink's file grew, so the time at which a byte was played can be read back.
class CaptureTimeline
{
public:
    explicit CaptureTimeline(const TestSink& Sink) : Watched(Sink)
    {
        Samples.reserve(1 << 16);
        Watcher = std::thread([this] { Watch(); });
    }
    ~CaptureTimeline() { Finish(); }

    void Finish()
    {
        bRun.store(false);
        if (Watcher.joinable())
        {
            Watcher.join();
        }
    }
    // Seconds from the start until the file first held ullBytes; negative if it never did.
    double SecondsWhenHeld(uint64_t ullBytes) const
    {
        for (const Sample& Seen : Samples)
        {
            if (Seen.ullBytes >= ullBytes)
            {
                return Seen.dfSeconds;
            }
        }
        return -1.0;
    }

private:
    struct Sample
    {
        double dfSeconds;
        uint64_t ullBytes;
    };

    void Watch()
    {
        const Clock::time_point Start = Clock::now();
        uint64_t ullLast = 0;
        while (bRun.load())
        {
            const uint64_t ullBytes = Watched.CapturedBytes();
            if (ullBytes != ullLast && Samples.size() < Samples.capacity())
            {
                Samples.push_back({SecondsSince(Start), ullBytes});
                ullLast = ullBytes;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    const TestSink& Watched;
    std::vector<Sample> Samples;
    std::atomic<bool> bRun{true};
    std::thread Watcher;
};

// A render callback that delivers a quiet tone for as long as it is asked.
struct ToneSource
{
    static int32_t Callback(SoundStreamBuffer* pBuffer, void* pUserParameter)
    {
        auto* pSource = static_cast<ToneSource*>(pUserParameter);
        for (uint64_t i = 0; i < pBuffer->ullCapacity; ++i)
        {
            const double dfValue = 0.1 * std::sin(0.05 * static_cast<double>(pSource->ullFrames + i));
            pBuffer->pdfData[2 * i] = dfValue;
            pBuffer->pdfData[2 * i + 1] = -dfValue;
        }
        pBuffer->ullFrameCount = pBuffer->ullCapacity;
        pSource->ullFrames.fetch_add(pBuffer->ullCapacity);
        return 1;
    }
    std::atomic<uint64_t> ullFrames{0};
};

// Whether what the sink played from byte ullFrom on holds sound (the file's tones at -20 dB), not
// only silence.
bool HeardSound(const TestSink& Target, uint64_t ullFrom)
{
    const std::vector<uint8_t> Bytes = Target.ReadCaptured(ullFrom, Target.CapturedBytes());
    const std::vector<int32_t> Codes = ChainSignals::DecodeCodes(Bytes.data(), Bytes.size(), Target.uiBits);
    return std::any_of(Codes.begin(), Codes.end(),
                       [&Target](int32_t iCode) {
                           return std::abs(static_cast<int64_t>(iCode)) > (int64_t{1} << (Target.uiBits - 8));
                       });
}

class WasapiPlaybackTest : public TestSinkFixture
{
protected:
    // Plays Input through the whole chain onto the sink and compares what it played with Offline.
    // bStalled when Wine held playback up for longer than the comparison allows (a spoiled run).
    void PlayTheFile(const std::filesystem::path& Input, const std::vector<int32_t>& Offline, bool& bStalled);
};
} // namespace

TEST_F(WasapiPlaybackTest, TheWholeChainPlaysTheOfflineRenderInRealTime)
{
    ASSERT_EQ(Sink.uiBits * 2 / 8, SINK_FRAME_BYTES);
    const auto ullFileFrames = static_cast<uint64_t>(FILE_SECONDS * FILE_RATE);
    const auto Input = TestFiles::Write(
        "sink-in.wav",
        WaveFileBuilder::PcmWave(ChainSignals::TwoTones(ullFileFrames, FILE_RATE), 2, FILE_RATE, 16));
    const std::vector<int32_t> Offline = ChainSignals::RenderOfflineCodes(Input, Sink.uiRate, Sink.uiBits);
    ASSERT_GT(Offline.size(), 0u);
    // A run in which Wine's mixer held playback up says nothing about the chain, so it is repeated;
    // a changed, lost or repeated frame fails at once.
    for (int iAttempt = 1; iAttempt <= 3; ++iAttempt)
    {
        bool bStalled = false;
        PlayTheFile(Input, Offline, bStalled);
        if (HasFailure() || !bStalled)
        {
            return;
        }
        std::cout << "[          ] attempt " << iAttempt << ": Wine held playback up, playing again\n";
    }
    ADD_FAILURE() << "Wine held playback up in every attempt";
}

void WasapiPlaybackTest::PlayTheFile(const std::filesystem::path& Input, const std::vector<int32_t>& Offline,
                                     bool& bStalled)
{
    const uint32_t R = Sink.uiRate;
    const uint32_t B = Sink.uiBits;
    const uint64_t L = Offline.size() / 2;

    CSoundStreamWASAPI Stream(&Layer);
    WaveFileReader Reader;
    SamplingFrequencyConverter Converter(10.0);
    IntelligentSoundBuffer Buffer;
    // Taken back once the worker has been joined (or, after a failure, ended by its destructor).
    PlayerStateBinding StateBinding;
    CMultiThreadWin Worker;

    // Set up in the order a playback start uses, on the sink at its own rate in shared mode.
    double dfPeriod = 0.01;
    ASSERT_EQ(Buffer.Initialize(R, dfPeriod), 1);
    // More room than a player's 0.1 s: on a loaded machine the playback thread can be held up for longer
    // than that, and the fade of a buffer that ran dry is not what this test looks for.
    ASSERT_EQ(Buffer.SetCapacityLimit(static_cast<uint64_t>(R * 0.5)), 1);
    const uint64_t P = Buffer.ullPeriodFrames;
    ASSERT_EQ(StateBinding.Bind(Buffer), 1);
    Stream.ullCallbackFrameCount = P;
    Stream.uiLogicalBitCount = B;
    Stream.bResolutionEnhancer = 1;
    Stream.bSharedMode = 1;
    double dfSeconds = 0.06;
    ASSERT_EQ(Stream.SetupDevice(R, &dfSeconds, iSinkIndex), 1);
    ASSERT_EQ(Stream.uiBitCount, B);
    const uint64_t N = Stream.ullBufferFrameCount;

    ASSERT_GE(Reader.Open(TestFiles::Wide(Input).c_str()), 0);
    ASSERT_EQ(Converter.Setup(2, Reader.uiSamplingFrequency, R, 8, 0, 0.0), 1);
    ASSERT_EQ(Converter.SetOutputRate(R, 1), 1);
    ASSERT_EQ(Worker.Create(1), 1);
    ASSERT_GT(StoreAddress(Worker, u"pWaveFileReader", static_cast<SAudioFileReader*>(&Reader)), 0);
    ASSERT_GT(StoreAddress(Worker, u"pSamplingFrequencyConverter", &Converter), 0);
    ASSERT_GT(StoreAddress(Worker, u"pIntelligentSoundBuffer", &Buffer), 0);
    ASSERT_GT(Worker.AllocateBuffer(u"pdfInputSignalBuffer", THREAD_BUFFER_BYTES), 0);
    ASSERT_GT(Worker.AllocateBuffer(u"pdfOutputSignalBuffer", THREAD_BUFFER_BYTES), 0);
    ASSERT_EQ(Worker.Start(PlaybackThreadBody), 1);
    EXPECT_TRUE(WaitFor([&] { return BufferHolds(Buffer, (N + P - 1) / P); }));

    const uint64_t ullStart = Sink.CapturedBytes() / SINK_FRAME_BYTES * SINK_FRAME_BYTES;
    CaptureTimeline Timeline(Sink);
    EXPECT_EQ(Stream.PrepareRender(PlaybackBufferCallback, nullptr), 1);
    EXPECT_EQ(Stream.Start(), 1);
    // The file, the device buffer, the sink's own latency and room for silence Wine may insert,
    // played out in real time.
    const uint64_t ullWanted = ullStart + SINK_FRAME_BYTES * (P + L + N + R);
    EXPECT_TRUE(WaitFor([&] { return IsFinishing(Buffer); })) << "the playback thread did not reach the end";
    EXPECT_TRUE(WaitFor([&] { return Sink.CapturedBytes() >= ullWanted; }));
    const Clock::time_point StopStart = Clock::now();
    EXPECT_EQ(Stream.Stop(0), 1);
    EXPECT_LT(SecondsSince(StopStart), 0.2);
    Timeline.Finish();
    Worker.WaitForExit();
    EXPECT_EQ(Worker.GetResult(0), PLAYBACK_THREAD_DONE);
    Worker.Release();

    const std::vector<uint8_t> Bytes = Sink.ReadCaptured(ullStart, ullWanted);
    const std::vector<int32_t> Heard = ChainSignals::DecodeCodes(Bytes.data(), Bytes.size(), B);
    auto FirstSound = [](const std::vector<int32_t>& Codes)
    {
        uint64_t i = 0;
        while (i < Codes.size() && Codes[i] == 0)
        {
            ++i;
        }
        return i / 2;
    };
    const uint64_t ullOfflineFirst = FirstSound(Offline);
    ASSERT_LT(ullOfflineFirst, P);
    ASSERT_LT(P + 64, L - P - L % P);
    // The first period fades in, so the first sound heard may come a few frames after the render's
    // first sound: the place of the render's first frame is where its second period matches.
    auto MatchesAt = [&](uint64_t ullHeardStart)
    {
        for (uint64_t i = P; i < P + 64; ++i)
        {
            const uint64_t ullHeard = ullHeardStart + i;
            if (2 * ullHeard + 1 >= Heard.size() ||
                std::llabs(int64_t{Heard[2 * ullHeard]} - Offline[2 * i]) > 1 ||
                std::llabs(int64_t{Heard[2 * ullHeard + 1]} - Offline[2 * i + 1]) > 1)
            {
                return false;
            }
        }
        return true;
    };
    const uint64_t ullHeardSound = FirstSound(Heard);
    ASSERT_GE(ullHeardSound, ullOfflineFirst) << "no sound reached the sink";
    uint64_t ullHeardFirst = ullHeardSound - ullOfflineFirst;
    for (uint64_t k = 0; k < P && ullHeardFirst > 0 && !MatchesAt(ullHeardFirst); ++k)
    {
        --ullHeardFirst;
    }
    ASSERT_TRUE(MatchesAt(ullHeardFirst)) << "the render's second period was not heard after its first sound";
    ullHeardFirst += ullOfflineFirst;
    ASSERT_GE(Heard.size() / 2, ullHeardFirst + L - ullOfflineFirst + P)
        << "the sink did not play the whole file";

    // Every frame of the render, in order. When Wine's mixer thread is held up on a busy machine the
    // sink plays silence and the stream then goes on where it stopped: such inserted silence is
    // skipped and counted, but nothing may be lost, repeated or changed. The sound buffer fades out
    // the last whole period and the part period after it, and fades in the first one, so those
    // frames are only bounded (and silence in the first one is the fade's, never inserted).
    const uint64_t ullFaded = P + L % P;
    const uint64_t ullHeardFrames = Heard.size() / 2;
    auto IsSilent = [](const std::vector<int32_t>& Codes, uint64_t ullFrame)
    { return Codes[2 * ullFrame] == 0 && Codes[2 * ullFrame + 1] == 0; };
    uint64_t h = ullHeardFirst;
    uint64_t ullInserted = 0;
    uint64_t ullLastExact = h;
    for (uint64_t i = ullOfflineFirst; i < L; ++i, ++h)
    {
        while (i >= P && h < ullHeardFrames && IsSilent(Heard, h) && !IsSilent(Offline, i))
        {
            ++h;
            ++ullInserted;
        }
        if (h >= ullHeardFrames)
        {
            std::cout << "[          ] the sink had not played frame " << i << " of " << L << " in time\n";
            bStalled = true;
            return;
        }
        ASSERT_TRUE(ChainSignals::MatchesRenderFrame(&Heard[2 * h], &Offline[2 * i], i, L, P));
        if (i >= P && i < L - ullFaded)
        {
            ullLastExact = h;
        }
    }
    // Nothing after it.
    for (uint64_t k = h; k < std::min(h + P, ullHeardFrames); ++k)
    {
        ASSERT_TRUE(IsSilent(Heard, k)) << "frame " << k - h << " after the end";
    }
    std::cout << "[          ] inserted silence: " << ullInserted << " frames\n";
    if (ullInserted > L / 100)
    {
        bStalled = true;
        return;
    }

    // Real time: the frames from the first to the last exactly matched one reached the sink within
    // 2 % of the time they last.
    const double dfFirst = Timeline.SecondsWhenHeld(ullStart + SINK_FRAME_BYTES * (ullHeardFirst + 1));
    const double dfLast = Timeline.SecondsWhenHeld(ullStart + SINK_FRAME_BYTES * (ullLastExact + 1));
    ASSERT_GE(dfFirst, 0.0);
    ASSERT_GE(dfLast, 0.0);
    const double dfExpected = static_cast<double>(ullLastExact - ullHeardFirst) / R;
    EXPECT_NEAR(dfLast - dfFirst, dfExpected, 0.02 * dfExpected);
}

TEST_F(WasapiPlaybackTest, StopAndCloseDuringPlaybackReturnWithin200MillisecondsAndEndTheRenderThread)
{
    for (const bool bStop : {true, false})
    {
        SCOPED_TRACE(bStop ? "Stop" : "Close");
        CSoundStreamWASAPI Stream(&Layer);
        Stream.bSharedMode = 1;
        double dfSeconds = 0.06;
        ASSERT_EQ(Stream.SetupDevice(Sink.uiRate, &dfSeconds, iSinkIndex), 1);
        ToneSource Source;
        ASSERT_EQ(Stream.PrepareRender(ToneSource::Callback, &Source), 1);
        ASSERT_EQ(Stream.Start(), 1);
        // Playing: the device has taken a third of a second beyond its first buffer.
        const uint64_t ullPlayed = Stream.ullBufferFrameCount + Sink.uiRate / 3;
        ASSERT_TRUE(WaitFor([&] { return Source.ullFrames.load() >= ullPlayed; }));
        ASSERT_EQ(Stream.GetWorker().GetState(), THREAD_STATE_RUNNING);

        const Clock::time_point Start = Clock::now();
        EXPECT_EQ(bStop ? Stream.Stop(0) : Stream.Close(), 1);
        EXPECT_LT(SecondsSince(Start), 0.2);
        EXPECT_NE(Stream.GetWorker().GetState(), THREAD_STATE_RUNNING);
        EXPECT_EQ(Stream.uiStreamMode, STREAM_MODE_NONE);
        // Nothing is asked for once it returned.
        const uint64_t ullAfter = Source.ullFrames.load();
        EXPECT_EQ(Stream.Close(), 1);
        EXPECT_EQ(Source.ullFrames.load(), ullAfter);
    }
}

TEST_F(WasapiPlaybackTest, AnEventDrivenStreamIsWokenByTheClientThroughItsEvent)
{
    CSoundStreamWASAPI Stream(&Layer);
    Stream.bSharedMode = 1;
    Stream.bForceTimerDriven = 0;
    double dfSeconds = 0.06;
    ASSERT_EQ(Stream.SetupDevice(Sink.uiRate, &dfSeconds, iSinkIndex), 1);
    ASSERT_EQ(Stream.IsEventDriven(), 1);
    ToneSource Source;
    ASSERT_EQ(Stream.PrepareRender(ToneSource::Callback, &Source), 1);
    ASSERT_EQ(Stream.Start(), 1);
    // The render thread only wakes when the client sets the event, so frames beyond the first
    // buffer mean the client was given the event's own handle.
    const uint64_t ullPlayed = Stream.ullBufferFrameCount + Sink.uiRate / 4;
    EXPECT_TRUE(WaitFor([&] { return Source.ullFrames.load() >= ullPlayed; }));
    EXPECT_EQ(Stream.Stop(0), 1);
}

// The whole player on the second sink, whose module is unloaded while it plays: Wine reports the
// loss (the stream is not moved to the other sink), the render thread ends, the progress timer
// stops the player as at the end of the file, and Play on the other sink plays there. Wine keeps
// its endpoint list for the life of the process, so the device combo's entries still lead to the
// same endpoints, the lost one included.
TEST_F(WasapiPlaybackTest, UnloadingTheSinkWhilePlayingStopsThePlayerAndPlayGoesOnOnAnother)
{
    using namespace DialogControlIds;
    const std::wstring LossName = TestEnvironment(L"LARKSPUR_TEST_LOSS_SINK_NAME");
    const std::wstring LossModule = TestEnvironment(L"LARKSPUR_TEST_LOSS_SINK_MODULE");
    if (LossName.empty() || LossModule.empty())
    {
        GTEST_SKIP() << "no second sink: run under scripts/run-wine-tests.sh with pulseaudio installed";
    }
    TestSink Loss = Sink;
    Loss.Name.assign(LossName.begin(), LossName.end());
    Loss.Capture = TestEnvironment(L"LARKSPUR_TEST_LOSS_SINK_CAPTURE");
    uint32_t uiCount = 0;
    const int32_t iLossIndex = FindEndpoint(Layer, Loss.Name, uiCount);
    ASSERT_GE(iLossIndex, 0) << "the second sink is not among the " << uiCount << " output endpoints";
    // Ten seconds of sound: the file cannot end while the test runs.
    const auto Input = TestFiles::Write(
        "sink-loss.wav", WaveFileBuilder::PcmWave(ChainSignals::TwoTones(480000, 48000), 2, 48000, 16));

    PlayerState& State = PlayerState::Instance();
    RecordingDialogHost Host;
    ProgramEntry Entry(&Layer, nullptr, Host, nullptr);
    Host.SetHandler(&Entry.GetDialog());
    ASSERT_EQ(Entry.Begin(), 1);
    Host.Open();
    ASSERT_EQ(Host.Item(ID_DEVICE_COMBO).Entries.at(iLossIndex + 1), Loss.Name);
    Host.ScriptFileChoice(TestFiles::Wide(Input));
    Host.Click(ID_CHOOSE_FILE);
    Host.SelectEntry(ID_DEVICE_COMBO, iLossIndex + 1);
    Host.Click(ID_PLAY);
    ASSERT_EQ(State.bPlaying, 1);
    const uint64_t ullLossStart = Loss.CapturedBytes();
    ASSERT_TRUE(WaitFor(
        [&]
        {
            Host.FireTimer();
            return Loss.CapturedBytes() >= ullLossStart + SINK_FRAME_BYTES * Loss.uiRate / 4;
        }));
    ASSERT_EQ(State.bPlaying, 1);

    const uint64_t ullSinkBefore = Sink.CapturedBytes();
    ASSERT_EQ(RunPactl(L"unload-module " + LossModule), 1);
    // The unload is seen only through its effect: the player stops by itself.
    ASSERT_NO_FATAL_FAILURE(PlayerChecks::StopsByItselfWhenTheDeviceGoes(
        Host, Entry, std::chrono::seconds(10), "the unloaded sink"));
    // Nothing of it was moved to the other sink (which may have played silence meanwhile).
    EXPECT_FALSE(HeardSound(Sink, ullSinkBefore));
    EXPECT_EQ(FindEndpoint(Layer, Sink.Name, uiCount), iSinkIndex);

    // The lost sink is still listed; Play on it is refused like any device that cannot be opened.
    Host.Click(ID_PLAY);
    EXPECT_EQ(State.bPlaying, 0);
    ASSERT_EQ(Host.Messages().size(), 1u);
    EXPECT_EQ(Host.Messages()[0].Text, PlayerTexts::DEVICE_NOT_INITIALISED);
    EXPECT_EQ(Host.Messages()[0].Caption, PlayerTexts::CAPTION_ERROR);
    EXPECT_TRUE(Host.IsEnabled(ID_PLAY));
    EXPECT_FALSE(Host.IsEnabled(ID_STOP));

    Host.SelectEntry(ID_DEVICE_COMBO, iSinkIndex + 1);
    const uint64_t ullSinkStart = Sink.CapturedBytes();
    ASSERT_TRUE(Host.Click(ID_PLAY));
    ASSERT_EQ(State.bPlaying, 1);
    EXPECT_EQ(Host.Messages().size(), 1u);
    // Sound, not only the silent first period, reaches the other sink.
    EXPECT_TRUE(WaitFor([&] { return HeardSound(Sink, ullSinkStart); }));
    EXPECT_EQ(State.bPlaying, 1);
    Host.Click(ID_STOP);
    EXPECT_EQ(State.bPlaying, 0);
    Entry.End();
}
