#include "output/CaptureThreadBody.h"

#include "output/AudioClientConstants.h"
#include "output/ConvertCaptureSamples.h"
#include "output/DataBuffer.h"
#include "output/SAudioCaptureClient.h"
#include "output/SAudioClient.h"
#include "output/SoundStreamBuffer.h"
#include "output/WaitForDevicePeriod.h"
#include "output/WorkerParameters.h"
#include "runtime/SEvent.h"
#include "runtime/STimer.h"

#include <algorithm>
#include <cstring>

namespace
{
// Everything the capture worker reads from its tables once, at its start.
struct CaptureInputs
{
    SMultiThread* pOwner = nullptr;
    SAudioClient* pAudioClient = nullptr;
    SAudioCaptureClient* pCaptureClient = nullptr;
    uint64_t ullDeviceChannels = 0;
    int32_t bMonaural = 0;
    uint32_t uiBitCount = 0;
    BufferCallbackFunction pCallback = nullptr;
    void* pUserParameter = nullptr;
    SEvent* pTerminationEvent = nullptr;
    int32_t bEventDriven = 0;
    SEvent* pBufferEvent = nullptr;
    SoundStreamBuffer* pStreamBuffer = nullptr;
    DataBuffer* pDataBuffer = nullptr;
    STimer* pTimer = nullptr;
    double* pdfLocal = nullptr;
    uint64_t ullLocalDoubles = 0;
};

CaptureInputs ReadInputs(SMultiThread* pOwner)
{
    CaptureInputs In;
    In.pOwner = pOwner;
    In.pAudioClient = ReadParameterAddress<SAudioClient>(pOwner, u"pAudioClient");
    In.pCaptureClient = ReadParameterAddress<SAudioCaptureClient>(pOwner, u"pAudioCaptureClient");
    uint64_t ullChannels = 0;
    if (const uint64_t* pullChannels = ReadParameterAddress<uint64_t>(pOwner, u"puiChannelCount"))
    {
        ullChannels = *pullChannels;
    }
    if (const int32_t* pbMonaural = ReadParameterAddress<int32_t>(pOwner, u"pbMonauralDevice"))
    {
        In.bMonaural = *pbMonaural;
    }
    In.ullDeviceChannels = In.bMonaural != 0 ? 1 : ullChannels;
    if (const uint32_t* puiBits = ReadParameterAddress<uint32_t>(pOwner, u"puiBitCount"))
    {
        In.uiBitCount = *puiBits;
    }
    uint64_t ullCallback = 0;
    if (pOwner != nullptr && pOwner->GetParameter(u"BufferCallbackFunction", &ullCallback) == 1)
    {
        In.pCallback = reinterpret_cast<BufferCallbackFunction>(static_cast<uintptr_t>(ullCallback));
    }
    In.pUserParameter = ReadParameterAddress<void>(pOwner, u"pUserParameter");
    In.pTerminationEvent = ReadParameterAddress<SEvent>(pOwner, u"pTerminationEvent");
    if (const int32_t* pbEventDriven = ReadParameterAddress<int32_t>(pOwner, u"pbEventDriven"))
    {
        In.bEventDriven = *pbEventDriven;
    }
    In.pBufferEvent = ReadParameterAddress<SEvent>(pOwner, u"pBufferEvent");
    In.pStreamBuffer = ReadParameterAddress<SoundStreamBuffer>(pOwner, u"pSoundStreamBuffer");
    In.pDataBuffer = ReadParameterAddress<DataBuffer>(pOwner, u"pDataBuffer");
    In.pTimer = ReadParameterAddress<STimer>(pOwner, u"pTimer");
    void* pLocal = nullptr;
    uint64_t ullLocalBytes = 0;
    if (pOwner != nullptr && pOwner->GetBuffer(u"pdfLocalBuffer", &pLocal, &ullLocalBytes) == 1 &&
        pLocal != nullptr)
    {
        In.pdfLocal = static_cast<double*>(pLocal);
        In.ullLocalDoubles = ullLocalBytes / sizeof(double);
    }
    return In;
}

// Hands ullFrames frames of the local buffer to the callback in the stream buffer; a mono device's
// samples go to every channel. false when the stream buffer cannot take them.
bool FillBlock(const CaptureInputs& In, uint64_t ullFrames)
{
    SoundStreamBuffer& Block = *In.pStreamBuffer;
    if (In.pdfLocal == nullptr || Block.uiDirection != SoundStreamBuffer::DIRECTION_CAPTURE ||
        (In.bMonaural != 0 && Block.uiChannelCount == 0) || Block.pdfData == nullptr)
    {
        return false;
    }
    const uint64_t ullCount = std::min(ullFrames, Block.ullCapacity);
    if (In.bMonaural != 0)
    {
        for (uint64_t i = 0; i < ullCount && i < In.ullLocalDoubles; ++i)
        {
            for (uint32_t c = 0; c < Block.uiChannelCount; ++c)
            {
                Block.pdfData[i * Block.uiChannelCount + c] = In.pdfLocal[i];
            }
        }
    }
    else
    {
        const uint64_t ullDoubles = std::min<uint64_t>(ullCount * Block.uiChannelCount, In.ullLocalDoubles);
        std::memcpy(Block.pdfData, In.pdfLocal, static_cast<size_t>(ullDoubles * sizeof(double)));
    }
    Block.ullFrameCount = ullCount;
    return true;
}

// The loop of the capture worker; true when it ended without error.
bool CaptureLoop(const CaptureInputs& In, uint64_t ullBlockFrames)
{
    const uint64_t ullFrameBytes = In.ullDeviceChannels * sizeof(double);
    for (;;)
    {
        if (!WaitForDevicePeriod(In.bEventDriven, In.pTerminationEvent, In.pBufferEvent, In.pTimer))
        {
            return true;
        }
        uint8_t* pPacket = nullptr;
        uint32_t uiFrames = 0;
        uint32_t uiFlags = 0;
        if (In.pCaptureClient->GetBuffer(&pPacket, &uiFrames, &uiFlags) < 0)
        {
            return false;
        }
        if (In.pdfLocal != nullptr)
        {
            if ((uiFlags & AUDIO_BUFFERFLAGS_SILENT) != 0)
            {
                std::fill_n(In.pdfLocal, In.ullLocalDoubles, 0.0);
            }
            else
            {
                ConvertCaptureSamples(In.ullDeviceChannels, In.uiBitCount, pPacket, uiFrames, In.pdfLocal,
                                      In.ullLocalDoubles);
            }
        }
        if (In.pCaptureClient->ReleaseBuffer(uiFrames) < 0)
        {
            return false;
        }
        if (uiFrames == 0)
        {
            continue;
        }
        // Only what the local buffer holds can be passed on.
        const uint64_t ullStored = std::min<uint64_t>(uiFrames, In.ullLocalDoubles / In.ullDeviceChannels);
        In.pDataBuffer->Write(In.pdfLocal, ullStored * ullFrameBytes);

        while (In.pDataBuffer->Read(In.pdfLocal, ullBlockFrames * ullFrameBytes) == 1)
        {
            if (!FillBlock(In, ullBlockFrames) || In.pCallback(In.pStreamBuffer, In.pUserParameter) == 0)
            {
                return false;
            }
            if (In.pTerminationEvent->Wait(0) > 0)
            {
                break;
            }
        }
    }
}
} // namespace

uint64_t CaptureThreadBody(ThreadContext* pContext)
{
    const CaptureInputs In = ReadInputs(pContext != nullptr ? pContext->pOwner : nullptr);
    if (In.pTerminationEvent == nullptr)
    {
        return 0;
    }
    if (In.pAudioClient == nullptr || In.pAudioClient->InitializeThread() < 0)
    {
        In.pTerminationEvent->Set();
        return 0;
    }
    const uint64_t ullBlockFrames =
        In.pStreamBuffer != nullptr && In.pStreamBuffer->uiDirection != 0 ? In.pStreamBuffer->ullCapacity : 0;
    In.pOwner->SetPriority(1);

    // Without a block to deliver into (or a device frame of no size) the loop could only spin, and a
    // local buffer smaller than a block would be overrun by the data buffer's reads.
    bool bClean = false;
    if (In.pCaptureClient != nullptr && In.pDataBuffer != nullptr && In.pStreamBuffer != nullptr &&
        In.pCallback != nullptr && In.ullDeviceChannels != 0 && ullBlockFrames != 0 &&
        ullBlockFrames <= In.ullLocalDoubles / In.ullDeviceChannels)
    {
        bClean = CaptureLoop(In, ullBlockFrames);

        // Whatever is left, at most one block, goes out once more.
        const uint64_t ullFrameBytes = In.ullDeviceChannels * sizeof(double);
        const uint64_t ullLeft = std::min(In.pDataBuffer->GetCount() / ullFrameBytes, ullBlockFrames);
        if (ullLeft != 0 && In.pDataBuffer->Read(In.pdfLocal, ullLeft * ullFrameBytes) == 1 &&
            FillBlock(In, ullLeft))
        {
            In.pCallback(In.pStreamBuffer, In.pUserParameter);
        }
    }
    In.pAudioClient->UninitializeThread();
    return bClean ? 1 : 0;
}
