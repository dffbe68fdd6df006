#include "output/StagingRenderBuffer.h"

#include "output/AudioClientConstants.h"

#include <cstring>
#include <new>

int32_t StagingRenderBuffer::Allocate(uint32_t uiFrames, uint32_t uiFrameBytes)
{
    std::vector<uint8_t> NewBlock;
    try
    {
        NewBlock.assign(static_cast<size_t>(uiFrames) * uiFrameBytes, 0);
    }
    catch (const std::bad_alloc&)
    {
        return AUDIO_E_OUTOFMEMORY;
    }
    Block = std::move(NewBlock);
    uiBytesPerFrame = uiFrameBytes;
    bPending = 0;
    uiPendingFrames = 0;
    return AUDIO_OK;
}

int32_t StagingRenderBuffer::Get(uint32_t uiFrames, uint32_t uiFreeFrames, uint8_t** ppData)
{
    if (ppData == nullptr)
    {
        return AUDIO_E_POINTER;
    }
    if (bPending != 0)
    {
        return AUDIO_E_OUT_OF_ORDER;
    }
    if (uiFrames > uiFreeFrames)
    {
        return AUDIO_E_BUFFER_TOO_LARGE;
    }
    *ppData = Block.data();
    bPending = 1;
    uiPendingFrames = uiFrames;
    return AUDIO_OK;
}

int32_t StagingRenderBuffer::Release(uint32_t uiFrames, uint32_t uiFlags, const uint8_t*& pBytes,
                                     size_t& ullBytes)
{
    pBytes = nullptr;
    ullBytes = 0;
    if (bPending == 0)
    {
        return AUDIO_E_OUT_OF_ORDER;
    }
    if (uiFrames > uiPendingFrames)
    {
        return AUDIO_E_INVALID_SIZE;
    }
    if ((uiFlags & ~AUDIO_BUFFERFLAGS_SILENT) != 0)
    {
        return AUDIO_E_INVALIDARG;
    }
    bPending = 0;
    uiPendingFrames = 0;
    ullBytes = static_cast<size_t>(uiFrames) * uiBytesPerFrame;
    if ((uiFlags & AUDIO_BUFFERFLAGS_SILENT) != 0)
    {
        std::memset(Block.data(), 0, ullBytes);
    }
    pBytes = Block.data();
    return AUDIO_OK;
}
