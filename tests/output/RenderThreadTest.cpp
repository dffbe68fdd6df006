#include "output/AudioClientConstants.h"
#include "output/CSoundStreamWASAPI.h"
#include "output/RenderThreadBody.h"
#include "tests/output/OutputTestSupport.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{
// A 240-frame period of 32-bit words as the local buffer held it after the second of 60-frame
// deliveries: that delivery's frames at its start, zeros after them.
::testing::AssertionResult SecondDeliveryThenZeros(const std::vector<uint8_t>& Bytes)
{
    const DecodedFrames Frames = DecodeDeviceWords(Bytes, 32, 32);
    if (Frames.Left.size() != 240)
    {
        return ::testing::AssertionFailure() << Frames.Left.size() << " frames";
    }
    for (size_t i = 60; i < 240; ++i)
    {
        if (Frames.Left[i] != 0 || Frames.Right[i] != 0)
        {
            return ::testing::AssertionFailure() << "frame " << i << " is not silent";
        }
    }
    return FramesFollowTheCount(Frames, 60, 60);
}
} // namespace

// The render worker through the stream, with the virtual device's clock moved by the test: every
// amount the worker writes follows from the clock, so the outcome does not depend on timing.

TEST(RenderThread, PrefillsTheWholeBufferBeforeStartThenTopsUpWhatWasPlayed)
{
    // A 16-bit device; the callback is asked for the whole buffer (C = N).
    CVirtualAudioLayer Layer;
    auto pDevice = std::make_shared<VirtualAudioDevice>();
    pDevice->AcceptFormat(AUDIO_SHAREMODE_EXCLUSIVE, 44100, 16);
    Layer.AddDevice(pDevice);
    CSoundStreamWASAPI Stream(&Layer);
    CountingSource Source(16);
    double dfSeconds = 0.01;
    ASSERT_EQ(Stream.SetupDevice(44100, &dfSeconds, -1), 1);
    const uint64_t N = Stream.ullBufferFrameCount;
    ASSERT_EQ(N, 441u);
    ASSERT_EQ(Stream.PrepareRender(CountingSource::Callback, &Source), 1);

    ASSERT_TRUE(pDevice->WaitForWrittenFrames(N, WAIT_MS));
    VirtualStreamState State = pDevice->GetStreamState();
    EXPECT_EQ(State.ullWrittenBeforeStart, N);
    EXPECT_EQ(Source.GetCalls(), 1u); // one delivery of C = N frames fills the buffer

    ASSERT_EQ(Stream.Start(), 1);
    EXPECT_EQ(pDevice->Advance(100), 100u);
    ASSERT_TRUE(pDevice->WaitForWrittenFrames(N + 100, WAIT_MS));
    EXPECT_EQ(pDevice->Advance(N), N);
    ASSERT_TRUE(pDevice->WaitForWrittenFrames(2 * N + 100, WAIT_MS));
    EXPECT_EQ(pDevice->GetReleasedFrameCounts(), (std::vector<uint32_t>{441, 100, 441}));
    // 441 delivered, 100 taken, 441 more delivered for the next 441: three calls in all.
    EXPECT_EQ(Source.GetCalls(), 3u);

    ASSERT_EQ(Stream.Stop(0), 1);
    State = pDevice->GetStreamState();
    EXPECT_EQ(State.bStarted, 0);
    EXPECT_EQ(State.ullWrittenFrames, 2 * N + 100);
    EXPECT_EQ(State.ullUnderrunFrames, 0u);
    const DecodedFrames Frames = DecodeDeviceWords(pDevice->GetWrittenBytes(), 16, 16);
    ASSERT_EQ(Frames.Left.size(), 2 * N + 100);
    EXPECT_TRUE(FramesFollowTheCount(Frames, 0, 2 * N + 100));
    EXPECT_EQ(pDevice->GetCallCount(VirtualOperation::Stop), 1u);
    EXPECT_EQ(pDevice->GetCallCount(VirtualOperation::InitializeThread), 1u);
    EXPECT_EQ(pDevice->GetCallCount(VirtualOperation::UninitializeThread), 1u);
}

TEST(RenderThread, WritesTheTopContainerBytesOfEachWordLittleEndian)
{
    const struct
    {
        uint32_t uiContainer;
        uint32_t uiLogical;
    } Cases[] = {{16, 16}, {24, 24}, {32, 32}, {24, 12}, {32, 20}};
    for (const auto& Case : Cases)
    {
        CVirtualAudioLayer Layer;
        auto pDevice = std::make_shared<VirtualAudioDevice>();
        pDevice->AcceptFormat(AUDIO_SHAREMODE_EXCLUSIVE, 48000, Case.uiContainer);
        Layer.AddDevice(pDevice);
        CSoundStreamWASAPI Stream(&Layer);
        CountingSource Source(Case.uiLogical);
        Stream.uiLogicalBitCount = Case.uiLogical;
        Stream.ullCallbackFrameCount = 100; // several deliveries per buffer, one left over in part
        double dfSeconds = 0.005;
        ASSERT_EQ(Stream.SetupDevice(48000, &dfSeconds, -1), 1);
        ASSERT_EQ(Stream.ullBufferFrameCount, 240u);
        ASSERT_EQ(Stream.PrepareRender(CountingSource::Callback, &Source), 1);
        ASSERT_TRUE(pDevice->WaitForWrittenFrames(240, WAIT_MS));
        ASSERT_EQ(Stream.Start(), 1);
        pDevice->Advance(77);
        ASSERT_TRUE(pDevice->WaitForWrittenFrames(317, WAIT_MS));
        Stream.Stop(0);

        const std::vector<uint8_t> Bytes = pDevice->GetWrittenBytes();
        ASSERT_EQ(Bytes.size(), 317u * 2 * Case.uiContainer / 8);
        const DecodedFrames Frames = DecodeDeviceWords(Bytes, Case.uiContainer, Case.uiLogical);
        EXPECT_TRUE(FramesFollowTheCount(Frames, 0, 317)) << Case.uiContainer << "/" << Case.uiLogical;
        EXPECT_TRUE(Frames.bLowBitsClear) << Case.uiContainer << "/" << Case.uiLogical;
        EXPECT_EQ(Source.GetCalls(), 4u); // 400 frames delivered for 317 taken
    }

    // The first frame's code, -1000, by hand: 16 bits 0xFC18, 24 bits 0xFC1800, 32 bits 0xFC180000.
    CVirtualAudioLayer Layer;
    auto pDevice = std::make_shared<VirtualAudioDevice>();
    pDevice->AcceptFormat(AUDIO_SHAREMODE_EXCLUSIVE, 48000, 24);
    Layer.AddDevice(pDevice);
    CSoundStreamWASAPI Stream(&Layer);
    CountingSource Source(16);
    Stream.uiLogicalBitCount = 16;
    ASSERT_TRUE(PrepareCountingRender(Stream, Source));
    ASSERT_TRUE(pDevice->WaitForWrittenFrames(240, WAIT_MS));
    Stream.Close();
    const std::vector<uint8_t> Bytes = pDevice->GetWrittenBytes();
    EXPECT_EQ(std::vector<uint8_t>(Bytes.begin(), Bytes.begin() + 6),
              (std::vector<uint8_t>{0x00, 0x18, 0xFC, 0x00, 0xE8, 0x03}));
}

TEST(RenderThread, APaddingOfTheWholeBufferSkipsThePeriod)
{
    VirtualRig Rig;
    CSoundStreamWASAPI Stream(&Rig.Layer);
    CountingSource Source(32);
    ASSERT_TRUE(PrepareCountingRender(Stream, Source));
    ASSERT_TRUE(Rig.pDevice->WaitForWrittenFrames(240, WAIT_MS));
    ASSERT_EQ(Stream.Start(), 1);

    // The clock stands still: the worker keeps looking and finds no room.
    const uint64_t ullLooks = Rig.pDevice->GetCallCount(VirtualOperation::GetCurrentPadding);
    ASSERT_TRUE(Rig.pDevice->WaitForCallCount(VirtualOperation::GetCurrentPadding, ullLooks + 5, WAIT_MS));
    EXPECT_EQ(Source.GetCalls(), 1u);
    EXPECT_EQ(Rig.pDevice->GetCallCount(VirtualOperation::GetBuffer), 1u);
    EXPECT_EQ(Rig.pDevice->GetStreamState().ullWrittenFrames, 240u);
    EXPECT_EQ(Stream.Stop(0), 1);
}

TEST(RenderThread, ACallbackReturningZeroEndsTheStreamAfterTheCurrentPeriod)
{
    VirtualRig Rig;
    CSoundStreamWASAPI Stream(&Rig.Layer);
    CountingSource Source(32);
    Source.ullFailingCall = 3;
    Stream.ullCallbackFrameCount = 60;
    ASSERT_TRUE(PrepareCountingRender(Stream, Source));

    // The period being prepared is still delivered, then the worker ends by itself.
    ASSERT_TRUE(Rig.pDevice->WaitForCallCount(VirtualOperation::UninitializeThread, 1, WAIT_MS));
    EXPECT_EQ(Rig.pDevice->GetStreamState().ullWrittenFrames, 240u);
    EXPECT_EQ(Rig.pDevice->GetCallCount(VirtualOperation::GetCurrentPadding), 1u);
    EXPECT_EQ(Source.GetCalls(), 3u);
    // Delivered from the local buffer as it stands: the second delivery's 60 frames at its start,
    // the zeroed rest after them; the refusing call's frames (0.75) never reach the device.
    EXPECT_TRUE(SecondDeliveryThenZeros(Rig.pDevice->GetWrittenBytes()));
    // The stream stays set up until the owner stops it.
    EXPECT_EQ(Stream.uiStreamMode, STREAM_MODE_RENDER);
    EXPECT_EQ(Stream.Start(), 1);
    EXPECT_EQ(Stream.Stop(0), 1);
}

TEST(RenderThread, ACallbackDeliveringNothingIsCalledAgainAtOnce)
{
    VirtualRig Rig;
    CSoundStreamWASAPI Stream(&Rig.Layer);
    CountingSource Source(24);
    Source.ullZeroFrameCalls = 3;
    Source.ullFramesPerCall = 50;
    Stream.uiLogicalBitCount = 24;
    ASSERT_TRUE(PrepareCountingRender(Stream, Source));
    ASSERT_TRUE(Rig.pDevice->WaitForWrittenFrames(240, WAIT_MS));
    Stream.Close();
    // Three empty calls, then five of 50 frames for the first 240.
    EXPECT_EQ(Source.GetCalls(), 8u);
    EXPECT_EQ(Rig.pDevice->GetCallCount(VirtualOperation::GetBuffer), 1u);
    EXPECT_TRUE(FramesFollowTheCount(DecodeDeviceWords(Rig.pDevice->GetWrittenBytes(), 32, 24), 0, 240));
}

TEST(RenderThread, EventDrivenStreamsFillOnEveryBufferEvent)
{
    VirtualRig Rig;
    CSoundStreamWASAPI Stream(&Rig.Layer);
    CountingSource Source(32);
    Stream.bForceTimerDriven = 0;
    double dfSeconds = 0.005;
    ASSERT_EQ(Stream.SetupDevice(48000, &dfSeconds, -1), 1);
    EXPECT_EQ(Stream.IsEventDriven(), 1);
    EXPECT_EQ(Rig.pDevice->GetStreamState().uiStreamFlags,
              AUDIO_STREAMFLAGS_EVENTCALLBACK | AUDIO_STREAMFLAGS_NOPERSIST);
    ASSERT_EQ(Stream.PrepareRender(CountingSource::Callback, &Source), 1);
    ASSERT_EQ(Stream.Start(), 1); // the device asks for its first period as it starts
    ASSERT_TRUE(Rig.pDevice->WaitForWrittenFrames(240, WAIT_MS));
    Rig.pDevice->Advance(90);
    ASSERT_TRUE(Rig.pDevice->WaitForWrittenFrames(330, WAIT_MS));
    EXPECT_EQ(Stream.Stop(0), 1);
    EXPECT_EQ(Stream.IsEventDriven(), 0);
    EXPECT_TRUE(FramesFollowTheCount(DecodeDeviceWords(Rig.pDevice->GetWrittenBytes(), 32, 32), 0, 330));
}

// The worker's result, on a worker of the test's own.

TEST(RenderThreadBody, EndsWithOneWhenTerminatedAndBalancesItsThreadSetup)
{
    WorkerRig Rig;
    CountingSource Source(16);
    ASSERT_TRUE(Rig.Open(16, 240, 240, false));
    ASSERT_EQ(Rig.Launch(RenderThreadBody, CountingSource::Callback, &Source), 1);
    ASSERT_TRUE(Rig.pDevice->WaitForWrittenFrames(240, WAIT_MS));
    EXPECT_EQ(Rig.Join(), 1u);
    EXPECT_EQ(Rig.pDevice->GetCallCount(VirtualOperation::InitializeThread), 1u);
    EXPECT_EQ(Rig.pDevice->GetCallCount(VirtualOperation::UninitializeThread), 1u);
}

TEST(RenderThreadBody, ADeviceFaultEndsTheWorkerWithZero)
{
    const struct
    {
        VirtualOperation Operation;
        uint64_t ullSuccessfulCalls;
        uint64_t ullFramesWritten;
        bool bAdvance; // the fault needs a second period, which needs the clock to move
    } Faults[] = {
        {VirtualOperation::GetBufferSize, 0, 0, false},
        {VirtualOperation::GetCurrentPadding, 0, 0, false},
        {VirtualOperation::GetCurrentPadding, 2, 240, false},
        {VirtualOperation::GetBuffer, 1, 240, true},
        {VirtualOperation::ReleaseBuffer, 1, 240, true},
    };
    for (const auto& Fault : Faults)
    {
        WorkerRig Rig;
        CountingSource Source(16);
        ASSERT_TRUE(Rig.Open(16, 240, 240, false));
        ASSERT_EQ(Rig.pClient->Start(), AUDIO_OK);
        Rig.pDevice->FailAfter(Fault.Operation, Fault.ullSuccessfulCalls, AUDIO_E_DEVICE_INVALIDATED);
        ASSERT_EQ(Rig.Launch(RenderThreadBody, CountingSource::Callback, &Source), 1);
        if (Fault.bAdvance)
        {
            ASSERT_TRUE(Rig.pDevice->WaitForWrittenFrames(240, WAIT_MS));
            Rig.pDevice->Advance(100);
        }
        ASSERT_TRUE(Rig.EndsByItself()) << static_cast<int>(Fault.Operation);
        EXPECT_EQ(Rig.Worker.GetResult(0), 0u) << static_cast<int>(Fault.Operation);
        EXPECT_EQ(Rig.pDevice->GetStreamState().ullWrittenFrames, Fault.ullFramesWritten);
        // A device error does not set the termination event; only the owner does.
        EXPECT_EQ(Rig.TerminationEvent.Wait(0), 0);
    }

    // The device vanishing in the middle of playback.
    WorkerRig Rig;
    CountingSource Source(16);
    ASSERT_TRUE(Rig.Open(16, 240, 240, false));
    ASSERT_EQ(Rig.Launch(RenderThreadBody, CountingSource::Callback, &Source), 1);
    ASSERT_TRUE(Rig.pDevice->WaitForWrittenFrames(240, WAIT_MS));
    Rig.pDevice->Vanish();
    ASSERT_TRUE(Rig.EndsByItself());
    EXPECT_EQ(Rig.Worker.GetResult(0), 0u);
}

TEST(RenderThreadBody, ACallbackReturningZeroGivesZero)
{
    WorkerRig Rig;
    CountingSource Source(16);
    Source.ullFailingCall = 1;
    ASSERT_TRUE(Rig.Open(16, 240, 240, false));
    ASSERT_EQ(Rig.Launch(RenderThreadBody, CountingSource::Callback, &Source), 1);
    ASSERT_TRUE(Rig.EndsByItself());
    EXPECT_EQ(Rig.Worker.GetResult(0), 0u);
    // Delivered all the same: the local buffer's zeroed content, never the refused frames.
    EXPECT_EQ(Rig.pDevice->GetWrittenBytes(), std::vector<uint8_t>(240 * 4, 0));
}

TEST(RenderThreadBody, TerminationFoundInARefillDeliversTheLocalBufferAndEndsAtTheNextWait)
{
    // The owner ends the stream while the second of four callbacks for the first period runs.
    struct Terminating
    {
        CountingSource Source{32};
        CEvent* pTermination = nullptr;
    } Feed;
    WorkerRig Rig;
    Feed.pTermination = &Rig.TerminationEvent;
    ASSERT_TRUE(Rig.Open(32, 240, 60, false));
    const BufferCallbackFunction Callback = [](SoundStreamBuffer* pBuffer, void* pUserParameter) -> int32_t
    {
        auto* pFeed = static_cast<Terminating*>(pUserParameter);
        const int32_t iResult = CountingSource::Callback(pBuffer, &pFeed->Source);
        if (pFeed->Source.GetCalls() == 2)
        {
            pFeed->pTermination->Set();
        }
        return iResult;
    };
    ASSERT_EQ(Rig.Launch(RenderThreadBody, Callback, &Feed), 1);
    ASSERT_TRUE(Rig.EndsByItself());
    EXPECT_EQ(Rig.Worker.GetResult(0), 1u);
    EXPECT_EQ(Feed.Source.GetCalls(), 2u);
    // The whole period went out, as the local buffer held it: the second delivery at its start,
    // zeros after it (the first delivery waits in the data buffer).
    EXPECT_EQ(Rig.pDevice->GetCallCount(VirtualOperation::GetBuffer), 1u);
    EXPECT_TRUE(SecondDeliveryThenZeros(Rig.pDevice->GetWrittenBytes()));
}

TEST(RenderThreadBody, AFailedThreadSetupSetsTheTerminationEventAndGivesZero)
{
    WorkerRig Rig;
    CountingSource Source(16);
    ASSERT_TRUE(Rig.Open(16, 240, 240, false));
    Rig.pDevice->FailAfter(VirtualOperation::InitializeThread, 0);
    const uint64_t ullSizeLooks = Rig.pDevice->GetCallCount(VirtualOperation::GetBufferSize);
    ASSERT_EQ(Rig.Launch(RenderThreadBody, CountingSource::Callback, &Source), 1);
    ASSERT_EQ(Rig.Worker.WaitForExit(), 1);
    EXPECT_EQ(Rig.Worker.GetResult(0), 0u);
    EXPECT_EQ(Rig.TerminationEvent.Wait(0), 1);
    EXPECT_EQ(Rig.pDevice->GetCallCount(VirtualOperation::GetBufferSize), ullSizeLooks);
    EXPECT_EQ(Rig.pDevice->GetCallCount(VirtualOperation::UninitializeThread), 0u);
    EXPECT_EQ(Source.GetCalls(), 0u);
}

TEST(RenderThreadBody, BufferErrorsPlaySilenceAndEndWithZero)
{
    // No local buffer: nothing can be quantised, so the period goes out as silence.
    WorkerRig Rig;
    CountingSource Source(16);
    ASSERT_TRUE(Rig.Open(16, 240, 240, false));
    ASSERT_EQ(Rig.Launch(RenderThreadBody, CountingSource::Callback, &Source, false), 1);
    ASSERT_TRUE(Rig.EndsByItself());
    EXPECT_EQ(Rig.Worker.GetResult(0), 0u);
    EXPECT_EQ(Source.GetCalls(), 0u);
    EXPECT_EQ(Rig.pDevice->GetWrittenBytes(), std::vector<uint8_t>(240 * 4, 0));

    // A callback claiming more frames than its block holds: only the block is taken.
    WorkerRig Claiming;
    CountingSource Liar(16);
    Liar.ullClaimExtra = 1000;
    ASSERT_TRUE(Claiming.Open(16, 240, 100, false));
    ASSERT_EQ(Claiming.Launch(RenderThreadBody, CountingSource::Callback, &Liar), 1);
    ASSERT_TRUE(Claiming.pDevice->WaitForWrittenFrames(240, WAIT_MS));
    EXPECT_EQ(Claiming.Join(), 1u);
    EXPECT_EQ(Liar.GetCalls(), 3u);
    EXPECT_TRUE(FramesFollowTheCount(DecodeDeviceWords(Claiming.pDevice->GetWrittenBytes(), 16, 16), 0, 240));
}
