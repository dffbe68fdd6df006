#pragma once
#include "output/AudioStreamFormat.h"

#include <cstdint>
#include <string>

// What the sound server tells about one of its output sinks.
struct PulseSinkInfo
{
    // The sink's name: its identifier on the server, stable while it exists.
    std::string Name;
    // The name the desktop's volume control shows (UTF-8).
    std::string Description;
    // The sink's own format: the rate it runs at, its channels, its sample format.
    AudioStreamFormat Format{};
    // The sound card and device behind it, from its ALSA properties; -1 when it has none (a
    // Bluetooth, network or null sink).
    int32_t iAlsaCard = -1;
    int32_t iAlsaDevice = -1;
};
