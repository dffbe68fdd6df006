#include "output/RenderThreadBody.h"

#include "output/AudioClientConstants.h"
#include "output/DataBuffer.h"
#include "output/Quantizer.h"
#include "output/SAudioClient.h"
#include "output/SAudioRenderClient.h"
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
// Everything the render worker reads from its tables once, at its start.
struct RenderInputs : WorkerInputs
{
    SAudioRenderClient* pRenderClient = nullptr;
    Quantizer* pQuantizer = nullptr;
    // Optional: set once the device buffer was first filled, and when the worker ends.
    SEvent* pPrefillEvent = nullptr;
    SEvent* pExitEvent = nullptr;
};

RenderInputs ReadInputs(const SMultiThread* pOwner)
{
    RenderInputs In;
    static_cast<WorkerInputs&>(In) = ReadWorkerInputs(pOwner);
    In.pRenderClient =
        ReadParameterAddress<SAudioRenderClient>(pOwner, WorkerParameterNames::AUDIO_RENDER_CLIENT);
    In.pQuantizer = ReadParameterAddress<Quantizer>(pOwner, WorkerParameterNames::QUANTIZER);
    In.pPrefillEvent = ReadParameterAddress<SEvent>(pOwner, WorkerParameterNames::PREFILL_EVENT);
    In.pExitEvent = ReadParameterAddress<SEvent>(pOwner, WorkerParameterNames::EXIT_EVENT);
    return In;
}

// Fills the local buffer with ullFrames frames from the data buffer, calling the buffer callback
// until the data buffer holds enough. true when the stream is to end after this period.
bool Refill(const RenderInputs& In, uint64_t ullFrames)
{
    const uint64_t ullBytes = ullFrames * In.ullChannels * sizeof(double);
    SoundStreamBuffer& Block = *In.pStreamBuffer;
    for (;;)
    {
        const int32_t iRead = In.pDataBuffer->Read(In.pdfLocal, ullBytes);
        if (iRead == 1)
        {
            return false;
        }
        if (iRead < 0)
        {
            return true;
        }
        if (In.pCallback(&Block, In.pUserParameter) == 0)
        {
            return true;
        }
        if (In.pdfLocal == nullptr || Block.uiDirection != SoundStreamBuffer::DIRECTION_RENDER)
        {
            return true;
        }
        // A callback that claims more frames than its block holds still cannot make us read past it.
        const uint64_t ullDelivered =
            std::min({Block.ullFrameCount, Block.ullCapacity, In.ullLocalDoubles / In.ullChannels});
        if (Block.pdfData != nullptr)
        {
            const uint64_t ullDoubles =
                std::min<uint64_t>(Block.uiChannelCount * ullDelivered, In.ullLocalDoubles);
            std::memcpy(In.pdfLocal, Block.pdfData, static_cast<size_t>(ullDoubles * sizeof(double)));
        }
        if (In.pDataBuffer->Write(In.pdfLocal, ullDelivered * In.ullChannels * sizeof(double)) < 0)
        {
            return true;
        }
        if (In.pTerminationEvent->Wait(0) > 0)
        {
            return false;
        }
    }
}

// Words quantised per pass of the packing: a small block on the stack that stays in the cache.
constexpr uint32_t WORD_BLOCK = 512;

// The top uiBytes bytes of each word, little-endian; the width is fixed per instance so the byte
// loop unrolls and the words are stored without a per-sample decision.
template <uint32_t BYTES> uint8_t* PackWords(const uint32_t* puiWords, uint32_t uiWords, uint8_t* pDevice)
{
    constexpr uint32_t LOWEST_SHIFT = 32 - 8 * BYTES;
    for (uint32_t i = 0; i < uiWords; ++i)
    {
        const uint32_t uiWord = puiWords[i];
        for (uint32_t b = 0; b < BYTES; ++b)
        {
            pDevice[b] = static_cast<uint8_t>(uiWord >> (LOWEST_SHIFT + 8 * b));
        }
        pDevice += BYTES;
    }
    return pDevice;
}

// Quantises uiFrames frames of the local buffer into device words: the top container bytes of each
// quantiser word, little-endian, frame after frame.
void WriteDeviceWords(const RenderInputs& In, uint32_t uiFrames, uint8_t* pDevice)
{
    Quantizer& Quant = *In.pQuantizer;
    const uint32_t uiChannels = Quant.GetChannelCount();
    const uint32_t uiBytes = Quant.GetDeviceBitCount() / 8;
    const uint32_t uiBlockFrames = WORD_BLOCK / uiChannels;
    uint32_t Words[WORD_BLOCK];
    const double* pdfSample = In.pdfLocal;
    for (uint32_t uiDone = 0; uiDone < uiFrames;)
    {
        const uint32_t uiCount = std::min(uiBlockFrames, uiFrames - uiDone);
        const uint32_t uiWords = uiCount * uiChannels;
        Quant.QuantizeFrames(pdfSample, uiCount, Words);
        switch (uiBytes)
        {
        case 1:
            pDevice = PackWords<1>(Words, uiWords, pDevice);
            break;
        case 2:
            pDevice = PackWords<2>(Words, uiWords, pDevice);
            break;
        case 3:
            pDevice = PackWords<3>(Words, uiWords, pDevice);
            break;
        default:
            pDevice = PackWords<4>(Words, uiWords, pDevice);
            break;
        }
        pdfSample += uiWords;
        uiDone += uiCount;
    }
}

void SignalEvent(SEvent* pEvent)
{
    if (pEvent != nullptr)
    {
        pEvent->Set();
    }
}

uint64_t RenderLoop(const RenderInputs& In)
{
    if (In.pRenderClient == nullptr || In.pDataBuffer == nullptr || In.pStreamBuffer == nullptr ||
        In.pCallback == nullptr || In.ullChannels == 0)
    {
        return 0;
    }
    uint32_t uiBufferFrames = 0;
    if (In.pAudioClient->GetBufferSize(&uiBufferFrames) < 0)
    {
        return 0;
    }
    bool bPrefilled = false;
    for (;;)
    {
        if (!WaitForDevicePeriod(In.bEventDriven, In.pTerminationEvent, In.pBufferEvent, In.pTimer))
        {
            return 1;
        }
        uint32_t uiPadding = 0;
        if (In.pAudioClient->GetCurrentPadding(&uiPadding) < 0)
        {
            return 0;
        }
        if (uiPadding >= uiBufferFrames)
        {
            continue;
        }
        const uint32_t uiFree = uiBufferFrames - uiPadding;

        // A local buffer too small for the room is a buffer error: that period is played silent.
        const bool bLocalFits = uint64_t{uiFree} * In.ullChannels <= In.ullLocalDoubles;
        const bool bEnding = !bLocalFits || Refill(In, uiFree);

        uint8_t* pDevice = nullptr;
        if (In.pRenderClient->GetBuffer(uiFree, &pDevice) < 0)
        {
            return 0;
        }
        uint32_t uiFlags = 0;
        if (bLocalFits && pDevice != nullptr && In.pQuantizer != nullptr &&
            In.pQuantizer->IsInitialized() != 0 &&
            uint64_t{In.pQuantizer->GetChannelCount()} * uiFree <= In.ullLocalDoubles)
        {
            WriteDeviceWords(In, uiFree, pDevice);
        }
        else
        {
            // Nothing sensible to write: the device plays silence instead of whatever its buffer held.
            uiFlags = AUDIO_BUFFERFLAGS_SILENT;
        }
        if (In.pRenderClient->ReleaseBuffer(uiFree, uiFlags) < 0)
        {
            return 0;
        }
        // The first write fills the whole buffer of the stopped device; its owner may start it now.
        if (!bPrefilled)
        {
            SignalEvent(In.pPrefillEvent);
            bPrefilled = true;
        }
        if (bEnding)
        {
            return 0;
        }
    }
}
} // namespace

uint64_t RenderThreadBody(ThreadContext* pContext)
{
    const RenderInputs In = ReadInputs(pContext != nullptr ? pContext->pOwner : nullptr);
    uint64_t ullResult = 0;
    if (InitializeWorkerThread(In))
    {
        ullResult = RenderLoop(In);
        In.pAudioClient->UninitializeThread();
    }
    // Whoever waits for the pre-fill must not wait for a worker that has gone.
    SignalEvent(In.pPrefillEvent);
    SignalEvent(In.pExitEvent);
    return ullResult;
}
