#pragma once
#include "output/SAudioClientLayer.h"

#include <memory>

// The audio-client layer of the platform the program was built for: WASAPI on Windows; on Linux the
// desktop's sound server for shared mode and ALSA for the hardware. Each back-end folder defines it; CMake
// links the one that fits. Null when the platform's audio system cannot be reached at all.
std::unique_ptr<SAudioClientLayer> CreatePlatformAudioLayer();
