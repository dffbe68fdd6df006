// The whole player under a seeded random script, for many cycles: files good and bad, Play, slider
// storms, Pause, Play while playing, Stop, faults injected into the device and into object
// creation. After every step it checks what must always hold: no thread left running after a
// stop, every stop within its bound, the controls in the state the player is in, and memory flat
// over the cycles. Not part of the timed test run: scripts/soak.sh CYCLES [SEED] runs it under the
// sanitizers. LARKSPUR_SOAK_CYCLES and LARKSPUR_SOAK_SEED choose the run.
#include "app/dialog/DialogControlIds.h"
#include "app/player/PlayerScales.h"
#include "app/player/RateTable.h"
#include "output/CSoundStreamWASAPI.h"
#include "runtime/CMultiThreadWin.h"
#include "tests/common/TestFiles.h"
#include "tests/common/WaveFileBuilder.h"
#include "tests/dialog/PlayerRig.h"

#include <gtest/gtest.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

using namespace DialogControlIds;

namespace
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool SANITIZED_BUILD = true;
#else
constexpr bool SANITIZED_BUILD = false;
#endif

uint64_t EnvironmentNumber(const char* pName, uint64_t ullDefault)
{
    const char* pValue = std::getenv(pName);
    return pValue != nullptr && *pValue != 0 ? std::strtoull(pValue, nullptr, 10) : ullDefault;
}

// Resident memory in KiB, from the kernel's view of this process (0 where there is none).
uint64_t ResidentKiB()
{
    std::ifstream Status("/proc/self/status");
    std::string Line;
    while (std::getline(Status, Line))
    {
        if (Line.rfind("VmRSS:", 0) == 0)
        {
            return std::strtoull(Line.c_str() + 6, nullptr, 10);
        }
    }
    return 0;
}

// Bytes the allocator has handed out and not got back (0 where the C library cannot say).
uint64_t HeapInUseKiB()
{
#if defined(__GLIBC__) && (__GLIBC__ > 2 || __GLIBC_MINOR__ >= 33)
    return mallinfo2().uordblks / 1024;
#else
    return 0;
#endif
}

struct MemoryLow
{
    uint64_t ullResidentKiB = UINT64_MAX;
    uint64_t ullHeapKiB = UINT64_MAX;

    void Take()
    {
        ullResidentKiB = std::min(ullResidentKiB, ResidentKiB());
        ullHeapKiB = std::min(ullHeapKiB, HeapInUseKiB());
    }
};

std::vector<double> Tone(uint64_t ullFrames, uint32_t uiChannels, uint32_t uiRate)
{
    std::vector<double> Signal(ullFrames * uiChannels);
    for (uint64_t n = 0; n < ullFrames; ++n)
    {
        for (uint32_t c = 0; c < uiChannels; ++c)
        {
            Signal[n * uiChannels + c] =
                0.5 * std::sin(2.0 * 3.14159265358979 * (440.0 + 110.0 * c) * n / uiRate);
        }
    }
    return Signal;
}

// The files the script chooses from: accepted ones first, then those the reader refuses.
std::vector<std::filesystem::path> MakeFiles(size_t& uAccepted)
{
    std::vector<std::filesystem::path> Files;
    Files.push_back(
        TestFiles::Write("soak-good.wav", WaveFileBuilder::PcmWave(Tone(22050, 2, 44100), 2, 44100, 16)));
    Files.push_back(
        TestFiles::Write("soak-one-frame.wav", WaveFileBuilder::PcmWave(Tone(1, 2, 44100), 2, 44100, 16)));
    Files.push_back(
        TestFiles::Write("soak-8k.wav", WaveFileBuilder::PcmWave(Tone(4000, 1, 8000), 1, 8000, 8)));
    Files.push_back(
        TestFiles::Write("soak-384k.wav", WaveFileBuilder::PcmWave(Tone(96000, 2, 384000), 2, 384000, 24)));
    Files.push_back(
        TestFiles::Write("soak-six.wav", WaveFileBuilder::PcmWave(Tone(24000, 6, 48000), 6, 48000, 16)));
    // A header announcing more data than the file holds: it plays what is there.
    Files.push_back(TestFiles::Write(
        "soak-truncated.wav",
        WaveFileBuilder().Pcm(2, 44100, 16).Samples(Tone(8000, 2, 44100)).DataSizeField(10000000).Build()));
    // Many chunks before the sound.
    WaveFileBuilder Large;
    Large.Pcm(2, 48000, 24);
    for (int i = 0; i < 200; ++i)
    {
        Large.ChunkBeforeData("JUNK", WaveFileBuilder::Bytes(97, 0));
    }
    Files.push_back(TestFiles::Write("soak-huge-header.wav", Large.Samples(Tone(4800, 2, 48000)).Build()));
    uAccepted = Files.size();
    Files.push_back(TestFiles::Write("soak-garbage.wav", WaveFileBuilder::Bytes(300, 0x5A)));
    Files.push_back(TestFiles::Write(
        "soak-float.wav",
        WaveFileBuilder().Pcm(1, 48000, 32).FormatTag(3).Data(WaveFileBuilder::Bytes(64, 0)).Build()));
    return Files;
}

// The controls must show the state the player is in.
void CheckControls(PlayerRig& Rig, const char* pStep)
{
    const bool bPlaying = Rig.State.bPlaying != 0;
    const bool bPaused = Rig.State.bPaused.load() != 0;
    const bool bStoppedSide = !bPlaying;
    for (const int32_t iId :
         {ID_CHOOSE_FILE, ID_DEVICE_COMBO, ID_RATE_COMBO, ID_BIT_FIELD, ID_ENHANCER_CHECK, ID_SETTINGS})
    {
        ASSERT_EQ(Rig.Host.IsEnabled(iId), bStoppedSide) << pStep << ": control " << iId;
    }
    ASSERT_EQ(Rig.Host.IsEnabled(ID_STOP), bPlaying) << pStep;
    if (bPlaying)
    {
        ASSERT_EQ(Rig.Host.IsEnabled(ID_PAUSE), !bPaused) << pStep;
        ASSERT_EQ(Rig.Host.IsEnabled(ID_PLAY), bPaused) << pStep;
    }
    else
    {
        ASSERT_FALSE(Rig.Host.IsEnabled(ID_PAUSE)) << pStep;
    }
}

// After a stop nothing of the playback runs.
void CheckNothingRuns(PlayerRig& Rig, const char* pStep)
{
    if (Rig.State.pPlaybackThread != nullptr)
    {
        ASSERT_NE(Rig.State.pPlaybackThread->GetState(), THREAD_STATE_RUNNING) << pStep;
    }
    if (Rig.State.pSoundStream != nullptr)
    {
        ASSERT_EQ(Rig.State.pSoundStream->IsRunning(), 0) << pStep;
    }
}
} // namespace

TEST(PlayerSoak, RandomScriptWithFaults)
{
    const uint64_t ullCycles = EnvironmentNumber("LARKSPUR_SOAK_CYCLES", 20);
    const uint64_t ullSeed = EnvironmentNumber("LARKSPUR_SOAK_SEED", 1);
    std::mt19937_64 Random(ullSeed);
    auto Chance = [&Random](uint32_t uiPercent) { return Random() % 100 < uiPercent; };

    PlayerRig Rig;
    Rig.Host.Open();
    size_t uAccepted = 0;
    const std::vector<std::filesystem::path> Files = MakeFiles(uAccepted);
    // The least memory seen at the end of a stopped cycle, in the tenth after the warm-up and in the
    // last tenth: what one playback keeps varies with its file, the least of many does not.
    MemoryLow AfterWarmUp;
    MemoryLow AtTheEnd;
    uint64_t ullStops = 0;
    uint64_t ullStarts = 0;

    for (uint64_t ullCycle = 0; ullCycle < ullCycles && !::testing::Test::HasFatalFailure(); ++ullCycle)
    {
        // A device for this cycle that accepts a random part of the rate table, sometimes nothing.
        auto pDevice = std::make_shared<VirtualAudioDevice>();
        pDevice->UseRealTimeClock(1);
        for (uint32_t i = 0; i < RateTable::COUNT; ++i)
        {
            if (Chance(35))
            {
                pDevice->AcceptFormat(Chance(50) ? AUDIO_SHAREMODE_EXCLUSIVE : AUDIO_SHAREMODE_SHARED,
                                      RateTable::Hz(i), Chance(50) ? 16 : 24);
            }
        }
        Rig.pDevice->Vanish();
        Rig.pDevice->ForgetWrittenBytes();
        Rig.Layer.RemoveVanishedDevices();
        Rig.Host.ClearTranscript();
        Rig.pDevice = pDevice;
        Rig.Layer.AddDevice(pDevice);
        Rig.Layer.SetDefaultDevice(pDevice);
        Rig.Host.SelectEntry(ID_DEVICE_COMBO, 0);

        // Faults of this cycle.
        Rig.Factory.bFailStream = Chance(3);
        Rig.Factory.bFailInputBuffer = Chance(3);
        Rig.Factory.bFailOutputBuffer = Chance(3);
        Rig.Factory.bFailWorkerStart = Chance(3);
        Rig.Factory.bFailPrepareRender = Chance(3);
        Rig.Factory.bFailCapacityLimit = Chance(2);
        if (Chance(10))
        {
            pDevice->FailAfter(VirtualOperation::GetBuffer, Random() % 40);
        }
        if (Chance(10))
        {
            Rig.Host.SelectEntry(ID_RATE_COMBO, static_cast<int32_t>(Random() % RateTable::COUNT));
        }
        if (Chance(10))
        {
            Rig.Host.TypeText(ID_BIT_FIELD, Chance(50) ? u"40" : u"7");
        }

        if (Rig.State.bPlaying == 0 && Chance(60))
        {
            Rig.ChooseFile(Files[Random() % Files.size()]);
            CheckControls(Rig, "choose");
        }
        const int32_t iSteps = 3 + static_cast<int32_t>(Random() % 6);
        for (int32_t iStep = 0; iStep < iSteps && !::testing::Test::HasFatalFailure(); ++iStep)
        {
            switch (Random() % 8)
            {
            case 0:
            case 1:
                if (Rig.Host.Click(ID_PLAY))
                {
                    ++ullStarts;
                }
                CheckControls(Rig, "play");
                break;
            case 2: // a storm of slider moves
                for (int i = 0; i < 200; ++i)
                {
                    Rig.Host.MoveSlider(ID_SPEED_SLIDER, static_cast<int32_t>(Random() % 281));
                    Rig.Host.MoveSlider(ID_VOLUME_SLIDER, static_cast<int32_t>(Random() % 801));
                }
                break;
            case 3:
                Rig.Host.Click(ID_PAUSE);
                CheckControls(Rig, "pause");
                break;
            case 4: // Play arriving while playing (a command the disabled button would not send)
                Rig.pEntry->GetDialog().OnCommand(ID_PLAY);
                CheckControls(Rig, "play while playing");
                break;
            case 5:
            case 6: // let it play a little, with the progress timer running
                for (int i = 0; i < 5; ++i)
                {
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                    Rig.Host.FireTimer();
                }
                CheckControls(Rig, "timer");
                break;
            default:
            {
                const bool bWasPlaying = Rig.State.bPlaying != 0;
                const auto Started = std::chrono::steady_clock::now();
                Rig.Host.Click(ID_STOP);
                const auto Elapsed = std::chrono::steady_clock::now() - Started;
                if (bWasPlaying)
                {
                    ++ullStops;
                    // Converter and device latency plus the margin, with room for a loaded machine.
                    EXPECT_LT(Elapsed, std::chrono::milliseconds(2000)) << "cycle " << ullCycle;
                }
                CheckNothingRuns(Rig, "stop");
                CheckControls(Rig, "stop");
                break;
            }
            }
        }
        if (Rig.State.bPlaying != 0 && Chance(50))
        {
            Rig.Host.Click(ID_STOP);
            ++ullStops;
            CheckNothingRuns(Rig, "cycle end");
            CheckControls(Rig, "cycle end");
        }
        Rig.Factory.bFailStream = Rig.Factory.bFailInputBuffer = Rig.Factory.bFailOutputBuffer = false;
        Rig.Factory.bFailWorkerStart = Rig.Factory.bFailPrepareRender = Rig.Factory.bFailCapacityLimit =
            false;
        if (Rig.State.bPlaying == 0 && ullCycle >= ullCycles / 5 && ullCycle < ullCycles * 3 / 10)
        {
            AfterWarmUp.Take();
        }
        if (Rig.State.bPlaying == 0 && ullCycle >= ullCycles * 9 / 10)
        {
            AtTheEnd.Take();
        }
    }
    if (Rig.State.bPlaying != 0)
    {
        Rig.Host.Click(ID_STOP);
        CheckNothingRuns(Rig, "end");
    }
    std::printf("soak: %llu cycles, %llu starts, %llu stops; least resident %llu KiB after warm-up, %llu KiB "
                "at the end; least heap in use %llu KiB after warm-up, %llu KiB at the end\n",
                static_cast<unsigned long long>(ullCycles), static_cast<unsigned long long>(ullStarts),
                static_cast<unsigned long long>(ullStops),
                static_cast<unsigned long long>(AfterWarmUp.ullResidentKiB),
                static_cast<unsigned long long>(AtTheEnd.ullResidentKiB),
                static_cast<unsigned long long>(AfterWarmUp.ullHeapKiB),
                static_cast<unsigned long long>(AtTheEnd.ullHeapKiB));
    // Flat: a long run adds at most a few playbacks' worth beyond the warm-up. The sanitizers hold
    // freed memory back on purpose (and AddressSanitizer reports leaks at exit), so memory says
    // nothing under them.
    if (ullCycles >= 50 && AfterWarmUp.ullResidentKiB != UINT64_MAX &&
        AtTheEnd.ullResidentKiB != UINT64_MAX && !SANITIZED_BUILD)
    {
        EXPECT_LT(AtTheEnd.ullResidentKiB, AfterWarmUp.ullResidentKiB + 16 * 1024);
        EXPECT_LT(AtTheEnd.ullHeapKiB, AfterWarmUp.ullHeapKiB + 2 * 1024);
    }
}
