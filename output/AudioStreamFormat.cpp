#include "output/AudioStreamFormat.h"

AudioStreamFormat MakeStreamFormat(uint32_t uiSamplingFrequency, uint32_t uiChannels,
                                   uint32_t uiContainerBits, uint32_t uiValidBits,
                                   const AudioFormatGuid& SubFormat)
{
    AudioStreamFormat Format{};
    Format.wFormatTag = AUDIO_FORMAT_TAG_EXTENSIBLE;
    Format.nChannels = static_cast<uint16_t>(uiChannels);
    Format.nSamplesPerSec = uiSamplingFrequency;
    Format.nBlockAlign = static_cast<uint16_t>(uiChannels * (uiContainerBits / 8));
    Format.nAvgBytesPerSec = uiSamplingFrequency * Format.nBlockAlign;
    Format.wBitsPerSample = static_cast<uint16_t>(uiContainerBits);
    Format.cbSize = AUDIO_FORMAT_EXTENSIBLE_SIZE;
    Format.wValidBitsPerSample = static_cast<uint16_t>(uiValidBits);
    Format.dwChannelMask = 0;
    Format.SubFormat = SubFormat;
    return Format;
}

AudioStreamFormat MakeStereoPcmFormat(uint32_t uiSamplingFrequency, uint32_t uiBits)
{
    return MakeStreamFormat(uiSamplingFrequency, 2, uiBits, uiBits, AUDIO_SUBTYPE_PCM);
}

uint32_t StereoPcmBits(const AudioStreamFormat& Format)
{
    const bool bExtensiblePcm =
        Format.wFormatTag == AUDIO_FORMAT_TAG_EXTENSIBLE && Format.cbSize >= AUDIO_FORMAT_EXTENSIBLE_SIZE &&
        Format.SubFormat == AUDIO_SUBTYPE_PCM && Format.wValidBitsPerSample == Format.wBitsPerSample;
    if ((!bExtensiblePcm && Format.wFormatTag != AUDIO_FORMAT_TAG_PCM) || Format.nChannels != 2 ||
        Format.nSamplesPerSec == 0 || Format.nBlockAlign != 2 * (Format.wBitsPerSample / 8) ||
        Format.nAvgBytesPerSec != Format.nSamplesPerSec * Format.nBlockAlign)
    {
        return 0;
    }
    switch (Format.wBitsPerSample)
    {
    case 32:
    case 24:
    case 16:
        return Format.wBitsPerSample;
    default:
        return 0;
    }
}
