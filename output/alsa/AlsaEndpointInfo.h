#pragma once
#include <cstdint>
#include <string>

// What the back end knows about one output endpoint without opening it.
struct AlsaEndpointInfo
{
    enum class Kind
    {
        Default,  // the system's default output, "default"
        Hardware, // a card's playback device, hw:CARD=...,DEV=...
        Hinted,   // a playback PCM the ALSA configuration describes with a hint
    };

    Kind Type = Kind::Default;
    // The ALSA device string; also the endpoint's identifier.
    std::string Id;
    // The name users know it by, as ALSA gives it (UTF-8 in practice; may be empty or odd).
    std::string Name;
    // A card's device: the card's and the device's numbers; -1 for the other kinds.
    int32_t iCard = -1;
    int32_t iDevice = -1;
};
