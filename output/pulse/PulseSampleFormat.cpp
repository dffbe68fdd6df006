#include "output/pulse/PulseSampleFormat.h"

bool PulseSampleSpecFor(const AudioStreamFormat& Format, pa_sample_spec& Spec)
{
    switch (StereoPcmBits(Format))
    {
    case 32:
        Spec.format = PA_SAMPLE_S32LE;
        break;
    case 24:
        Spec.format = PA_SAMPLE_S24LE;
        break;
    case 16:
        Spec.format = PA_SAMPLE_S16LE;
        break;
    default:
        return false;
    }
    Spec.rate = Format.nSamplesPerSec;
    Spec.channels = 2;
    return pa_sample_spec_valid(&Spec) != 0;
}

AudioStreamFormat StreamFormatForSampleSpec(const pa_sample_spec& Spec)
{
    switch (Spec.format)
    {
    case PA_SAMPLE_S16LE:
        return MakeStreamFormat(Spec.rate, Spec.channels, 16, 16, AUDIO_SUBTYPE_PCM);
    case PA_SAMPLE_S24LE:
        return MakeStreamFormat(Spec.rate, Spec.channels, 24, 24, AUDIO_SUBTYPE_PCM);
    case PA_SAMPLE_S24_32LE:
        return MakeStreamFormat(Spec.rate, Spec.channels, 32, 24, AUDIO_SUBTYPE_PCM);
    case PA_SAMPLE_S32LE:
        return MakeStreamFormat(Spec.rate, Spec.channels, 32, 32, AUDIO_SUBTYPE_PCM);
    default:
        return MakeStreamFormat(Spec.rate, Spec.channels, 32, 32, AUDIO_SUBTYPE_IEEE_FLOAT);
    }
}
