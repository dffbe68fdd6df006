#include "output/SoundStreamBuffer.h"

#include <cstdlib>
#include <limits>

namespace
{
constexpr uint32_t CHANNELS = 2;
constexpr uint64_t FRAME_BYTES = CHANNELS * sizeof(double);
} // namespace

SoundStreamBuffer::~SoundStreamBuffer()
{
    Release();
}

void SoundStreamBuffer::Release()
{
    std::free(pdfData);
    pdfData = nullptr;
    pOwner = nullptr;
    uiDirection = 0;
    uiChannelCount = 0;
    ullCapacity = 0;
    ullFrameCount = 0;
}

int32_t SoundStreamBuffer::Initialize(SSoundStream* pOwnerStream, uint64_t ullFrames, int32_t bCapture)
{
    Release();
    if (ullFrames == 0)
    {
        return -4;
    }
    // Refused before the byte size is formed: frames x 16 must not wrap around (this bound is
    // below 2^63 frames, so every count beyond the signed 64-bit range is refused too).
    if (ullFrames > std::numeric_limits<uint64_t>::max() / FRAME_BYTES)
    {
        return -5;
    }
    pdfData = static_cast<double*>(std::calloc(static_cast<size_t>(ullFrames * CHANNELS), sizeof(double)));
    if (pdfData == nullptr)
    {
        return -2;
    }
    pOwner = pOwnerStream;
    uiDirection = bCapture != 0 ? DIRECTION_CAPTURE : DIRECTION_RENDER;
    uiChannelCount = CHANNELS;
    ullCapacity = ullFrames;
    return 1;
}
