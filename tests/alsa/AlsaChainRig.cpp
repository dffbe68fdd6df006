#include "tests/alsa/AlsaChainRig.h"

#include "app/player/PlaybackBufferCallback.h"
#include "app/player/PlaybackThreadBody.h"
#include "conversion/SamplingFrequencyConverter.h"
#include "output/CSoundStreamWASAPI.h"
#include "output/alsa/CAlsaAudioLayer.h"
#include "runtime/CMultiThreadWin.h"
#include "runtime/CriticalSectionHolder.h"
#include "runtime/WorkerParameterNames.h"
#include "soundbuffer/IntelligentSoundBuffer.h"
#include "tests/common/PlayerStateBinding.h"
#include "tests/common/TestFiles.h"
#include "wave/WaveFileReader.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <numbers>
#include <thread>

namespace
{
constexpr uint32_t WAIT_MS = 60000;
constexpr uint64_t THREAD_BUFFER_BYTES = 16384;

// True once the sound buffer can give ullReads periods without running low (or, with bWholeFile, holds
// the end of the file), or drains its end.
bool WaitUntilBufferHolds(IntelligentSoundBuffer& Buffer, uint64_t ullReads, bool bWholeFile)
{
    const auto Deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(WAIT_MS);
    for (;;)
    {
        {
            AdaptiveFrameBuffer& Queue = Buffer.Queue;
            CriticalSectionHolder Holder(&Queue.CriticalSection);
            if (Queue.bFinishing != 0 ||
                (!bWholeFile && Queue.bBuffering == 0 &&
                 Queue.ullFill >= Queue.ullLowMark + ullReads * Buffer.ullPeriodFrames))
            {
                return true;
            }
        }
        if (std::chrono::steady_clock::now() > Deadline)
        {
            return false;
        }
        std::this_thread::yield();
    }
}
} // namespace

AlsaChainResult PlayFileThroughAlsa(const std::filesystem::path& Input, const AlsaChainPlayback& Playback,
                                    uint64_t ullRenderFrames)
{
    AlsaChainResult Result;
    CAlsaAudioLayer AlsaLayer;
    CSoundStreamWASAPI Stream(Playback.pLayer != nullptr ? Playback.pLayer : &AlsaLayer);
    WaveFileReader Reader;
    SamplingFrequencyConverter Converter(10.0);
    IntelligentSoundBuffer Buffer;
    CMultiThreadWin Worker;
    const uint32_t uiRate = Playback.uiDeviceRate;

    double dfPeriod = 0.01;
    EXPECT_EQ(Buffer.Initialize(uiRate, dfPeriod), 1);
    EXPECT_EQ(Buffer.SetCapacityLimit(static_cast<uint64_t>(uiRate * Playback.dfBufferSeconds)), 1);
    const uint64_t P = Buffer.ullPeriodFrames;
    Result.ullPeriodFrames = P;
    PlayerStateBinding StateBinding;
    EXPECT_EQ(StateBinding.Bind(Buffer), 1);
    Stream.ullCallbackFrameCount = P;
    Stream.uiLogicalBitCount = Playback.uiLogicalBits;
    Stream.bResolutionEnhancer = 1;
    Stream.bSharedMode = Playback.bShared;
    double dfSeconds = 0.06;
    const bool bDevice = Stream.SetupDevice(uiRate, &dfSeconds, Playback.iEndpoint) == 1;
    EXPECT_TRUE(bDevice);
    Result.uiBitCount = Stream.uiBitCount;
    const uint64_t N = Stream.ullBufferFrameCount;
    Result.ullBufferFrames = N;

    EXPECT_GE(Reader.Open(TestFiles::Wide(Input).c_str()), 0);
    EXPECT_EQ(Converter.Setup(2, Reader.uiSamplingFrequency, uiRate, 8, 0, 0.0), 1);
    EXPECT_EQ(Converter.SetOutputRate(uiRate, 1), 1);
    EXPECT_EQ(Worker.Create(1), 1);
    EXPECT_EQ(StorePlaybackObjects(Worker, &Reader, &Converter, &Buffer), 1);
    EXPECT_GT(Worker.AllocateBuffer(WorkerParameterNames::INPUT_SIGNAL_BUFFER, THREAD_BUFFER_BYTES), 0);
    EXPECT_GT(Worker.AllocateBuffer(WorkerParameterNames::OUTPUT_SIGNAL_BUFFER, THREAD_BUFFER_BYTES), 0);
    const bool bThread = Worker.Start(PlaybackThreadBody) == 1;
    EXPECT_TRUE(bThread);

    if (bDevice && bThread && N > 0)
    {
        EXPECT_TRUE(WaitUntilBufferHolds(Buffer, (N + P - 1) / P, Playback.bWholeFileFirst));
        EXPECT_EQ(Stream.PrepareRender(PlaybackBufferCallback, nullptr), 1);
        if (Playback.BeforeStart)
        {
            EXPECT_TRUE(Playback.BeforeStart(N));
        }
        EXPECT_EQ(Stream.Start(), 1);
        EXPECT_TRUE(Playback.AfterStart(P + ullRenderFrames + 3 * P + N));
    }
    Stream.Stop(0);
    Stream.Close();
    Worker.RequestStop();
    Worker.WaitForExit();
    Worker.Release();
    return Result;
}
