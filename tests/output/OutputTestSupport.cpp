#include "tests/output/OutputTestSupport.h"

#include "app/player/RateTable.h"
#include "output/AudioClientConstants.h"
#include "output/AudioStreamFormat.h"
#include "output/WorkerInputs.h"
#include "runtime/ParameterTable.h"
#include "runtime/StringFunctions.h"
#include "tests/scripted/CVirtualEndpoint.h"

#include <algorithm>
#include <cmath>

namespace
{
// Reads the protected parameter table of any worker: a member pointer named through a derived
// class may be applied to the base.
struct ParameterTablePeek : SMultiThread
{
    static const ParameterTable& Of(const SMultiThread& Worker)
    {
        return Worker.*(&ParameterTablePeek::Parameters);
    }
};

} // namespace

VirtualRig::VirtualRig() : pDevice(std::make_shared<VirtualAudioDevice>())
{
    for (uint32_t i = 0; i < RateTable::COUNT; ++i)
    {
        const uint32_t uiRate = RateTable::Hz(i);
        for (const uint32_t uiBits : {16u, 24u, 32u})
        {
            pDevice->AcceptFormat(AUDIO_SHAREMODE_EXCLUSIVE, uiRate, uiBits);
            pDevice->AcceptFormat(AUDIO_SHAREMODE_SHARED, uiRate, uiBits);
        }
    }
    Layer.AddDevice(pDevice);
}

int32_t FrameCode(uint64_t ullFrame)
{
    return static_cast<int32_t>((ullFrame * 7) % 2001) - 1000;
}

CountingSource::CountingSource(uint32_t uiLogicalBits)
    : dfStep(1.0 / (std::ldexp(1.0, static_cast<int>(uiLogicalBits) - 1) - 1.0))
{
}

int32_t CountingSource::Callback(SoundStreamBuffer* pBuffer, void* pUserParameter)
{
    auto* pSource = static_cast<CountingSource*>(pUserParameter);
    const uint64_t ullCall = ++pSource->ullCalls;
    if (ullCall == pSource->ullFailingCall)
    {
        // Frames that must never reach the device.
        std::fill_n(pBuffer->pdfData, pBuffer->ullCapacity * 2, 0.75);
        pBuffer->ullFrameCount = pBuffer->ullCapacity;
        return 0;
    }
    if (ullCall <= pSource->ullZeroFrameCalls)
    {
        pBuffer->ullFrameCount = 0;
        return 1;
    }
    const uint64_t ullFrames = pSource->ullFramesPerCall != 0
                                   ? std::min(pSource->ullFramesPerCall, pBuffer->ullCapacity)
                                   : pBuffer->ullCapacity;
    for (uint64_t i = 0; i < ullFrames; ++i)
    {
        const double dfValue = FrameCode(pSource->ullNextFrame++) * pSource->dfStep;
        pBuffer->pdfData[2 * i] = dfValue;
        pBuffer->pdfData[2 * i + 1] = -dfValue;
    }
    pBuffer->ullFrameCount = ullFrames + pSource->ullClaimExtra;
    return 1;
}

DecodedFrames DecodeDeviceWords(const std::vector<uint8_t>& Bytes, uint32_t uiContainerBits,
                                uint32_t uiLogicalBits)
{
    DecodedFrames Frames;
    const size_t ullSampleBytes = uiContainerBits / 8;
    const uint32_t uiLowMask = uiLogicalBits >= 32 ? 0u : (uint32_t{1} << (32 - uiLogicalBits)) - 1;
    for (size_t ullAt = 0; ullAt + 2 * ullSampleBytes <= Bytes.size(); ullAt += 2 * ullSampleBytes)
    {
        for (size_t c = 0; c < 2; ++c)
        {
            uint32_t uiWord = 0;
            for (size_t b = 0; b < ullSampleBytes; ++b)
            {
                uiWord |= uint32_t{Bytes[ullAt + c * ullSampleBytes + b]}
                          << (32 - 8 * ullSampleBytes + 8 * b);
            }
            Frames.bLowBitsClear = Frames.bLowBitsClear && (uiWord & uiLowMask) == 0;
            const int32_t iCode = static_cast<int32_t>(uiWord) >> (32 - uiLogicalBits);
            (c == 0 ? Frames.Left : Frames.Right).push_back(iCode);
        }
    }
    return Frames;
}

::testing::AssertionResult PrepareCountingRender(CSoundStreamWASAPI& Stream, CountingSource& Source)
{
    double dfSeconds = 0.005;
    if (Stream.SetupDevice(48000, &dfSeconds, -1) != 1)
    {
        return ::testing::AssertionFailure() << "the device set-up failed";
    }
    if (Stream.PrepareRender(CountingSource::Callback, &Source) != 1)
    {
        return ::testing::AssertionFailure() << "the render launch failed";
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult FramesFollowTheCount(const DecodedFrames& Frames, uint64_t ullFirstFrame,
                                                uint64_t ullCount)
{
    if (Frames.Left.size() < ullCount)
    {
        return ::testing::AssertionFailure()
               << "only " << Frames.Left.size() << " frames, " << ullCount << " expected";
    }
    for (uint64_t i = 0; i < ullCount; ++i)
    {
        const int32_t iExpected = FrameCode(ullFirstFrame + i);
        if (Frames.Left[i] != iExpected || Frames.Right[i] != -iExpected)
        {
            return ::testing::AssertionFailure()
                   << "frame " << i << " holds (" << Frames.Left[i] << ", " << Frames.Right[i]
                   << "), expected (" << iExpected << ", " << -iExpected << ")";
        }
    }
    return ::testing::AssertionSuccess();
}

std::vector<std::u16string> ParameterKeys(const SMultiThread& Worker)
{
    const ParameterTable& Table = ParameterTablePeek::Of(Worker);
    std::vector<std::u16string> Keys;
    for (int32_t i = 0; i < Table.GetCount(); ++i)
    {
        Keys.emplace_back(Table.GetEntry(i)->pName);
    }
    return Keys;
}

WorkerRig::WorkerRig() : pDevice(std::make_shared<VirtualAudioDevice>())
{
    pDevice->SetDevicePeriods(10000, 10000);
}

::testing::AssertionResult WorkerRig::Open(uint32_t uiBits, uint32_t uiFrames, uint64_t ullBlockFrames,
                                           bool bCapture)
{
    constexpr uint32_t RATE = 48000;
    pDevice->AcceptFormat(AUDIO_SHAREMODE_EXCLUSIVE, RATE, uiBits);
    CVirtualEndpoint Endpoint(pDevice);
    const AudioStreamFormat Format = MakeStereoPcmFormat(RATE, uiBits);
    const auto hnsDuration = static_cast<int64_t>(std::llround(uiFrames * 1e7 / RATE));
    const uint32_t uiFlags =
        AUDIO_STREAMFLAGS_NOPERSIST | (bEventDriven != 0 ? AUDIO_STREAMFLAGS_EVENTCALLBACK : 0);
    if (Endpoint.Activate(pClient) < 0 ||
        pClient->Initialize(AUDIO_SHAREMODE_EXCLUSIVE, uiFlags, hnsDuration, hnsDuration, &Format) < 0 ||
        pClient->GetBufferSize(&uiBufferFrames) < 0)
    {
        return ::testing::AssertionFailure() << "the virtual stream did not open";
    }
    const int32_t iService =
        bCapture ? pClient->GetCaptureClient(pCaptureClient) : pClient->GetRenderClient(pRenderClient);
    if (iService < 0)
    {
        return ::testing::AssertionFailure() << "no service of the virtual stream";
    }
    const ::testing::AssertionResult Prepared = Prepare(uiBufferFrames, ullBlockFrames, uiBits, bCapture);
    if (!Prepared)
    {
        return Prepared;
    }
    if (bEventDriven != 0 && pClient->SetEventHandle(&BufferEvent) < 0)
    {
        return ::testing::AssertionFailure() << "no event handle";
    }
    return ::testing::AssertionSuccess();
}

bool WorkerRig::EndsByItself()
{
    const bool bEnded = pDevice->WaitForCallCount(VirtualOperation::UninitializeThread, 1, WAIT_MS);
    if (!bEnded)
    {
        TerminationEvent.Set();
    }
    Worker.WaitForExit();
    return bEnded;
}
