#pragma once
#include "output/AudioStreamFormat.h"

#include <alsa/asoundlib.h>

#include <cstdint>

// The ALSA sample format of a two-channel integer PCM format whose container is full of valid
// bits: 32 -> S32_LE, 24 in three bytes -> S24_3LE, 16 -> S16_LE. False for anything else.
bool AlsaFormatFor(const AudioStreamFormat& Format, snd_pcm_format_t& AlsaFormat);

// The extensible format record of an ALSA sample format at a rate and channel count; false when
// the sample format has no such record here (the closest-match answer then looks further).
bool StreamFormatFor(snd_pcm_format_t AlsaFormat, uint32_t uiRate, uint32_t uiChannels,
                     AudioStreamFormat& Format);

// An ALSA error code as an audio-client result: a device that is gone or in a state it cannot
// leave is invalidated, a busy one in use.
int32_t AudioResultForAlsaError(int iError);
