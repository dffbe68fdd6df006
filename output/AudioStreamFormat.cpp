#include "output/AudioStreamFormat.h"

AudioStreamFormat MakeStereoPcmFormat(uint32_t uiSamplingFrequency, uint32_t uiBits)
{
    AudioStreamFormat Format{};
    Format.wFormatTag = AUDIO_FORMAT_TAG_EXTENSIBLE;
    Format.nChannels = 2;
    Format.nSamplesPerSec = uiSamplingFrequency;
    Format.nBlockAlign = static_cast<uint16_t>(2 * (uiBits / 8));
    Format.nAvgBytesPerSec = uiSamplingFrequency * Format.nBlockAlign;
    Format.wBitsPerSample = static_cast<uint16_t>(uiBits);
    Format.cbSize = AUDIO_FORMAT_EXTENSIBLE_SIZE;
    Format.wValidBitsPerSample = static_cast<uint16_t>(uiBits);
    Format.dwChannelMask = 0;
    Format.SubFormat = AUDIO_SUBTYPE_PCM;
    return Format;
}
