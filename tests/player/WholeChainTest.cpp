#include "app/player/PlaybackEngine.h"
#include "app/player/PlaybackObjectFactory.h"
#include "app/player/PlaybackThreadBody.h"
#include "app/player/PlayerState.h"
#include "app/player/RateTable.h"
#include "output/AudioClientConstants.h"
#include "output/CSoundStreamWASAPI.h"
#include "runtime/CMultiThreadWin.h"
#include "soundbuffer/IntelligentSoundBuffer.h"
#include "tests/common/ChainSignals.h"
#include "tests/common/TestFiles.h"
#include "tests/common/WaveFileBuilder.h"
#include "tests/scripted/CVirtualAudioLayer.h"
#include "tests/scripted/VirtualAudioDevice.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

// The whole output chain as the engine starts it: reader -> playback thread -> intelligent sound
// buffer -> buffer callback -> render thread -> quantiser -> virtual device. The device clock is
// moved by the test, one sound-buffer period at a time, and only once the sound buffer holds what
// the render thread will take, so the producer never falls behind and the words written do not
// depend on timing. They must equal the offline render's.

namespace
{
constexpr uint32_t WAIT_MS = 30000;

struct ChainCase
{
    uint32_t uiFileRate;
    uint32_t uiFileBits;
    uint32_t uiDeviceRate;
    uint32_t uiDeviceBits;
    double dfSpeed;
    double dfVolumeDb;
    int32_t bKeepPitch = 0;
};

std::string Describe(const ChainCase& Case)
{
    return std::to_string(Case.uiFileRate) + " Hz -> " + std::to_string(Case.uiDeviceRate) + " Hz / " +
           std::to_string(Case.uiDeviceBits) + " bits at x" + std::to_string(Case.dfSpeed) +
           (Case.bKeepPitch != 0 ? " keeping the pitch" : "");
}

// True once the sound buffer can give ullReads periods without running low (or it is draining the
// end of the stream, which needs nothing more); waits at most WAIT_MS.
bool WaitUntilBufferHolds(IntelligentSoundBuffer& Buffer, uint64_t ullReads)
{
    const auto Deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(WAIT_MS);
    for (;;)
    {
        if (Buffer.HoldsPeriods(ullReads) == 1)
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

uint32_t RateIndexOf(uint32_t uiRate)
{
    for (uint32_t i = 0; i < RateTable::COUNT; ++i)
    {
        if (RateTable::Hz(i) == uiRate)
        {
            return i;
        }
    }
    ADD_FAILURE() << uiRate << " Hz is not in the rate table";
    return RateTable::DEFAULT_INDEX;
}

// Plays the file through the engine and returns the device's codes; the playback thread's result
// goes to ullThreadResult.
std::vector<int32_t> PlayThroughDevice(const std::filesystem::path& Input, const ChainCase& Case,
                                       uint64_t ullOfflineFrames, uint64_t& ullPeriodFrames,
                                       uint64_t& ullThreadResult)
{
    PlayerState State;
    CVirtualAudioLayer Layer;
    auto pDevice = std::make_shared<VirtualAudioDevice>();
    pDevice->AcceptFormat(AUDIO_SHAREMODE_EXCLUSIVE, Case.uiDeviceRate, Case.uiDeviceBits);
    Layer.AddDevice(pDevice);
    // The engine lets the render thread fill the device buffer only once the sound buffer holds that
    // much, so the pre-fill is sound.
    PlaybackObjectFactory Factory;
    PlaybackEngine Engine(State, &Layer, Factory);

    PlaybackEngine::FileFacts Facts;
    EXPECT_EQ(Engine.OpenFile(TestFiles::Wide(Input).c_str(), Facts), 1);
    EXPECT_EQ(Engine.InitializeVolume(std::pow(10.0, Case.dfVolumeDb / 20.0)), 1);
    PlaybackEngine::StartSettings Settings;
    Settings.uiRateIndex = RateIndexOf(Case.uiDeviceRate);
    Settings.uiEffectiveBitCount = Case.uiDeviceBits;
    Settings.dfSpeed = Case.dfSpeed;
    Engine.SetKeepPitch(Case.bKeepPitch);
    PlaybackEngine::StartReport Report;
    EXPECT_EQ(Engine.Start(Settings, Report), 1);
    std::vector<int32_t> Codes;
    if (Engine.IsPlaying() == 1)
    {
        IntelligentSoundBuffer& Buffer = *State.pIntelligentSoundBuffer;
        const uint64_t P = Buffer.ullPeriodFrames;
        ullPeriodFrames = P;
        uint64_t ullWritten = State.pSoundStream->ullBufferFrameCount;
        // One silent period leads (the sound buffer delivers one period late), then the render,
        // then a few periods of what follows it.
        const uint64_t ullWanted = P + ullOfflineFrames + 3 * P;
        while (ullWritten < ullWanted)
        {
            if (!WaitUntilBufferHolds(Buffer, 1))
            {
                ADD_FAILURE() << "the playback thread fell behind";
                break;
            }
            EXPECT_EQ(pDevice->Advance(P), P);
            ullWritten += P;
            if (!pDevice->WaitForWrittenFrames(ullWritten, WAIT_MS))
            {
                ADD_FAILURE() << "the render thread did not refill";
                break;
            }
        }
        EXPECT_EQ(pDevice->GetStreamState().ullUnderrunFrames, 0u);
        State.pPlaybackThread->WaitForExit();
        ullThreadResult = State.pPlaybackThread->GetResult(0);
    }
    Engine.TearDown();

    const std::vector<uint8_t> Bytes = pDevice->GetWrittenBytes();
    return ChainSignals::DecodeCodes(Bytes.data(), Bytes.size(), Case.uiDeviceBits);
}
} // namespace

TEST(WholeChain, DeviceWordsMatchTheOfflineRenderFrameForFrame)
{
    const ChainCase Cases[] = {
        {44100, 16, 48000, 16, 1.0, 0.0},     {44100, 16, 48000, 16, 2.0, -6.0},
        {48000, 24, 192000, 24, 1.0, 0.0},    {48000, 24, 192000, 24, 2.0, -6.0},
        {44100, 16, 48000, 16, 0.75, 0.0, 1}, {48000, 24, 192000, 24, 1.5, -6.0, 1},
    };
    for (const ChainCase& Case : Cases)
    {
        SCOPED_TRACE(Describe(Case));
        const uint64_t ullFileFrames = Case.uiFileRate / 8; // 125 ms
        const auto Input = TestFiles::Write(
            "chain-in.wav", WaveFileBuilder::PcmWave(ChainSignals::TwoTones(ullFileFrames, Case.uiFileRate),
                                                     2, Case.uiFileRate, Case.uiFileBits));
        const std::vector<int32_t> Offline = ChainSignals::RenderOfflineCodes(
            Input, Case.uiDeviceRate, Case.uiDeviceBits, Case.dfSpeed, Case.dfVolumeDb, Case.bKeepPitch);
        const uint64_t L = Offline.size() / 2;
        ASSERT_GT(L, 0u);

        uint64_t P = 0;
        uint64_t ullThreadResult = 0;
        const std::vector<int32_t> Device = PlayThroughDevice(Input, Case, L, P, ullThreadResult);
        EXPECT_EQ(ullThreadResult, PLAYBACK_THREAD_DONE);
        // The first period silent, then every frame of the render, in order, on the same grid (the
        // first period faded in, the end faded out), then silence.
        EXPECT_TRUE(ChainSignals::PlayedEqualsRender(Device, Offline, P));
    }
}
