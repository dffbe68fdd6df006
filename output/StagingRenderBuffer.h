#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// The render buffer of a back end that copies into the device (or server) itself: one block of the
// stream's buffer size that the render thread fills between a get-buffer and its release, with the
// checks every render service makes in that order. Not locked: its stream's lock guards it.
class StagingRenderBuffer
{
public:
    // Room for uiFrames frames of uiFrameBytes each, zeroed; nothing pending. AUDIO_OK, or
    // AUDIO_E_OUTOFMEMORY (the buffer is unchanged then).
    int32_t Allocate(uint32_t uiFrames, uint32_t uiFrameBytes);

    // Hands out the block for uiFrames frames when the device has uiFreeFrames free: AUDIO_E_POINTER
    // without ppData, AUDIO_E_OUT_OF_ORDER while a block is out, AUDIO_E_BUFFER_TOO_LARGE for more
    // than the free frames.
    int32_t Get(uint32_t uiFrames, uint32_t uiFreeFrames, uint8_t** ppData);
    // Takes the block back with uiFrames written frames (silence with AUDIO_BUFFERFLAGS_SILENT):
    // AUDIO_E_OUT_OF_ORDER when none is out, AUDIO_E_INVALID_SIZE for more frames than were asked
    // for, AUDIO_E_INVALIDARG for unknown flags. On success the bytes to hand to the device.
    int32_t Release(uint32_t uiFrames, uint32_t uiFlags, const uint8_t*& pBytes, size_t& ullBytes);

    uint32_t GetFrameBytes() const { return uiBytesPerFrame; }

private:
    std::vector<uint8_t> Block;
    uint32_t uiBytesPerFrame = 0;
    int32_t bPending = 0;
    uint32_t uiPendingFrames = 0;
};
