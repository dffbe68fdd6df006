#include "output/CaptureThreadBody.h"

#include "output/AudioClientConstants.h"
#include "output/ConvertCaptureSamples.h"
#include "output/DataBuffer.h"
#include "output/SAudioCaptureClient.h"
#include "output/SAudioClient.h"
#include "output/SoundStreamBuffer.h"
#include "output/WaitForDevicePeriod.h"
#include "output/WorkerInputs.h"
#include "runtime/SEvent.h"
#include "runtime/STimer.h"
#include "runtime/WorkerParameterNames.h"
#include "runtime/WorkerParameters.h"

#include <algorithm>
#include <cstring>

namespace
{
// Everything the capture worker reads from its tables once, at its start.
struct CaptureInputs : WorkerInputs
{
    SMultiThread* pOwner = nullptr;
    SAudioCaptureClient* pCaptureClient = nullptr;
    // 1 for a mono device, else the stream's channel count.
    uint64_t ullDeviceChannels = 0;
    int32_t bMonaural = 0;
    uint32_t uiBitCount = 0;
};

CaptureInputs ReadInputs(SMultiThread* pOwner)
{
    CaptureInputs In;
    static_cast<WorkerInputs&>(In) = ReadWorkerInputs(pOwner);
    In.pOwner = pOwner;
    In.pCaptureClient =
        ReadParameterAddress<SAudioCaptureClient>(pOwner, WorkerParameterNames::AUDIO_CAPTURE_CLIENT);
    if (const int32_t* pbMonaural =
            ReadParameterAddress<int32_t>(pOwner, WorkerParameterNames::MONAURAL_DEVICE))
    {
        In.bMonaural = *pbMonaural;
    }
    In.ullDeviceChannels = In.bMonaural != 0 ? 1 : In.ullChannels;
    if (const uint32_t* puiBits = ReadParameterAddress<uint32_t>(pOwner, WorkerParameterNames::BIT_COUNT))
    {
        In.uiBitCount = *puiBits;
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
    if (!InitializeWorkerThread(In))
    {
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
