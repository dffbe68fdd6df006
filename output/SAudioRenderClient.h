#pragma once
#include "runtime/CNonCopyable.h"
#include <cstdint>

// Writes into the endpoint buffer of a render stream (Windows: IAudioRenderClient).
class SAudioRenderClient : private CNonCopyable
{
public:
    virtual ~SAudioRenderClient() = default;

    // Room for exactly uiFrames frames at *ppData; uiFrames must not exceed the free space.
    virtual int32_t GetBuffer(uint32_t uiFrames, uint8_t** ppData) = 0;
    // Hands uiFrames written frames (at most those obtained) to the device. uiFlags:
    // AUDIO_BUFFERFLAGS_SILENT plays silence instead of the bytes.
    virtual int32_t ReleaseBuffer(uint32_t uiFrames, uint32_t uiFlags) = 0;
};
