#include "output/alsa/AlsaPcmFormat.h"

#include "output/AudioClientConstants.h"

#include <cerrno>

bool AlsaFormatFor(const AudioStreamFormat& Format, snd_pcm_format_t& AlsaFormat)
{
    const bool bExtensiblePcm =
        Format.wFormatTag == AUDIO_FORMAT_TAG_EXTENSIBLE && Format.cbSize >= AUDIO_FORMAT_EXTENSIBLE_SIZE &&
        Format.SubFormat == AUDIO_SUBTYPE_PCM && Format.wValidBitsPerSample == Format.wBitsPerSample;
    if ((!bExtensiblePcm && Format.wFormatTag != AUDIO_FORMAT_TAG_PCM) || Format.nChannels != 2 ||
        Format.nSamplesPerSec == 0 || Format.nBlockAlign != 2 * (Format.wBitsPerSample / 8) ||
        Format.nAvgBytesPerSec != Format.nSamplesPerSec * Format.nBlockAlign)
    {
        return false;
    }
    switch (Format.wBitsPerSample)
    {
    case 32:
        AlsaFormat = SND_PCM_FORMAT_S32_LE;
        return true;
    case 24:
        AlsaFormat = SND_PCM_FORMAT_S24_3LE;
        return true;
    case 16:
        AlsaFormat = SND_PCM_FORMAT_S16_LE;
        return true;
    default:
        return false;
    }
}

bool StreamFormatFor(snd_pcm_format_t AlsaFormat, uint32_t uiRate, uint32_t uiChannels,
                     AudioStreamFormat& Format)
{
    uint16_t uiContainer = 0;
    uint16_t uiValid = 0;
    AudioFormatGuid SubFormat = AUDIO_SUBTYPE_PCM;
    switch (AlsaFormat)
    {
    case SND_PCM_FORMAT_S32_LE:
        uiContainer = uiValid = 32;
        break;
    case SND_PCM_FORMAT_S24_LE:
        uiContainer = 32;
        uiValid = 24;
        break;
    case SND_PCM_FORMAT_S24_3LE:
        uiContainer = uiValid = 24;
        break;
    case SND_PCM_FORMAT_S16_LE:
        uiContainer = uiValid = 16;
        break;
    case SND_PCM_FORMAT_FLOAT_LE:
        uiContainer = uiValid = 32;
        SubFormat = AUDIO_SUBTYPE_IEEE_FLOAT;
        break;
    default:
        return false;
    }
    Format = AudioStreamFormat{};
    Format.wFormatTag = AUDIO_FORMAT_TAG_EXTENSIBLE;
    Format.nChannels = static_cast<uint16_t>(uiChannels);
    Format.nSamplesPerSec = uiRate;
    Format.nBlockAlign = static_cast<uint16_t>(uiChannels * (uiContainer / 8));
    Format.nAvgBytesPerSec = uiRate * Format.nBlockAlign;
    Format.wBitsPerSample = uiContainer;
    Format.cbSize = AUDIO_FORMAT_EXTENSIBLE_SIZE;
    Format.wValidBitsPerSample = uiValid;
    Format.dwChannelMask = 0;
    Format.SubFormat = SubFormat;
    return true;
}

int32_t AudioResultForAlsaError(int iError)
{
    switch (-iError)
    {
    case EBUSY:
    case EAGAIN:
        return AUDIO_E_DEVICE_IN_USE;
    case ENODEV:
    case ENOENT:
    case ENXIO:
    case EBADFD:
    case EIO:
        return AUDIO_E_DEVICE_INVALIDATED;
    case EINVAL:
        return AUDIO_E_UNSUPPORTED_FORMAT;
    case ENOMEM:
        return AUDIO_E_OUTOFMEMORY;
    default:
        return AUDIO_E_FAIL;
    }
}
