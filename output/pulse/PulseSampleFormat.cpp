#include "output/pulse/PulseSampleFormat.h"

bool PulseSampleFormatFor(const AudioStreamFormat& Format, pa_sample_spec& Sample)
{
    switch (StereoPcmBits(Format))
    {
    case 32:
        Sample.format = PA_SAMPLE_S32LE;
        break;
    case 24:
        Sample.format = PA_SAMPLE_S24LE;
        break;
    case 16:
        Sample.format = PA_SAMPLE_S16LE;
        break;
    default:
        return false;
    }
    Sample.rate = Format.nSamplesPerSec;
    Sample.channels = 2;
    return pa_sample_spec_valid(&Sample) != 0;
}

AudioStreamFormat StreamFormatForServerSample(const pa_sample_spec& Sample)
{
    switch (Sample.format)
    {
    case PA_SAMPLE_S16LE:
        return MakeStreamFormat(Sample.rate, Sample.channels, 16, 16, AUDIO_SUBTYPE_PCM);
    case PA_SAMPLE_S24LE:
        return MakeStreamFormat(Sample.rate, Sample.channels, 24, 24, AUDIO_SUBTYPE_PCM);
    case PA_SAMPLE_S24_32LE:
        return MakeStreamFormat(Sample.rate, Sample.channels, 32, 24, AUDIO_SUBTYPE_PCM);
    case PA_SAMPLE_S32LE:
        return MakeStreamFormat(Sample.rate, Sample.channels, 32, 32, AUDIO_SUBTYPE_PCM);
    default:
        return MakeStreamFormat(Sample.rate, Sample.channels, 32, 32, AUDIO_SUBTYPE_IEEE_FLOAT);
    }
}
