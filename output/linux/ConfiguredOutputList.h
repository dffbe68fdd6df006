#pragma once
#include "output/alsa/AlsaEndpointInfo.h"

#include <chrono>
#include <mutex>
#include <vector>

// The outputs the ALSA configuration describes, listed again only when the last listing is older
// than a lifetime. Listing them is not free: on a desktop the system's configuration asks the sound
// server whether it runs, with a connection of its own, every time; and a device ladder lists the
// endpoints at every step.
class ConfiguredOutputList
{
public:
    explicit ConfiguredOutputList(std::chrono::milliseconds Lifetime);

    std::vector<AlsaEndpointInfo> Get();

private:
    const std::chrono::milliseconds MaximumAge;
    std::mutex Mutex;
    bool bListed = false;
    std::chrono::steady_clock::time_point Listed{};
    std::vector<AlsaEndpointInfo> Outputs;
};
