#pragma once
#include "wave/SAudioFileReader.h"

#include <memory>

// The platform's decoder reader, for every file our WAV reader does not read: FFmpeg's libraries on
// Linux, Media Foundation on Windows. Null when none can be made (no memory); a reader that cannot
// decode on this machine refuses in Open and says why in GetErrorText.
std::unique_ptr<SAudioFileReader> CreateDecoderReader();
