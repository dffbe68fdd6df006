#include "app/player/PlaybackBufferCallback.h"

#include "app/player/PlayerState.h"
#include "soundbuffer/IntelligentSoundBuffer.h"

#include <algorithm>
#include <cstring>

int32_t PlaybackBufferCallback(SoundStreamBuffer* pSoundStreamBuffer, void* pUserParameter)
{
    PlayerState& State =
        pUserParameter != nullptr ? *static_cast<PlayerState*>(pUserParameter) : PlayerState::Instance();
    IntelligentSoundBuffer* pBuffer = State.pIntelligentSoundBuffer;
    double* pdfBlock = State.pdfDeviceBlock;
    const uint64_t ullBlockCount = State.ullDeviceBlockCount;

    // The period is read even when the stream's block turns out unusable, so the buffer keeps pace
    // with the device.
    bool bRead = false;
    if (pBuffer != nullptr && pdfBlock != nullptr &&
        ullBlockCount >= pBuffer->ullPeriodFrames * pBuffer->ullChannels)
    {
        bRead = pBuffer->ReadPeriod(pdfBlock) >= 0;
    }

    // The block is stereo; a record of any other width would be read or written past its end.
    if (pdfBlock == nullptr || pSoundStreamBuffer == nullptr ||
        pSoundStreamBuffer->uiDirection != SoundStreamBuffer::DIRECTION_RENDER ||
        pSoundStreamBuffer->uiChannelCount != 2)
    {
        return 0;
    }

    const uint64_t ullCapacity = pSoundStreamBuffer->ullCapacity;
    const uint64_t ullFrames = std::min(ullCapacity, ullBlockCount / 2);
    if (double* pdfData = pSoundStreamBuffer->pdfData; pdfData != nullptr)
    {
        std::memcpy(pdfData, pdfBlock, static_cast<size_t>(ullFrames * 2) * sizeof(double));
        std::fill(pdfData + ullFrames * 2, pdfData + ullCapacity * 2, 0.0);
    }
    pSoundStreamBuffer->ullFrameCount = ullFrames;
    return bRead ? 1 : 0;
}
