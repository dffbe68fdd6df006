// The whole player at work: the dialog logic and the controller on a recording dialog host, the
// reader, the playback thread, the converter, the sound buffer, the render thread and the quantiser
// on the virtual device running on its real-time clock. For each case it reports the CPU time of
// each thread per second of audio, the peak resident memory of the playback above the idle program
// and the time from Play to the first non-silent sample, once with a device that takes the first
// format the ladder offers and once with one that refuses the first 20 attempts. Beside the WAV
// cases, an MP3 and a FLAC file (made by the ffmpeg tool at run time) are played through the decoder. Every
// case runs in a process of its own, so the memory figures and the player record start clean. First it
// measures the floor: the player's two real-time threads waking every millisecond with nothing to do (the
// waits of the design), and it gives each case's total as a multiple of that floor.
//
// Last, keep pitch: the 44.1 kHz -> 48 kHz case with the time-stretcher against the same case
// tape-style, the CPU and memory it adds.
//
//   player_bench [--seconds S] [--keep-pitch]   S seconds of sound per case (default 4); only the
//                                               keep-pitch table
#include "app/dialog/DialogControlIds.h"
#include "app/dialog/ProgramEntry.h"
#include "app/player/PlaybackObjectFactory.h"
#include "app/player/PlayerScales.h"
#include "app/player/PlayerState.h"
#include "app/player/RateTable.h"
#include "conversion/TimeStretcher.h"
#include "output/AudioClientConstants.h"
#include "output/CSoundStreamWASAPI.h"
#include "runtime/CMultiThreadWin.h"
#include "runtime/CMultimediaTimer.h"
#include "tests/common/RecordingDialogHost.h"
#include "tests/common/RecordingLauncher.h"
#include "tests/common/TestFiles.h"
#include "tests/common/WaveFileBuilder.h"
#include "tests/scripted/CVirtualAudioLayer.h"
#include "tests/scripted/VirtualAudioDevice.h"

#include <malloc.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

using namespace DialogControlIds;
using Clock = std::chrono::steady_clock;

namespace
{
constexpr double WARM_UP_SECONDS = 0.5;
// How long a ladder run may take to make its first sound before it counts as failed.
constexpr double FIRST_SOUND_LIMIT_SECONDS = 3.0;
constexpr uint32_t REFUSED_ATTEMPTS = 20;

struct BenchCase
{
    uint32_t uiFileRate;
    uint32_t uiFileBits;
    uint32_t uiDeviceIndex; // in the rate table
    uint32_t uiDeviceBits;
    // A coding the file is made in by the ffmpeg tool (its name, file extension and encoder
    // options); null for the WAV file itself.
    const char* pCoding = nullptr;
    const char* pExtension = nullptr;
    const char* pEncoder = nullptr;
};

constexpr BenchCase CASES[] = {{44100, 16, 10, 16},
                               {44100, 16, 8, 24},
                               {48000, 24, 6, 24},
                               {96000, 24, 0, 32},
                               {8000, 16, 0, 32},
                               {44100, 16, 10, 16, "MP3", "mp3", "-c:a libmp3lame -b:a 192k"},
                               {44100, 16, 10, 16, "FLAC", "flac", "-c:a flac"}};
constexpr int32_t SPEED_POSITIONS[] = {PlayerScales::SPEED_CENTRE_POSITION,
                                       PlayerScales::SPEED_MAXIMUM_POSITION};

// What one run in a child process reports back.
struct RunResult
{
    int32_t bPlayed = 0;
    int32_t bSounded = 0;
    double dfPlaybackCpu = 0.0; // CPU seconds per second of audio
    double dfRenderCpu = 0.0;
    double dfTotalCpu = 0.0;
    double dfPeakMiB = 0.0;
    double dfReleasedMs = 0.0; // Play to the first non-zero sample handed to the device
    double dfPlayedMs = 0.0;   // ... and to the device playing it
    uint32_t uiAttempts = 0;   // ladder attempts until the device took a format
    uint64_t ullUnderrunFrames = 0;
};

double Seconds(const timespec& Time)
{
    return static_cast<double>(Time.tv_sec) + 1e-9 * static_cast<double>(Time.tv_nsec);
}

// CPU seconds of one thread of this process, by its kernel id (the kernel's per-thread CPU clock).
double ThreadCpuSeconds(uint32_t uiThreadId)
{
    if (uiThreadId == 0)
    {
        return 0.0;
    }
    const clockid_t Id = static_cast<clockid_t>((~static_cast<clockid_t>(uiThreadId) << 3) | 6);
    timespec Time{};
    return clock_gettime(Id, &Time) == 0 ? Seconds(Time) : 0.0;
}

double ProcessCpuSeconds()
{
    timespec Time{};
    return clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &Time) == 0 ? Seconds(Time) : 0.0;
}

// A line of /proc/self/status in KiB (VmRSS, VmHWM).
double StatusKiB(const char* pKey)
{
    std::ifstream Status("/proc/self/status");
    std::string Line;
    const size_t uLength = std::strlen(pKey);
    while (std::getline(Status, Line))
    {
        if (Line.compare(0, uLength, pKey) == 0)
        {
            return std::strtod(Line.c_str() + uLength, nullptr);
        }
    }
    return 0.0;
}

double Milliseconds(Clock::duration Span)
{
    return std::chrono::duration<double, std::milli>(Span).count();
}

// Where in the ladder (exclusive downward from the maximum, shared downward, exclusive upward,
// shared upward) the controller tries the shared format at uiTarget, with the maximum at uiMaximum.
uint32_t SharedAttemptNumber(uint32_t uiMaximum, uint32_t uiTarget)
{
    const uint32_t uiDownward = RateTable::COUNT - uiMaximum;
    if (uiTarget >= uiMaximum)
    {
        return uiDownward + (uiTarget - uiMaximum) + 1;
    }
    return 2 * uiDownward + (uiMaximum + 1) + (uiMaximum - uiTarget) + 1;
}

// A maximum at which the device, accepting only the shared format at the case's rate, refuses the
// first REFUSED_ATTEMPTS attempts; the closest when none gives exactly that.
uint32_t MaximumForRefusals(uint32_t uiTarget)
{
    uint32_t uiBest = uiTarget;
    int64_t iBestDistance = INT64_MAX;
    for (uint32_t m = 0; m < RateTable::COUNT; ++m)
    {
        const int64_t iDistance =
            std::llabs(static_cast<int64_t>(SharedAttemptNumber(m, uiTarget)) - (REFUSED_ATTEMPTS + 1));
        if (iDistance < iBestDistance)
        {
            iBestDistance = iDistance;
            uiBest = m;
        }
    }
    return uiBest;
}

std::filesystem::path WriteToneFile(const BenchCase& Case, double dfSeconds)
{
    const auto ullFrames = static_cast<uint64_t>(dfSeconds * Case.uiFileRate);
    std::vector<double> Signal(2 * ullFrames);
    for (uint64_t n = 0; n < ullFrames; ++n)
    {
        const double t = static_cast<double>(n) / Case.uiFileRate;
        // Phase offsets: the very first frame is already sound.
        Signal[2 * n] = 0.5 * std::sin(2.0 * std::numbers::pi * 997.0 * t + 1.0);
        Signal[2 * n + 1] = 0.3 * std::sin(2.0 * std::numbers::pi * 1499.0 * t + 2.0);
    }
    const auto Wave = TestFiles::Write("player-bench.wav",
                                       WaveFileBuilder::PcmWave(Signal, 2, Case.uiFileRate, Case.uiFileBits));
    if (Case.pCoding == nullptr)
    {
        return Wave;
    }
    // The other codings are decoded while playing: made from the WAV file at run time.
    const auto Coded = TestFiles::PathFor(std::string("player-bench.") + Case.pExtension);
    const std::string Command = "ffmpeg -nostdin -v error -y -i '" + Wave.string() + "' " + Case.pEncoder +
                                " '" + Coded.string() + "'";
    if (std::system(Command.c_str()) != 0)
    {
        std::fprintf(stderr, "player_bench: the ffmpeg tool could not make the %s file\n", Case.pCoding);
        return {};
    }
    return Coded;
}

// One playback, in the calling (child) process. bLadder: the device refuses the first 20 attempts
// and the run ends at the first sound; otherwise it plays dfSeconds and measures everything.
RunResult RunCase(const BenchCase& Case, int32_t iSpeedPosition, bool bLadder, double dfSeconds,
                  bool bKeepPitch)
{
    RunResult Result;
    const double dfSpeed = PlayerScales::SpeedOfPosition(iSpeedPosition);
    const auto Path = WriteToneFile(Case, dfSeconds * dfSpeed + 2.0);
    if (Path.empty())
    {
        return Result;
    }

    PlayerState& State = PlayerState::Instance();
    CVirtualAudioLayer Layer;
    auto pDevice = std::make_shared<VirtualAudioDevice>();
    const uint32_t uiDeviceRate = RateTable::Hz(Case.uiDeviceIndex);
    uint32_t uiMaximum = Case.uiDeviceIndex;
    if (bLadder)
    {
        uiMaximum = MaximumForRefusals(Case.uiDeviceIndex);
        pDevice->AcceptFormat(AUDIO_SHAREMODE_SHARED, uiDeviceRate, Case.uiDeviceBits);
    }
    else
    {
        pDevice->AcceptFormat(AUDIO_SHAREMODE_EXCLUSIVE, uiDeviceRate, Case.uiDeviceBits);
    }
    pDevice->UseRealTimeClock(1);
    pDevice->RecordWrittenBytes(0);
    Layer.AddDevice(pDevice);

    RecordingDialogHost Host;
    RecordingLauncher Launcher;
    PlaybackObjectFactory Factory;
    ProgramEntry Entry(&Layer, &Launcher, Host, nullptr, &Factory);
    Host.SetHandler(&Entry.GetDialog());
    if (Entry.Begin() < 0)
    {
        return Result;
    }
    Host.Open();
    Host.ScriptFileChoice(TestFiles::Wide(Path));
    Host.Click(ID_CHOOSE_FILE);
    Host.SelectEntry(ID_RATE_COMBO, static_cast<int32_t>(RateTable::ComboSelection(uiMaximum)));
    Host.TypeText(ID_BIT_FIELD, std::u16string(Case.uiDeviceBits == 16   ? u"16"
                                               : Case.uiDeviceBits == 24 ? u"24"
                                                                         : u"32"));
    Host.MoveSlider(ID_SPEED_SLIDER, iSpeedPosition);
    Entry.GetDialog().GetSession().SetKeepPitch(bKeepPitch);

    // The idle program: everything but the playback is in place.
    malloc_trim(0);
    const double dfIdleKiB = StatusKiB("VmRSS:");
    std::ofstream("/proc/self/clear_refs") << "5";

    const uint64_t ullAttemptsBefore = pDevice->GetCallCount(VirtualOperation::Activate);
    const Clock::time_point Play = Clock::now();
    Host.Click(ID_PLAY);
    Result.uiAttempts =
        static_cast<uint32_t>(pDevice->GetCallCount(VirtualOperation::Activate) - ullAttemptsBefore);
    if (State.bPlaying != 1 || State.pPlaybackThread == nullptr || State.pSoundStream == nullptr)
    {
        Entry.End();
        return Result;
    }
    Result.bPlayed = 1;
    const uint32_t uiPlaybackThread = State.pPlaybackThread->GetThreadId(0);
    const uint32_t uiRenderThread = State.pSoundStream->GetWorker().GetThreadId(0);

    // The UI thread's part: the progress timer every 10 ms, as the dialog runs it.
    const double dfEnd = bLadder ? FIRST_SOUND_LIMIT_SECONDS : dfSeconds;
    double dfPlayback0 = 0.0, dfRender0 = 0.0, dfTotal0 = 0.0;
    Clock::time_point Measured0{};
    bool bSampled = false;
    Clock::time_point Next = Play;
    Clock::time_point Released{}, Played{};
    for (;;)
    {
        Next += std::chrono::milliseconds(PlayerScales::PROGRESS_TIMER_MS);
        std::this_thread::sleep_until(Next);
        Host.FireTimer(PlayerScales::PROGRESS_TIMER_ID);
        const double dfElapsed = std::chrono::duration<double>(Clock::now() - Play).count();
        if (!bSampled && dfElapsed >= WARM_UP_SECONDS && !bLadder)
        {
            Measured0 = Clock::now();
            dfPlayback0 = ThreadCpuSeconds(uiPlaybackThread);
            dfRender0 = ThreadCpuSeconds(uiRenderThread);
            dfTotal0 = ProcessCpuSeconds();
            bSampled = true;
        }
        if (dfElapsed >= dfEnd || State.bPlaying != 1 ||
            (bLadder && pDevice->GetFirstSoundTimes(Released, Played)))
        {
            break;
        }
    }
    if (!bLadder && bSampled)
    {
        const double dfAudio = std::chrono::duration<double>(Clock::now() - Measured0).count();
        Result.dfPlaybackCpu = (ThreadCpuSeconds(uiPlaybackThread) - dfPlayback0) / dfAudio;
        Result.dfRenderCpu = (ThreadCpuSeconds(uiRenderThread) - dfRender0) / dfAudio;
        Result.dfTotalCpu = (ProcessCpuSeconds() - dfTotal0) / dfAudio;
        Result.dfPeakMiB = (StatusKiB("VmHWM:") - dfIdleKiB) / 1024.0;
        Result.ullUnderrunFrames = pDevice->GetStreamState().ullUnderrunFrames;
    }
    if (pDevice->GetFirstSoundTimes(Released, Played))
    {
        Result.bSounded = 1;
        Result.dfReleasedMs = Milliseconds(Released - Play);
        Result.dfPlayedMs = Milliseconds(Played - Play);
    }
    Host.Click(ID_STOP);
    Entry.End();
    return Result;
}

// The floor: two worker threads like the playback and render threads (time-critical, each on its
// own precise 1 ms timer, looking at its stop event at every wake-up) that do nothing else, and the
// 10 ms loop of the user-interface thread, measured like a case. CPU seconds per second.
uint64_t IdleBody(ThreadContext* pContext)
{
    CMultimediaTimer Timer;
    SEvent* pStop = pContext->pOwner->GetStopEvent();
    while (pStop->Wait(0) <= 0)
    {
        if (Timer.Sleep(1) < 0)
        {
            std::this_thread::yield();
        }
    }
    return 0;
}

double MeasureFloor(double dfSeconds)
{
    CMultiThreadWin Threads[2];
    for (CMultiThreadWin& Group : Threads)
    {
        if (Group.Create(1) != 1)
        {
            return 0.0;
        }
        Group.SetPriority(1);
        if (Group.Start(IdleBody) != 1)
        {
            return 0.0;
        }
    }
    const Clock::time_point Begin = Clock::now();
    Clock::time_point Next = Begin;
    Clock::time_point Measured0{};
    double dfTotal0 = 0.0;
    bool bSampled = false;
    for (;;)
    {
        Next += std::chrono::milliseconds(PlayerScales::PROGRESS_TIMER_MS);
        std::this_thread::sleep_until(Next);
        const double dfElapsed = std::chrono::duration<double>(Clock::now() - Begin).count();
        if (!bSampled && dfElapsed >= WARM_UP_SECONDS)
        {
            Measured0 = Clock::now();
            dfTotal0 = ProcessCpuSeconds();
            bSampled = true;
        }
        if (dfElapsed >= dfSeconds)
        {
            break;
        }
    }
    const double dfFloor =
        (ProcessCpuSeconds() - dfTotal0) / std::chrono::duration<double>(Clock::now() - Measured0).count();
    for (CMultiThreadWin& Group : Threads)
    {
        Group.RequestStop();
        Group.WaitForExit();
    }
    return dfFloor;
}

// A case's total as a multiple of the floor.
std::string TimesFloor(double dfTotal, double dfFloor)
{
    char Text[32];
    std::snprintf(Text, sizeof(Text), "%.2f", dfFloor > 0.0 ? dfTotal / dfFloor : 0.0);
    return Text;
}

// Runs one case in a child process and collects its result.
RunResult RunInChild(const BenchCase& Case, int32_t iSpeedPosition, bool bLadder, double dfSeconds,
                     bool bKeepPitch = false)
{
    std::fflush(stdout);
    int Pipe[2];
    if (pipe(Pipe) != 0)
    {
        return {};
    }
    const pid_t Child = fork();
    if (Child == 0)
    {
        close(Pipe[0]);
        const RunResult Result = RunCase(Case, iSpeedPosition, bLadder, dfSeconds, bKeepPitch);
        const ssize_t iWritten = write(Pipe[1], &Result, sizeof(Result));
        close(Pipe[1]);
        std::exit(iWritten == static_cast<ssize_t>(sizeof(Result)) ? 0 : 1);
    }
    close(Pipe[1]);
    RunResult Result;
    if (Child > 0)
    {
        if (read(Pipe[0], &Result, sizeof(Result)) != static_cast<ssize_t>(sizeof(Result)))
        {
            Result = RunResult{};
        }
        int iStatus = 0;
        waitpid(Child, &iStatus, 0);
    }
    close(Pipe[0]);
    return Result;
}

std::string CaseName(const BenchCase& Case)
{
    char Text[64];
    std::snprintf(Text, sizeof(Text), "%s%s%g kHz -> %g kHz/%u", Case.pCoding != nullptr ? Case.pCoding : "",
                  Case.pCoding != nullptr ? " " : "", Case.uiFileRate / 1000.0,
                  RateTable::Frequency(Case.uiDeviceIndex) / 1000.0, Case.uiDeviceBits);
    return Text;
}

std::string Percent(double dfCpuPerSecond)
{
    char Text[32];
    std::snprintf(Text, sizeof(Text), "%.2f", 100.0 * dfCpuPerSecond);
    return Text;
}

std::string FirstSound(const RunResult& Run)
{
    char Text[48];
    if (Run.bPlayed == 0)
    {
        return "no playback";
    }
    if (Run.bSounded == 0)
    {
        return "no sound";
    }
    std::snprintf(Text, sizeof(Text), "%.0f (%.0f)", Run.dfPlayedMs, Run.dfReleasedMs);
    return Text;
}

// Targets: at most 4 % of a core and 8 MiB more than the same case tape-style.
constexpr double KEEP_PITCH_CPU_TARGET = 0.04;
constexpr double KEEP_PITCH_MEMORY_TARGET_MIB = 8.0;

bool PrintKeepPitchTable(double dfSeconds)
{
    TimeStretcher Sized;
    Sized.Setup(CASES[0].uiFileRate, 1.0);
    std::printf("\nKeep pitch: 44.1 kHz -> 48 kHz/16, the time-stretcher in front of the converter (at x1).\n"
                "The stretcher is made at every start in either mode, so that switching allocates nothing:\n"
                "%.2f MiB at 44.1 kHz.\n",
                static_cast<double>(Sized.GetAllocatedBytes()) / 1048576.0);
    std::printf("%-8s %14s %14s %12s %14s %14s %12s  %s\n", "speed", "tape total %", "keep total %",
                "added %", "tape peak MiB", "keep peak MiB", "added MiB", "targets (+4 %, +8 MiB)");
    bool bAllMet = true;
    for (const int32_t iPosition : {70, 120, 190, 280})
    {
        const RunResult Tape = RunInChild(CASES[0], iPosition, false, dfSeconds);
        const RunResult Keep = RunInChild(CASES[0], iPosition, false, dfSeconds, true);
        const double dfAdded = Keep.dfTotalCpu - Tape.dfTotalCpu;
        const double dfAddedMiB = Keep.dfPeakMiB - Tape.dfPeakMiB;
        const bool bMet = Keep.bSounded != 0 && Keep.ullUnderrunFrames == 0 &&
                          dfAdded <= KEEP_PITCH_CPU_TARGET && dfAddedMiB <= KEEP_PITCH_MEMORY_TARGET_MIB;
        bAllMet = bAllMet && bMet;
        std::printf("x%-7.4f %14s %14s %12s %14.1f %14.1f %12.1f  %s\n",
                    PlayerScales::SpeedOfPosition(iPosition), Percent(Tape.dfTotalCpu).c_str(),
                    Percent(Keep.dfTotalCpu).c_str(), Percent(dfAdded).c_str(), Tape.dfPeakMiB,
                    Keep.dfPeakMiB, dfAddedMiB, bMet ? "met" : "MISSED");
        std::fflush(stdout);
    }
    return bAllMet;
}
} // namespace

int main(int argc, char** argv)
{
    double dfSeconds = 4.0;
    bool bKeepPitchOnly = false;
    for (int i = 1; i < argc; ++i)
    {
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc)
        {
            dfSeconds = std::strtod(argv[++i], nullptr);
        }
        else if (std::strcmp(argv[i], "--keep-pitch") == 0)
        {
            bKeepPitchOnly = true;
        }
        else
        {
            std::fprintf(stderr, "usage: %s [--seconds S] [--keep-pitch]\n", argv[0]);
            return 2;
        }
    }
    if (!(dfSeconds >= 1.0))
    {
        std::fprintf(stderr, "player_bench: --seconds must be at least 1\n");
        return 2;
    }

    std::printf("Player: CPU in %% of one core (CPU seconds per second of audio x 100), measured from %.1f s "
                "after Play to %.1f s;\n",
                WARM_UP_SECONDS, dfSeconds);
    std::printf(
        "peak memory of the playback above the idle program; Play -> first sound played (handed to the "
        "device) in ms,\nat the first attempt and after %u refused attempts of the device ladder.\n\n",
        REFUSED_ATTEMPTS);
    if (bKeepPitchOnly)
    {
        return PrintKeepPitchTable(dfSeconds) ? 0 : 1;
    }
    const double dfFloor = MeasureFloor(dfSeconds);
    std::printf("Floor: the two real-time threads waking every 1 ms with nothing to do, and the 10 ms "
                "timer loop: %s %% (total / floor in the last column).\n\n",
                Percent(dfFloor).c_str());
    std::printf("%-30s %6s %9s %8s %8s %8s %9s %16s %22s %10s %9s\n", "case", "speed", "playback", "render",
                "other", "total", "peak MiB", "sound, 1st try", "sound, after refusals", "underruns",
                "x floor");
    int iFailures = 0;
    for (const BenchCase& Case : CASES)
    {
        for (const int32_t iPosition : SPEED_POSITIONS)
        {
            const RunResult Run = RunInChild(Case, iPosition, false, dfSeconds);
            const RunResult Ladder = RunInChild(Case, iPosition, true, dfSeconds);
            char Speed[16];
            std::snprintf(Speed, sizeof(Speed), "x%.2f", PlayerScales::SpeedOfPosition(iPosition));
            char Refused[48];
            std::snprintf(Refused, sizeof(Refused), "%s [%u refused]", FirstSound(Ladder).c_str(),
                          Ladder.uiAttempts > 0 ? Ladder.uiAttempts - 1 : 0);
            std::printf("%-30s %6s %9s %8s %8s %8s %9.1f %16s %22s %10llu %9s\n", CaseName(Case).c_str(),
                        Speed, Percent(Run.dfPlaybackCpu).c_str(), Percent(Run.dfRenderCpu).c_str(),
                        Percent(Run.dfTotalCpu - Run.dfPlaybackCpu - Run.dfRenderCpu).c_str(),
                        Percent(Run.dfTotalCpu).c_str(), Run.dfPeakMiB, FirstSound(Run).c_str(), Refused,
                        static_cast<unsigned long long>(Run.ullUnderrunFrames),
                        TimesFloor(Run.dfTotalCpu, dfFloor).c_str());
            std::fflush(stdout);
            iFailures += (Run.bSounded == 0 || Ladder.bSounded == 0) ? 1 : 0;
        }
    }
    iFailures += PrintKeepPitchTable(dfSeconds) ? 0 : 1;
    return iFailures == 0 ? 0 : 1;
}
