#include "output/linux/ConfiguredOutputList.h"

#include "output/alsa/AlsaDeviceList.h"

ConfiguredOutputList::ConfiguredOutputList(std::chrono::milliseconds Lifetime) : MaximumAge(Lifetime) {}

std::vector<AlsaEndpointInfo> ConfiguredOutputList::Get()
{
    std::lock_guard<std::mutex> Lock(Mutex);
    const auto Now = std::chrono::steady_clock::now();
    if (!bListed || Now - Listed > MaximumAge)
    {
        ListAlsaConfiguredOutputs(Outputs);
        Listed = Now;
        bListed = true;
    }
    return Outputs;
}
