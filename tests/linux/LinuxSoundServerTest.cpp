#include "app/cli/CliCommands.h"
#include "app/dialog/DialogControlIds.h"
#include "app/dialog/ProgramEntry.h"
#include "app/player/PlaybackObjectFactory.h"
#include "app/player/PlayerState.h"
#include "output/AudioClientConstants.h"
#include "output/CSoundStreamWASAPI.h"
#include "output/SAudioDeviceEnumerator.h"
#include "output/SAudioEndpointCollection.h"
#include "output/linux/CLinuxAudioLayer.h"
#include "runtime/TextConversion.h"
#include "tests/alsa/AlsaChainRig.h"
#include "tests/alsa/AlsaTestSetup.h"
#include "tests/common/AudioLayerContract.h"
#include "tests/common/ChainSignals.h"
#include "tests/common/LayerEndpoints.h"
#include "tests/common/RecordingDialogHost.h"
#include "tests/common/TestFiles.h"
#include "tests/common/WaveFileBuilder.h"
#include "tests/linux/PulseMonitorRecorder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <future>
#include <memory>
#include <numbers>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

// The Linux layer against a private sound server: scripts/with-pulse-server.sh starts it with two
// 16-bit null sinks, "Test output 44.1 kHz" (larkspur_44k, the default) and "Test output 48 kHz"
// (larkspur_48k), and a second server for a test to stop. Without it these are skipped.

using namespace DialogControlIds;

namespace
{
using Clock = std::chrono::steady_clock;

std::string DefaultId(SAudioClientLayer& Layer)
{
    std::unique_ptr<SAudioDeviceEnumerator> pEnumerator;
    std::unique_ptr<SAudioEndpoint> pDefault;
    std::u16string Id;
    EXPECT_GE(Layer.CreateDeviceEnumerator(pEnumerator), 0);
    if (pEnumerator->GetDefaultAudioEndpoint(pDefault) < 0 || pDefault->GetId(Id) < 0)
    {
        return {};
    }
    return WideToUtf8(Id);
}

// What a command of the server's own tool prints.
std::string Pactl(const std::string& Arguments)
{
    std::string Output;
    FILE* pPipe = popen(("pactl " + Arguments + " 2>&1").c_str(), "r");
    if (pPipe == nullptr)
    {
        return Output;
    }
    char Line[512];
    while (std::fgets(Line, sizeof(Line), pPipe) != nullptr)
    {
        Output += Line;
    }
    pclose(pPipe);
    return Output;
}

// The server's playback streams, once there are ullExpected of them (the server takes a stream that
// went away in its own time), or after 5 s.
size_t StreamCount(size_t ullExpected)
{
    const auto Deadline = Clock::now() + std::chrono::seconds(5);
    for (;;)
    {
        const std::string Streams = Pactl("list short sink-inputs");
        const auto ullCount = static_cast<size_t>(std::count(Streams.begin(), Streams.end(), '\n'));
        if (ullCount == ullExpected || Clock::now() > Deadline)
        {
            return ullCount;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

// True while the process runs (a server that ended may linger as a zombie of its script).
bool IsRunning(pid_t Process)
{
    std::ifstream Stat("/proc/" + std::to_string(Process) + "/stat");
    std::string Pid, Name, State;
    return Stat >> Pid >> Name >> State && State != "Z";
}

uint32_t ThreadCount()
{
    std::ifstream Status("/proc/self/status");
    for (std::string Line; std::getline(Status, Line);)
    {
        if (Line.rfind("Threads:", 0) == 0)
        {
            return static_cast<uint32_t>(std::stoul(Line.substr(8)));
        }
    }
    return 0;
}

int32_t SetUpStream(CSoundStreamWASAPI& Stream, int32_t bShared, uint32_t uiRate, int32_t iIndex)
{
    Stream.bSharedMode = bShared;
    double dfSeconds = 0.06;
    return Stream.SetupDevice(uiRate, &dfSeconds, iIndex);
}

// A signal that never repeats itself, so a stretch of it is found at one place only: a rising sweep
// on the left, a swelling tone on the right.
std::vector<double> SweepAndSwell(uint64_t ullFrames, double dfRate)
{
    std::vector<double> Signal(2 * ullFrames);
    for (uint64_t n = 0; n < ullFrames; ++n)
    {
        const double t = static_cast<double>(n) / dfRate;
        Signal[2 * n] = 0.6 * std::sin(2.0 * std::numbers::pi * (200.0 * t + 2000.0 * t * t));
        Signal[2 * n + 1] = 0.4 * (0.5 + t) * std::sin(2.0 * std::numbers::pi * 3163.0 * t);
    }
    return Signal;
}

std::filesystem::path WriteTestFile(const char* pName, double dfSeconds)
{
    constexpr uint32_t FILE_RATE = 44100;
    const auto ullFrames = static_cast<uint64_t>(dfSeconds * FILE_RATE);
    return TestFiles::Write(pName,
                            WaveFileBuilder::PcmWave(SweepAndSwell(ullFrames, FILE_RATE), 2, FILE_RATE, 16));
}

size_t LastSound(const std::vector<int32_t>& Codes)
{
    size_t i = Codes.size();
    while (i > 0 && Codes[i - 1] == 0)
    {
        --i;
    }
    return i;
}

// `larkspur-cli play` on a device; what it printed and its exit status.
struct CliPlay
{
    int iStatus = -1;
    std::string Out;
    std::string Error;
    double dfSeconds = 0.0;
};

CliPlay PlayThroughCli(const std::string& Device, const std::filesystem::path& File)
{
    CliPlay Result;
    std::ostringstream Out, Error;
    const auto Started = Clock::now();
    Result.iStatus = RunCli({"play", "--device", Device, File.string()}, Out, Error);
    Result.dfSeconds = std::chrono::duration<double>(Clock::now() - Started).count();
    Result.Out = Out.str();
    Result.Error = Error.str();
    return Result;
}

class LinuxSoundServer : public testing::Test
{
protected:
    void SetUp() override
    {
        const char* pServer = std::getenv("LARKSPUR_PULSE_SERVER");
        if (pServer == nullptr || *pServer == '\0')
        {
            GTEST_SKIP() << "no private sound server (scripts/with-pulse-server.sh starts one)";
        }
        unsetenv("LARKSPUR_AUDIO");
        // An ALSA device of the configuration, listed after the sinks; no ALSA "default".
        AlsaTestSetup::Write(
            {TestDeviceProfile("card_like", "Test card").Taking("44100 48000", "S16_LE S32_LE")});
    }
};
} // namespace

// The sinks by the names the volume control shows, in the server's order, the default sink as the
// default endpoint, then what the ALSA configuration adds.
TEST_F(LinuxSoundServer, ListsTheSinksByDescriptionThenTheConfiguredOutputs)
{
    CLinuxAudioLayer Layer;
    const std::vector<LayerEndpoints::Entry> Endpoints = LayerEndpoints::List(Layer);
    ASSERT_EQ(LayerEndpoints::Ids(Endpoints),
              (std::vector<std::u16string>{u"larkspur_44k", u"larkspur_48k", u"card_like"}));
    EXPECT_EQ(Endpoints[0].Name, u"Test output 44.1 kHz");
    EXPECT_EQ(Endpoints[1].Name, u"Test output 48 kHz");
    EXPECT_EQ(DefaultId(Layer), "larkspur_44k");
}

// Each sink takes the stream at its own rate only, so the ladder lands there in shared mode and the
// server resamples nothing: past its start, the sink's monitor holds every frame of the offline
// render at that rate, in order (the stream's 32-bit samples become the sink's 16 bits
// through floating point, so a code may move by one or two). A sink without a card refuses
// exclusive mode at once.
TEST_F(LinuxSoundServer, EachSinkPlaysInSharedModeAtItsOwnRateAndItsMonitorHoldsTheRender)
{
    const auto Input = WriteTestFile("server-in.wav", 0.5);
    CLinuxAudioLayer Layer;
    for (const auto& [iIndex, uiSinkRate, pMonitor] :
         {std::tuple{0, 44100u, "larkspur_44k.monitor"}, std::tuple{1, 48000u, "larkspur_48k.monitor"}})
    {
        SCOPED_TRACE(pMonitor);
        {
            CSoundStreamWASAPI Stream(&Layer);
            const auto Before = Clock::now();
            EXPECT_EQ(SetUpStream(Stream, 0, uiSinkRate, iIndex), -1);
            EXPECT_LT(Clock::now() - Before, std::chrono::milliseconds(500));
            EXPECT_EQ(SetUpStream(Stream, 1, 96000, iIndex), -1);
            const std::unique_ptr<SAudioClient> pClient =
                LayerEndpoints::Activate(Layer, static_cast<uint32_t>(iIndex));
            ASSERT_NE(pClient, nullptr);
            const AudioStreamFormat Asked = MakeStereoPcmFormat(96000, 32);
            AudioStreamFormat Closest{};
            EXPECT_EQ(pClient->IsFormatSupported(AUDIO_SHAREMODE_SHARED, &Asked, &Closest),
                      AUDIO_S_CLOSEST_MATCH);
            EXPECT_EQ(Closest, MakeStereoPcmFormat(uiSinkRate, 16));
        }

        const std::vector<int32_t> Offline = ChainSignals::RenderOfflineCodes(Input, uiSinkRate, 16);
        std::unique_ptr<PulseMonitorRecorder> pRecorder;
        AlsaChainPlayback Playback;
        Playback.pLayer = &Layer;
        Playback.uiDeviceRate = uiSinkRate;
        Playback.uiLogicalBits = 16;
        Playback.bShared = 1;
        Playback.iEndpoint = iIndex;
        Playback.dfBufferSeconds = 1.0;
        Playback.bWholeFileFirst = true;
        // A copy of the binding: clang 14 cannot capture structured bindings.
        const uint32_t uiRate = uiSinkRate;
        Playback.BeforeStart = [&pRecorder, Monitor = std::string(pMonitor), uiRate](uint64_t)
        {
            pRecorder = std::make_unique<PulseMonitorRecorder>(Monitor, uiRate);
            return pRecorder->IsRecording();
        };
        Playback.AfterStart = [&pRecorder, uiRate](uint64_t ullFrames)
        { return pRecorder->WaitFor(pRecorder->Frames() + ullFrames + uiRate / 2); };
        const AlsaChainResult Result = PlayFileThroughAlsa(Input, Playback, Offline.size() / 2);
        EXPECT_EQ(Result.uiBitCount, 32u);
        ASSERT_NE(pRecorder, nullptr);
        pRecorder->Stop();
        const std::vector<int32_t> Heard = pRecorder->Codes();

        const size_t PERIOD_FRAMES = uiSinkRate / 100;
        constexpr int32_t TOLERANCE = 2;
        const size_t ullOfflineFrames = Offline.size() / 2;
        const size_t ullHeardFrames = Heard.size() / 2;
        ASSERT_GT(ullOfflineFrames, 20 * PERIOD_FRAMES);
        const auto Matches = [&](size_t ullHeard, size_t ullOffline)
        {
            return std::abs(Heard[2 * ullHeard] - Offline[2 * ullOffline]) <= TOLERANCE &&
                   std::abs(Heard[2 * ullHeard + 1] - Offline[2 * ullOffline + 1]) <= TOLERANCE;
        };
        // Where the middle of the render is heard.
        const size_t ullProbe = ullOfflineFrames / 2;
        size_t ullFound = SIZE_MAX;
        for (size_t h = 0; h + PERIOD_FRAMES < ullHeardFrames && ullFound == SIZE_MAX; ++h)
        {
            size_t j = 0;
            while (j < PERIOD_FRAMES && Matches(h + j, ullProbe + j))
            {
                ++j;
            }
            ullFound = j == PERIOD_FRAMES ? h : SIZE_MAX;
        }
        ASSERT_NE(ullFound, SIZE_MAX) << "the middle of the render is not in the monitor";
        // heard frame = render frame + shift; the monitor may lack the first periods of the stream,
        // and the server re-renders the start of its sink when a stream joins (on a busy machine
        // the start may also run dry once), so the comparison starts 100 ms into the render.
        const auto llShift = static_cast<int64_t>(ullFound) - static_cast<int64_t>(ullProbe);
        ASSERT_GE(llShift, -3 * static_cast<int64_t>(PERIOD_FRAMES));
        const auto ullFirst = static_cast<size_t>(std::max<int64_t>(
            static_cast<int64_t>(10 * PERIOD_FRAMES), static_cast<int64_t>(PERIOD_FRAMES) - llShift));
        // Everything from there to the sound buffer's fade at the end of the stream.
        const size_t ullLast = ullOfflineFrames - 2 * PERIOD_FRAMES;
        ASSERT_GE(static_cast<int64_t>(ullHeardFrames), llShift + static_cast<int64_t>(ullLast));
        for (size_t f = ullFirst; f < ullLast; ++f)
        {
            ASSERT_TRUE(Matches(static_cast<size_t>(static_cast<int64_t>(f) + llShift), f))
                << "render frame " << f;
        }
        EXPECT_NEAR(static_cast<double>(LastSound(Heard) / 2),
                    static_cast<double>(llShift) + static_cast<double>(LastSound(Offline) / 2),
                    static_cast<double>(PERIOD_FRAMES));
    }
}

// The whole player, as a user starts it: with the maximum at 96 kHz the ladder lands in shared mode
// at each sink's rate, while the ALSA device of the configuration, a device of its own, still plays
// in exclusive mode.
TEST_F(LinuxSoundServer, ThePlayerLandsInSharedModeOnSinksAndInExclusiveModeOnTheCard)
{
    const auto Input = WriteTestFile("server-short.wav", 0.2);
    for (const auto& [pDevice, pExpected] :
         {std::pair{"-1", "44100 Hz 24 bit 共有モード"}, std::pair{"1", "48000 Hz 24 bit 共有モード"},
          std::pair{"2", "48000 Hz 24 bit 排他モード"}})
    {
        const CliPlay Run = PlayThroughCli(pDevice, Input);
        EXPECT_EQ(Run.iStatus, 0) << pDevice << Run.Error;
        EXPECT_NE(Run.Out.find(pExpected), std::string::npos) << pDevice << Run.Out;
    }
}

// A sink that goes: an endpoint listed before fails to open while the others still open what they
// show; while playing, the player stops as at the end of the file, with no message.
TEST_F(LinuxSoundServer, ASinkThatGoesFailsCleanly)
{
    const std::string Module = Pactl("load-module module-null-sink sink_name=larkspur_gone rate=48000 "
                                     "sink_properties='device.description=\"Going\"'");
    ASSERT_FALSE(Module.empty());
    CLinuxAudioLayer Layer;
    std::unique_ptr<SAudioEndpointCollection> pCollection;
    const std::vector<LayerEndpoints::Entry> Endpoints = LayerEndpoints::List(Layer, &pCollection);
    ASSERT_EQ(Endpoints.size(), 4u);
    ASSERT_EQ(Endpoints[2].Id, u"larkspur_gone");
    Pactl("unload-module " + Module);
    for (uint32_t i = 0; i < Endpoints.size(); ++i)
    {
        std::unique_ptr<SAudioEndpoint> pEndpoint;
        std::unique_ptr<SAudioClient> pClient;
        ASSERT_GE(pCollection->Item(i, pEndpoint), 0);
        if (i == 2)
        {
            EXPECT_EQ(pEndpoint->Activate(pClient), AUDIO_E_DEVICE_INVALIDATED);
        }
        else
        {
            EXPECT_GE(pEndpoint->Activate(pClient), 0) << WideToUtf8(Endpoints[i].Id);
        }
    }

    const std::string Again = Pactl("load-module module-null-sink sink_name=larkspur_gone rate=48000");
    const auto Input = WriteTestFile("server-long.wav", 5.0);
    std::future<CliPlay> Playing =
        std::async(std::launch::async, [&Input] { return PlayThroughCli("2", Input); });
    EXPECT_EQ(StreamCount(1), 1u);
    std::this_thread::sleep_for(std::chrono::milliseconds(300)); // well into the file
    Pactl("unload-module " + Again);
    const CliPlay Run = Playing.get();
    EXPECT_EQ(Run.iStatus, 0);
    EXPECT_EQ(Run.Error, "");
    EXPECT_NE(Run.Out.find("48000 Hz 24 bit 共有モード"), std::string::npos) << Run.Out;
    EXPECT_LT(Run.dfSeconds, 4.0);
    EXPECT_EQ(StreamCount(0), 0u);
}

// The window's device list keeps the sink of each entry: a sink unloaded after the list was filled
// gets the device message at Play, and the entries after it still open what they show.
TEST_F(LinuxSoundServer, TheWindowsDeviceListFindsItsEntriesAgainWhenASinkGoes)
{
    const std::string Module = Pactl("load-module module-null-sink sink_name=larkspur_gone rate=48000 "
                                     "sink_properties='device.description=\"Going\"'");
    ASSERT_FALSE(Module.empty());
    PlayerState::Instance().RestoreDefaultSettings();
    CLinuxAudioLayer Layer;
    RecordingDialogHost Host;
    PlaybackObjectFactory Factory;
    ProgramEntry Entry(&Layer, nullptr, Host, nullptr, &Factory);
    Host.SetHandler(&Entry.GetDialog());
    ASSERT_EQ(Entry.Begin(), 1);
    Host.Open();
    const std::vector<std::u16string> Entries = Host.Item(ID_DEVICE_COMBO).Entries;
    Host.ScriptFileChoice(TestFiles::Wide(WriteTestFile("server-identity.wav", 0.5)));
    Host.Click(ID_CHOOSE_FILE);
    Pactl("unload-module " + Module);
    ASSERT_EQ(Entries.size(), 5u);
    EXPECT_EQ(Entries[3], u"Going");

    const struct
    {
        int32_t iEntry;
        const char16_t* pRate; // null: the device message
        const char16_t* pMode;
    } Plays[] = {{3, nullptr, nullptr}, {2, u"48000", u"共有モード"}, {4, u"48000", u"排他モード"}};
    for (const auto& Play : Plays)
    {
        SCOPED_TRACE(Play.iEntry);
        Host.SelectEntry(ID_DEVICE_COMBO, Play.iEntry);
        const size_t ullMessages = Host.Messages().size();
        Host.Click(ID_PLAY);
        if (Play.pRate == nullptr)
        {
            EXPECT_EQ(PlayerState::Instance().bPlaying, 0);
            ASSERT_EQ(Host.Messages().size(), ullMessages + 1);
            EXPECT_EQ(Host.Messages().back().Text, u"出力先のオーディオデバイスを初期化できませんでした。");
            continue;
        }
        ASSERT_EQ(PlayerState::Instance().bPlaying, 1);
        EXPECT_EQ(Host.Cell(ID_DEVICE_LIST, 0, 1), Play.pRate);
        EXPECT_EQ(Host.Cell(ID_DEVICE_LIST, 2, 1), Play.pMode);
        Host.Click(ID_STOP);
    }
    Entry.End();
    EXPECT_EQ(StreamCount(0), 0u);
}

// Refusals leave nothing behind: a format the sink refuses leaves no stream on the server; with no
// server the layer is ALSA's alone; a server that goes between the list and the start fails the
// start, and the layer lets go of it.
TEST_F(LinuxSoundServer, RefusalsLeaveNothingRunning)
{
    {
        CLinuxAudioLayer Layer;
        CSoundStreamWASAPI Stream(&Layer);
        EXPECT_EQ(SetUpStream(Stream, 1, 48000, -1), -1);
        EXPECT_EQ(StreamCount(0), 0u);
        EXPECT_EQ(SetUpStream(Stream, 1, 44100, -1), 1);
        EXPECT_EQ(StreamCount(1), 1u);
    }
    EXPECT_EQ(StreamCount(0), 0u);

    const std::string Main = std::getenv("PULSE_SERVER");
    const uint32_t uiThreads = ThreadCount();
    setenv("PULSE_SERVER", ("unix:" + (AlsaTestSetup::Folder() / "no-server").string()).c_str(), 1);
    {
        CLinuxAudioLayer Layer;
        const std::vector<LayerEndpoints::Entry> Endpoints = LayerEndpoints::List(Layer);
        ASSERT_EQ(LayerEndpoints::Ids(Endpoints), std::vector<std::u16string>{u"card_like"});
        EXPECT_EQ(DefaultId(Layer), "default");
        EXPECT_EQ(ThreadCount(), uiThreads);
    }

    const char* pSecond = std::getenv("LARKSPUR_SECOND_PULSE_SERVER");
    const char* pSecondPid = std::getenv("LARKSPUR_SECOND_PULSE_PID");
    ASSERT_NE(pSecond, nullptr);
    ASSERT_NE(pSecondPid, nullptr);
    setenv("PULSE_SERVER", pSecond, 1);
    AlsaTestSetup::Write({});
    {
        CLinuxAudioLayer Layer;
        const std::vector<LayerEndpoints::Entry> Endpoints = LayerEndpoints::List(Layer);
        ASSERT_EQ(LayerEndpoints::Ids(Endpoints), std::vector<std::u16string>{u"larkspur_spare"});
        const pid_t Server = static_cast<pid_t>(std::stol(pSecondPid));
        ASSERT_EQ(kill(Server, SIGTERM), 0);
        const auto Deadline = Clock::now() + std::chrono::seconds(10);
        while (IsRunning(Server) && Clock::now() < Deadline)
        {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        CSoundStreamWASAPI Stream(&Layer);
        EXPECT_EQ(SetUpStream(Stream, 1, 48000, 0), -1);
        EXPECT_EQ(SetUpStream(Stream, 1, 48000, -1), -1);
        EXPECT_EQ(Stream.uiStreamMode, 0u);
        EXPECT_EQ(ThreadCount(), uiThreads);
    }
    setenv("PULSE_SERVER", Main.c_str(), 1);
}

// The default sink at 44.1 kHz takes the stream's formats at its rate.
INSTANTIATE_TEST_SUITE_P(Layers, AudioLayerContract,
                         ::testing::Values(SharedLayerTarget<CLinuxAudioLayer>("SoundServer", 44100, 16)),
                         AudioLayerContractName);
