#pragma once
#include "output/AudioStreamFormat.h"

#include <pulse/sample.h>

// The server's sample format for the stream's own formats: two channels of 32-, 24- (in three
// bytes) or 16-bit little-endian integer PCM. False for anything else.
bool PulseSampleFormatFor(const AudioStreamFormat& Format, pa_sample_spec& Sample);

// The extensible format record of a server sample format, as a closest match offers it:
// integer formats as such, float and anything else as 32-bit float (what the server mixes in).
AudioStreamFormat StreamFormatForServerSample(const pa_sample_spec& Sample);
