#pragma once
#include "runtime/CNonCopyable.h"
#include <cstdint>

class SSoundStream;
class SoundStreamBuffer;

// The buffer callback of a sound stream. Render: fill ullFrameCount (at most ullCapacity) frames
// into pdfData. Capture: consume the ullFrameCount frames given. A zero result ends the stream.
using BufferCallbackFunction = int32_t (*)(SoundStreamBuffer* pSoundStreamBuffer, void* pUserParameter);

// The block of interleaved stereo doubles that a sound stream and its buffer callback exchange.
// The fields are the callback's to read and fill; the storage belongs to the record.
class SoundStreamBuffer : private CNonCopyable
{
public:
    static constexpr uint32_t DIRECTION_CAPTURE = 1;
    static constexpr uint32_t DIRECTION_RENDER = 2;

    ~SoundStreamBuffer();

    // Room for ullFrames zeroed stereo frames. 1; -4 for 0 frames; -5 when the byte size would not
    // fit 64 bits; -2 when allocation fails. The old storage is freed first and a failure leaves
    // the record zeroed.
    int32_t Initialize(SSoundStream* pOwnerStream, uint64_t ullFrames, int32_t bCapture);
    // Frees the storage and zeroes the record.
    void Release();

    SSoundStream* pOwner = nullptr;
    uint32_t uiDirection = 0;
    uint32_t uiChannelCount = 0;
    uint64_t ullCapacity = 0;
    uint64_t ullFrameCount = 0;
    double* pdfData = nullptr;
};
