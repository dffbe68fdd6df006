#include "output/alsa/AlsaPcmFormat.h"

#include "output/AudioClientConstants.h"

#include <cerrno>

bool AlsaFormatFor(const AudioStreamFormat& Format, snd_pcm_format_t& AlsaFormat)
{
    switch (StereoPcmBits(Format))
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
    switch (AlsaFormat)
    {
    case SND_PCM_FORMAT_S32_LE:
        Format = MakeStreamFormat(uiRate, uiChannels, 32, 32, AUDIO_SUBTYPE_PCM);
        return true;
    case SND_PCM_FORMAT_S24_LE:
        Format = MakeStreamFormat(uiRate, uiChannels, 32, 24, AUDIO_SUBTYPE_PCM);
        return true;
    case SND_PCM_FORMAT_S24_3LE:
        Format = MakeStreamFormat(uiRate, uiChannels, 24, 24, AUDIO_SUBTYPE_PCM);
        return true;
    case SND_PCM_FORMAT_S16_LE:
        Format = MakeStreamFormat(uiRate, uiChannels, 16, 16, AUDIO_SUBTYPE_PCM);
        return true;
    case SND_PCM_FORMAT_FLOAT_LE:
        Format = MakeStreamFormat(uiRate, uiChannels, 32, 32, AUDIO_SUBTYPE_IEEE_FLOAT);
        return true;
    default:
        return false;
    }
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
