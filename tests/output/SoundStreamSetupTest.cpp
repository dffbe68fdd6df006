#include "app/player/RateTable.h"
#include "output/AudioClientConstants.h"
#include "output/CSoundStreamWASAPI.h"
#include "tests/output/OutputTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <thread>

namespace
{
// Set up at 48 kHz on the default endpoint with the player's 60 ms request.
int32_t SetupAt(CSoundStreamWASAPI& Stream, uint32_t uiRate = 48000)
{
    double dfSeconds = 0.06;
    return Stream.SetupDevice(uiRate, &dfSeconds, -1);
}

void ExpectClosed(const CSoundStreamWASAPI& Stream)
{
    EXPECT_EQ(Stream.uiStreamMode, STREAM_MODE_NONE);
    EXPECT_EQ(Stream.HasDevice(), 0);
    EXPECT_EQ(Stream.HasAudioClient(), 0);
    EXPECT_EQ(Stream.HasRenderClient(), 0);
    EXPECT_EQ(Stream.GetSoundStreamBuffer().pdfData, nullptr);
    EXPECT_EQ(Stream.GetDataBuffer().GetData(), nullptr);
    EXPECT_EQ(Stream.GetLocalBufferBytes(), 0u);
    EXPECT_EQ(Stream.dfSamplingFrequency, 0.0);
    EXPECT_EQ(Stream.uiBitCount, 0u);
}
} // namespace

TEST(SoundStreamSetup, OperationsBeforeSetupAreRefusedAndChangeNothing)
{
    VirtualRig Rig;
    CSoundStreamWASAPI Stream(&Rig.Layer);
    CountingSource Source(24);
    int32_t bStop = 7;
    EXPECT_EQ(Stream.PrepareRender(CountingSource::Callback, &Source), -1);
    EXPECT_EQ(Stream.PrepareCapture(CountingSource::Callback, &Source), -1);
    EXPECT_EQ(Stream.Start(), -1);
    EXPECT_EQ(Stream.Stop(0), -1);
    EXPECT_EQ(Stream.IsStopRequested(&bStop), -1);
    EXPECT_EQ(bStop, 7);
    EXPECT_EQ(Stream.Close(), 1);
    ExpectClosed(Stream);
    EXPECT_EQ(Rig.pDevice->GetCallCount(VirtualOperation::Activate), 0u);
    EXPECT_EQ(Rig.pDevice->GetCallCount(VirtualOperation::Start), 0u);
    EXPECT_EQ(Source.GetCalls(), 0u);

    // Bad arguments are refused before anything is closed: a running stream keeps running.
    ASSERT_EQ(SetupAt(Stream), 1);
    ASSERT_EQ(Stream.PrepareRender(CountingSource::Callback, &Source), 1);
    ASSERT_EQ(Stream.Start(), 1);
    double dfSeconds = 0.06;
    double dfNaN = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(Stream.SetupDevice(48000, nullptr, -1), -4);
    EXPECT_EQ(Stream.SetupDevice(0, &dfSeconds, -1), -4);
    EXPECT_EQ(Stream.SetupDevice(48000, &dfNaN, -1), -4);
    EXPECT_EQ(dfSeconds, 0.06);
    EXPECT_EQ(Stream.uiStreamMode, STREAM_MODE_RENDER);
    EXPECT_EQ(Stream.GetWorker().GetState(), THREAD_STATE_RUNNING);
    // A second launch while the worker runs would pull its inputs away under it.
    EXPECT_EQ(Stream.PrepareRender(CountingSource::Callback, &Source), -1);
    // No capture set-up exists, so a render stream refuses the capture direction.
    EXPECT_EQ(Stream.PrepareCapture(CountingSource::Callback, &Source), -1);
    EXPECT_EQ(Stream.GetWorker().GetState(), THREAD_STATE_RUNNING);
    EXPECT_EQ(Stream.IsStopRequested(&bStop), 1);
    EXPECT_EQ(bStop, 0);
    EXPECT_EQ(Stream.Stop(0), 1);
    ExpectClosed(Stream);
    EXPECT_EQ(Stream.IsRunning(), 0);
    EXPECT_EQ(Stream.IsStopRequested(&bStop), -1);
    EXPECT_EQ(Rig.pDevice->GetLiveObjectCount(), 0u);
}

TEST(SoundStreamSetup, BufferDurationIsAWholeNumberOfFramesAndTheGrantIsWrittenBack)
{
    VirtualRig Rig;
    for (uint32_t i = 0; i < RateTable::COUNT; ++i)
    {
        const uint32_t uiRate = RateTable::Hz(i);
        CSoundStreamWASAPI Stream(&Rig.Layer);
        double dfSeconds = 0.06;
        ASSERT_EQ(Stream.SetupDevice(uiRate, &dfSeconds, -1), 1) << uiRate;
        const VirtualStreamState State = Rig.pDevice->GetStreamState();
        // 661 frames at 11025 Hz are 59.9546 ms; every other rate has a whole 60 ms.
        const int64_t hnsExpected = uiRate == 11025 ? 599546 : 600000;
        EXPECT_EQ(State.hnsBufferDuration, hnsExpected) << uiRate;
        EXPECT_EQ(State.hnsPeriodicity, hnsExpected) << uiRate;
        EXPECT_EQ(Stream.ullBufferFrameCount, State.uiBufferFrames);
        EXPECT_EQ(dfSeconds, static_cast<double>(State.uiBufferFrames) / uiRate) << uiRate;
        EXPECT_EQ(Stream.dfSamplingFrequency, static_cast<double>(uiRate));
        EXPECT_EQ(Stream.uiBitCount, 32u);
        EXPECT_EQ(Stream.GetRenderChannelCount(), 2u);
    }

    // A device that grants whole blocks of 128 frames: the seconds are the real buffer, not the request.
    Rig.pDevice->SetBufferGrant(128, 0);
    CSoundStreamWASAPI Stream(&Rig.Layer);
    double dfSeconds = 0.06;
    ASSERT_EQ(Stream.SetupDevice(44100, &dfSeconds, -1), 1);
    EXPECT_EQ(Stream.ullBufferFrameCount, 2688u);
    EXPECT_EQ(dfSeconds, 2688.0 / 44100.0);
    EXPECT_EQ(Stream.ullCallbackFrameCount, 2688u);
}

TEST(SoundStreamSetup, ZeroSecondsTakeTheDefaultPeriodAndShortRequestsRiseToTheMinimum)
{
    VirtualRig Rig;
    Rig.pDevice->SetDevicePeriods(100000, 30000);
    CSoundStreamWASAPI Stream(&Rig.Layer);

    double dfSeconds = 0.0;
    ASSERT_EQ(Stream.SetupDevice(48000, &dfSeconds, -1), 1);
    EXPECT_EQ(Rig.pDevice->GetStreamState().hnsBufferDuration, 100000);
    EXPECT_EQ(Stream.ullBufferFrameCount, 480u);
    EXPECT_EQ(dfSeconds, 0.01);

    // 1 ms is below the 3 ms minimum period.
    dfSeconds = 0.001;
    ASSERT_EQ(Stream.SetupDevice(48000, &dfSeconds, -1), 1);
    EXPECT_EQ(Rig.pDevice->GetStreamState().hnsBufferDuration, 30000);
    EXPECT_EQ(Rig.pDevice->GetStreamState().hnsPeriodicity, 30000);
    EXPECT_EQ(dfSeconds, 144.0 / 48000.0);

    // A negative request counts as no frames and also ends at the minimum.
    dfSeconds = -1.0;
    ASSERT_EQ(Stream.SetupDevice(48000, &dfSeconds, -1), 1);
    EXPECT_EQ(Rig.pDevice->GetStreamState().hnsBufferDuration, 30000);
}

TEST(SoundStreamSetup, ProbesThirtyTwoTwentyFourSixteenAndTakesTheFirstAccepted)
{
    CVirtualAudioLayer Layer;
    auto pDevice = std::make_shared<VirtualAudioDevice>();
    Layer.AddDevice(pDevice);
    pDevice->AcceptFormat(AUDIO_SHAREMODE_EXCLUSIVE, 96000, 24);
    pDevice->AcceptFormat(AUDIO_SHAREMODE_EXCLUSIVE, 44100, 16);
    pDevice->AcceptFormat(AUDIO_SHAREMODE_SHARED, 48000, 16);
    CSoundStreamWASAPI Stream(&Layer);

    ASSERT_EQ(SetupAt(Stream, 96000), 1);
    EXPECT_EQ(Stream.uiBitCount, 24u);
    EXPECT_EQ(Stream.GetQuantizer().GetDeviceBitCount(), 24u);
    std::vector<VirtualFormatProbe> Probes = pDevice->GetProbes();
    ASSERT_EQ(Probes.size(), 2u);
    EXPECT_EQ(Probes[0].Format.wBitsPerSample, 32u);
    EXPECT_EQ(Probes[1].Format.wBitsPerSample, 24u);
    for (const VirtualFormatProbe& Probe : Probes)
    {
        EXPECT_EQ(Probe.uiShareMode, AUDIO_SHAREMODE_EXCLUSIVE);
        EXPECT_EQ(Probe.bClosestMatchRequested, 0);
    }
    const VirtualStreamState State = pDevice->GetStreamState();
    EXPECT_EQ(State.uiShareMode, AUDIO_SHAREMODE_EXCLUSIVE);
    EXPECT_EQ(State.uiStreamFlags, AUDIO_STREAMFLAGS_NOPERSIST);
    EXPECT_EQ(State.Format.wFormatTag, 0xFFFE);
    EXPECT_EQ(State.Format.nChannels, 2u);
    EXPECT_EQ(State.Format.nSamplesPerSec, 96000u);
    EXPECT_EQ(State.Format.nBlockAlign, 6u);
    EXPECT_EQ(State.Format.nAvgBytesPerSec, 576000u);
    EXPECT_EQ(State.Format.cbSize, 22u);
    EXPECT_EQ(State.Format.wValidBitsPerSample, 24u);
    EXPECT_EQ(State.Format.dwChannelMask, 0u);
    EXPECT_EQ(State.Format.SubFormat, AUDIO_SUBTYPE_PCM);
    EXPECT_EQ(Stream.IsEventDriven(), 0);

    ASSERT_EQ(SetupAt(Stream, 44100), 1);
    EXPECT_EQ(Stream.uiBitCount, 16u);
    EXPECT_EQ(pDevice->GetProbes().size(), 5u);

    // Nothing fits at 48 kHz in exclusive mode; the shared pass asks with a closest-match request.
    EXPECT_EQ(SetupAt(Stream, 48000), -1);
    ExpectClosed(Stream);
    EXPECT_EQ(pDevice->GetProbes().size(), 8u);
    EXPECT_EQ(pDevice->GetLiveObjectCount(), 0u);
    Stream.bSharedMode = 1;
    ASSERT_EQ(SetupAt(Stream, 48000), 1);
    Probes = pDevice->GetProbes();
    ASSERT_EQ(Probes.size(), 11u);
    EXPECT_EQ(Probes[10].uiShareMode, AUDIO_SHAREMODE_SHARED);
    EXPECT_EQ(Probes[10].bClosestMatchRequested, 1);
    EXPECT_EQ(pDevice->GetStreamState().uiShareMode, AUDIO_SHAREMODE_SHARED);
    EXPECT_EQ(Stream.uiBitCount, 16u);
}

TEST(SoundStreamSetup, AClosestMatchPassesTheProbeButInitialisationDecides)
{
    auto pPicky = std::make_shared<VirtualAudioDevice>();
    pPicky->OfferClosestMatch(48000, 32);
    pPicky->AcceptFormat(AUDIO_SHAREMODE_SHARED, 48000, 24);
    CVirtualAudioLayer Layer;
    Layer.AddDevice(pPicky);
    CSoundStreamWASAPI Stream(&Layer);
    Stream.bSharedMode = 1;

    // 32 bits counts as supported, so 24 is never tried, and the device then refuses 32.
    EXPECT_EQ(SetupAt(Stream), -1);
    const std::vector<VirtualFormatProbe> Probes = pPicky->GetProbes();
    ASSERT_EQ(Probes.size(), 1u);
    EXPECT_EQ(Probes[0].iResult, AUDIO_S_CLOSEST_MATCH);
    EXPECT_EQ(pPicky->GetCallCount(VirtualOperation::Initialize), 1u);
    ExpectClosed(Stream);
    EXPECT_EQ(pPicky->GetLiveObjectCount(), 0u);
}

TEST(SoundStreamSetup, EffectiveBitsFollowTheLogicalCountUpToTheContainer)
{
    CVirtualAudioLayer Layer;
    auto pDevice = std::make_shared<VirtualAudioDevice>();
    pDevice->AcceptFormat(AUDIO_SHAREMODE_EXCLUSIVE, 48000, 24);
    Layer.AddDevice(pDevice);
    CSoundStreamWASAPI Stream(&Layer);

    const struct
    {
        uint32_t uiLogical;
        uint32_t uiEffective;
    } Cases[] = {{0, 24}, {12, 12}, {32, 24}, {24, 24}};
    for (const auto& Case : Cases)
    {
        Stream.uiLogicalBitCount = Case.uiLogical;
        Stream.bResolutionEnhancer = 7;
        ASSERT_EQ(SetupAt(Stream), 1);
        EXPECT_EQ(Stream.GetQuantizer().GetLogicalBitCount(), Case.uiEffective) << Case.uiLogical;
        EXPECT_EQ(Stream.GetQuantizer().GetDeviceBitCount(), 24u);
        EXPECT_EQ(Stream.GetQuantizer().GetEnhancer(), 1);
        // Close keeps the controller's settings.
        Stream.Close();
        EXPECT_EQ(Stream.uiLogicalBitCount, Case.uiLogical);
        EXPECT_EQ(Stream.bResolutionEnhancer, 7);
    }
}

TEST(SoundStreamSetup, AFailureAfterTheEndpointReleasesEverything)
{
    const VirtualOperation Failing[] = {VirtualOperation::Activate, VirtualOperation::GetDevicePeriod,
                                        VirtualOperation::Initialize, VirtualOperation::GetBufferSize,
                                        VirtualOperation::GetService};
    for (const VirtualOperation Operation : Failing)
    {
        VirtualRig Rig;
        CSoundStreamWASAPI Stream(&Rig.Layer);
        ASSERT_EQ(SetupAt(Stream), 1);
        Rig.pDevice->FailAfter(Operation, 0);
        EXPECT_EQ(SetupAt(Stream), -1) << static_cast<int>(Operation);
        ExpectClosed(Stream);
        EXPECT_EQ(Rig.pDevice->GetLiveObjectCount(), 0u) << static_cast<int>(Operation);
        // The stream is usable again once the device is.
        Rig.pDevice->Heal(Operation);
        EXPECT_EQ(SetupAt(Stream), 1);
    }

    // Refusals of the stream's own buffers come back unchanged.
    VirtualRig Rig;
    CSoundStreamWASAPI Stream(&Rig.Layer);
    Stream.ullCallbackFrameCount = uint64_t{1} << 62;
    EXPECT_EQ(SetupAt(Stream), -5);
    ExpectClosed(Stream);
    EXPECT_EQ(Rig.pDevice->GetLiveObjectCount(), 0u);

    // No endpoint: the enumerator fails, or the index is not there.
    Stream.ullCallbackFrameCount = 0;
    double dfSeconds = 0.06;
    EXPECT_EQ(Stream.SetupDevice(48000, &dfSeconds, 1), -1);
    EXPECT_EQ(Stream.SetupDevice(48000, &dfSeconds, -2), -1);
    Rig.Layer.FailAfter(VirtualOperation::CreateDeviceEnumerator, 0);
    EXPECT_EQ(Stream.SetupDevice(48000, &dfSeconds, -1), -1);
    EXPECT_EQ(dfSeconds, 0.06);
    ExpectClosed(Stream);

    CSoundStreamWASAPI Orphan(nullptr);
    EXPECT_EQ(Orphan.SetupDevice(48000, &dfSeconds, -1), -1);
}

TEST(SoundStreamSetup, SetupOnARunningStreamClosesItFirst)
{
    VirtualRig Rig;
    CSoundStreamWASAPI Stream(&Rig.Layer);
    CountingSource Source(32);
    ASSERT_EQ(SetupAt(Stream), 1);
    ASSERT_EQ(Stream.PrepareRender(CountingSource::Callback, &Source), 1);
    ASSERT_EQ(Stream.Start(), 1);
    ASSERT_TRUE(Rig.pDevice->WaitForWrittenFrames(Stream.ullBufferFrameCount, WAIT_MS));

    // The device takes one stream at a time, so this only works once the first is gone.
    ASSERT_EQ(SetupAt(Stream, 44100), 1);
    EXPECT_EQ(Rig.pDevice->GetCallCount(VirtualOperation::UninitializeThread), 1u);
    EXPECT_EQ(Rig.pDevice->GetCallCount(VirtualOperation::Stop), 0u);
    EXPECT_EQ(Stream.GetWorker().GetState(), THREAD_STATE_EMPTY);
    EXPECT_EQ(Rig.pDevice->GetStreamState().Format.nSamplesPerSec, 44100u);
    EXPECT_EQ(Stream.uiStreamMode, STREAM_MODE_RENDER);
    EXPECT_EQ(Rig.pDevice->GetLiveObjectCount(), 3u); // endpoint, client, render client
}

TEST(SoundStreamSetup, PrepareRenderHandsTheWorkerItsInputsInOrder)
{
    VirtualRig Rig;
    CSoundStreamWASAPI Stream(&Rig.Layer);
    CountingSource Source(32);
    Stream.ullCallbackFrameCount = 9000; // larger than the 2880-frame device buffer
    ASSERT_EQ(SetupAt(Stream), 1);
    ASSERT_EQ(Stream.ullBufferFrameCount, 2880u);
    EXPECT_EQ(Stream.GetLocalBufferBytes(), 16u * 9000);
    EXPECT_EQ(Stream.GetDataBuffer().GetSize(), 2u * (16 * 2880 + 16 * 9000));
    EXPECT_EQ(Stream.GetSoundStreamBuffer().ullCapacity, 9000u);
    EXPECT_EQ(Stream.GetSoundStreamBuffer().uiDirection, SoundStreamBuffer::DIRECTION_RENDER);
    EXPECT_EQ(Stream.GetSoundStreamBuffer().pOwner, &Stream);
    ASSERT_EQ(Stream.PrepareRender(CountingSource::Callback, &Source), 1);

    const std::vector<std::u16string> Expected = {u"*::pAudioClient",
                                                  u"*::pAudioRenderClient",
                                                  u"*::puiChannelCount",
                                                  u"*::puiBitCount",
                                                  u"*::BufferCallbackFunction",
                                                  u"*::pUserParameter",
                                                  u"*::pTerminationEvent",
                                                  u"*::pbEventDriven",
                                                  u"*::pBufferEvent",
                                                  u"*::pSoundStreamBuffer",
                                                  u"*::pDataBuffer",
                                                  u"*::pTimer",
                                                  u"*::pQuantizer",
                                                  u"*::pPrefillEvent",
                                                  u"*::pExitEvent"};
    EXPECT_EQ(ParameterKeys(Stream.GetWorker()), Expected);
    uint64_t ullValue = 0;
    ASSERT_EQ(Stream.GetWorker().GetParameter(u"BufferCallbackFunction", &ullValue), 1);
    EXPECT_EQ(ullValue, reinterpret_cast<uintptr_t>(&CountingSource::Callback));
    ASSERT_EQ(Stream.GetWorker().GetParameter(u"pUserParameter", &ullValue), 1);
    EXPECT_EQ(ullValue, reinterpret_cast<uintptr_t>(&Source));
    ASSERT_EQ(Stream.GetWorker().GetParameter(u"pQuantizer", &ullValue), 1);
    EXPECT_EQ(ullValue, reinterpret_cast<uintptr_t>(&Stream.GetQuantizer()));
    void* pLocal = nullptr;
    uint64_t ullLocalBytes = 0;
    ASSERT_EQ(Stream.GetWorker().GetBuffer(u"pdfLocalBuffer", &pLocal, &ullLocalBytes), 1);
    EXPECT_NE(pLocal, nullptr);
    EXPECT_EQ(ullLocalBytes, 16u * 9000);
    EXPECT_EQ(Stream.GetWorker().GetPriority(), 1);
    EXPECT_EQ(Stream.GetWorker().GetThreadCount(), 1u);
    Stream.Close();
    EXPECT_EQ(Stream.ullCallbackFrameCount, 9000u);
}

TEST(SoundStreamSetup, ThePrefillWaitEndsOnceTheStoppedDeviceHoldsAFullBuffer)
{
    VirtualRig Rig;
    CSoundStreamWASAPI Stream(&Rig.Layer);
    CountingSource Source(32);
    ASSERT_EQ(SetupAt(Stream), 1);
    EXPECT_EQ(Stream.WaitForPrefill(0), -1);
    EXPECT_EQ(Stream.HasRenderWorkerEnded(), -1);
    ASSERT_EQ(Stream.PrepareRender(CountingSource::Callback, &Source), 1);
    ASSERT_EQ(Stream.WaitForPrefill(WAIT_MS), 1);
    // The whole buffer was written before anything started the device.
    VirtualStreamState Device = Rig.pDevice->GetStreamState();
    EXPECT_EQ(Device.bStarted, 0);
    EXPECT_EQ(Device.ullWrittenFrames, Stream.ullBufferFrameCount);
    EXPECT_EQ(Stream.HasRenderWorkerEnded(), 0);

    // The worker ending by itself shows, and a later wait does not block.
    ASSERT_EQ(Stream.Start(), 1);
    Rig.pDevice->Vanish();
    Rig.pDevice->Advance(480);
    const auto Deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(WAIT_MS);
    while (Stream.HasRenderWorkerEnded() == 0 && std::chrono::steady_clock::now() < Deadline)
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(Stream.HasRenderWorkerEnded(), 1);
    EXPECT_EQ(Stream.WaitForPrefill(0), 1);
    Stream.Stop(0);
    EXPECT_EQ(Stream.HasRenderWorkerEnded(), -1);

    // A worker that fails its set-up releases the waiter too.
    VirtualRig Second;
    CSoundStreamWASAPI Failing(&Second.Layer);
    ASSERT_EQ(SetupAt(Failing), 1);
    Second.pDevice->FailAfter(VirtualOperation::InitializeThread, 0);
    ASSERT_EQ(Failing.PrepareRender(CountingSource::Callback, &Source), 1);
    EXPECT_EQ(Failing.WaitForPrefill(WAIT_MS), 1);
    EXPECT_EQ(Second.pDevice->GetStreamState().ullWrittenFrames, 0u);
}
