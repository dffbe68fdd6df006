#pragma once
#include "wave/SAudioFileReader.h"

#include <memory>

// The reader of the platform's own decoders, for the files our WAV reader does not take. Never null
// unless memory ran out.
std::unique_ptr<SAudioFileReader> CreateDecoderReader();
