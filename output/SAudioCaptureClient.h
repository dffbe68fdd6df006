#pragma once
#include "runtime/CNonCopyable.h"
#include <cstdint>

// Reads packets from the endpoint buffer of a capture stream (Windows: IAudioCaptureClient).
class SAudioCaptureClient : private CNonCopyable
{
public:
    virtual ~SAudioCaptureClient() = default;

    // The next packet: its bytes, its frames and its AUDIO_BUFFERFLAGS_*. AUDIO_S_BUFFER_EMPTY with 0
    // frames when none is waiting. Device position and performance counter are not reported.
    virtual int32_t GetBuffer(uint8_t** ppData, uint32_t* puiFrames, uint32_t* puiFlags) = 0;
    // Releases the packet: uiFrames is its frame count, or 0 when it was not read.
    virtual int32_t ReleaseBuffer(uint32_t uiFrames) = 0;
};
