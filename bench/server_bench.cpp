// Play on a Linux desktop's sound server: the whole player (the dialog logic and the controller on a
// recording dialog host) on the platform's own layer, against the private PulseAudio daemon that
// scripts/with-pulse-server.sh starts. Plays a tone several times on the default device, then on the
// second sink chosen in the device list, and reports for each Play the time to the first sound heard
// on the sink's monitor and how many connections the server saw from the start of Play to that sound
// (its log counts them), besides the connections made when the dialog opened and listed the devices.
// The monitors are recorded all along, so the null sinks render in small steps as a sink that plays
// does. Targets: first sound within 150 ms, at most 3 connections per Play.
//
//   scripts/with-pulse-server.sh build/linux-release/bench build/linux-release/bench/server_bench [--plays N]
#include "app/dialog/DialogControlIds.h"
#include "app/dialog/ProgramEntry.h"
#include "app/player/PlaybackObjectFactory.h"
#include "app/player/PlayerScales.h"
#include "app/player/PlayerState.h"
#include "output/CreatePlatformAudioLayer.h"
#include "runtime/TextConversion.h"
#include "tests/common/RecordingDialogHost.h"
#include "tests/common/RecordingLauncher.h"
#include "tests/common/TestFiles.h"
#include "tests/common/WaveFileBuilder.h"
#include "tests/linux/PulseMonitorRecorder.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

using namespace DialogControlIds;
using Clock = std::chrono::steady_clock;

namespace
{
constexpr double FIRST_SOUND_TARGET_MS = 150.0;
constexpr uint32_t CONNECTIONS_TARGET = 3;
constexpr uint32_t FILE_RATE = 44100;
constexpr auto FIRST_SOUND_LIMIT = std::chrono::seconds(3);

// Connections the server has taken so far: its log names each new client.
uint32_t ServerConnections(const char* pLog)
{
    std::ifstream Log(pLog);
    uint32_t uiCount = 0;
    for (std::string Line; std::getline(Log, Line);)
    {
        uiCount += Line.find("client.c: Created") != std::string::npos ? 1 : 0;
    }
    return uiCount;
}

std::filesystem::path WriteTone()
{
    const uint64_t ullFrames = 2 * FILE_RATE;
    std::vector<double> Signal(2 * ullFrames);
    for (uint64_t n = 0; n < ullFrames; ++n)
    {
        const double t = static_cast<double>(n) / FILE_RATE;
        // Phase offsets: the very first frame is already sound.
        Signal[2 * n] = 0.5 * std::sin(2.0 * std::numbers::pi * 997.0 * t + 1.0);
        Signal[2 * n + 1] = 0.3 * std::sin(2.0 * std::numbers::pi * 1499.0 * t + 2.0);
    }
    return TestFiles::Write("server-bench.wav", WaveFileBuilder::PcmWave(Signal, 2, FILE_RATE, 16));
}

double Milliseconds(Clock::duration Span)
{
    return std::chrono::duration<double, std::milli>(Span).count();
}
} // namespace

int main(int argc, char** argv)
{
    uint32_t uiPlays = 10;
    for (int i = 1; i < argc; ++i)
    {
        if (std::strcmp(argv[i], "--plays") == 0 && i + 1 < argc)
        {
            uiPlays = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
        }
        else
        {
            std::fprintf(stderr, "usage: %s [--plays N]\n", argv[0]);
            return 2;
        }
    }
    const char* pLog = std::getenv("LARKSPUR_PULSE_SERVER_LOG");
    if (pLog == nullptr || uiPlays == 0)
    {
        std::fprintf(stderr,
                     "server_bench: run it through scripts/with-pulse-server.sh (a private server)\n");
        return 2;
    }
    unsetenv("LARKSPUR_AUDIO");
    const auto Path = WriteTone();
    std::unique_ptr<SAudioClientLayer> pLayer = CreatePlatformAudioLayer();
    RecordingDialogHost Host;
    RecordingLauncher Launcher;
    PlaybackObjectFactory Factory;
    const uint32_t uiBeforeOpen = ServerConnections(pLog);
    ProgramEntry Entry(pLayer.get(), &Launcher, Host, nullptr, &Factory);
    Host.SetHandler(&Entry.GetDialog());
    if (Entry.Begin() < 0)
    {
        std::fprintf(stderr, "server_bench: the player did not start\n");
        return 1;
    }
    Host.Open();
    Host.ScriptFileChoice(TestFiles::Wide(Path));
    Host.Click(ID_CHOOSE_FILE);
    const uint32_t uiOpening = ServerConnections(pLog) - uiBeforeOpen;

    std::printf(
        "Play on a private sound server (null sinks at 44.1 and 48 kHz): time from Play to the first\n"
        "sound on the sink's monitor, and the server's new connections in that time. Opening the\n"
        "dialog and listing the devices took %u connection(s).\n\n",
        uiOpening);
    std::printf("%6s %-22s %16s %12s  %s\n", "play", "device", "first sound ms", "connections", "opened at");
    PulseMonitorRecorder Monitor44("larkspur_44k.monitor", 44100);
    PulseMonitorRecorder Monitor48("larkspur_48k.monitor", 48000);
    // An idle null sink has rendered up to 2 s of silence ahead; once both monitors deliver in small
    // steps, the sinks render as they play.
    Monitor44.WaitFor(Monitor44.Frames() + 44100 * 5 / 2);
    Monitor48.WaitFor(Monitor48.Frames() + 48000 * 5 / 2);
    std::vector<double> Times;
    uint32_t uiMostConnections = 0;
    int iFailures = 0;
    for (uint32_t uiPlay = 1; uiPlay <= 2 * uiPlays; ++uiPlay)
    {
        // The device combo: the default device first, then the sinks in the server's order.
        const bool bDefault = uiPlay <= uiPlays;
        Host.SelectEntry(ID_DEVICE_COMBO, bDefault ? 0 : 2);
        PulseMonitorRecorder& Recorder = bDefault ? Monitor44 : Monitor48;
        const uint32_t uiBefore = ServerConnections(pLog);
        const Clock::time_point Play = Clock::now();
        Host.Click(ID_PLAY);
        Clock::time_point Sound{};
        bool bSounded = false;
        while (PlayerState::Instance().bPlaying == 1 && Clock::now() - Play < FIRST_SOUND_LIMIT &&
               !(bSounded = Recorder.FirstSoundAfter(Play, Sound)))
        {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        const uint32_t uiConnections = ServerConnections(pLog) - uiBefore;
        const std::u16string Rate = Host.Cell(ID_DEVICE_LIST, 0, 1);
        const std::u16string Mode = Host.Cell(ID_DEVICE_LIST, 2, 1);
        Host.Click(ID_STOP);
        const char* pDevice = bDefault ? "default (44.1 kHz sink)" : "Test output 48 kHz";
        uiMostConnections = std::max(uiMostConnections, uiConnections);
        if (!bSounded)
        {
            std::printf("%6u %-22s %16s %12u\n", uiPlay, pDevice, "no sound", uiConnections);
            ++iFailures;
            continue;
        }
        const double dfMs = Milliseconds(Sound - Play);
        Times.push_back(dfMs);
        std::printf("%6u %-22s %16.1f %12u  %s Hz %s\n", uiPlay, pDevice, dfMs, uiConnections,
                    WideToUtf8(Rate).c_str(), Mode == u"共有モード" ? "shared" : "exclusive");
        std::fflush(stdout);
    }
    Entry.End();
    if (Times.empty())
    {
        return 1;
    }
    std::sort(Times.begin(), Times.end());
    const double dfMedian = Times[Times.size() / 2];
    std::printf("\nfirst sound: min %.1f ms, median %.1f ms, max %.1f ms (target %.0f ms); most connections "
                "per Play %u (target %u)\n",
                Times.front(), dfMedian, Times.back(), FIRST_SOUND_TARGET_MS, uiMostConnections,
                CONNECTIONS_TARGET);
    const bool bMet = Times.back() <= FIRST_SOUND_TARGET_MS && uiMostConnections <= CONNECTIONS_TARGET;
    return iFailures == 0 && bMet ? 0 : 1;
}
