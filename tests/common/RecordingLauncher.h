#pragma once
#include "output/SSettingsLauncher.h"

#include <string>
#include <vector>

// Records what the settings button would start, and starts nothing.
class RecordingLauncher : public SSettingsLauncher
{
public:
    int32_t Launch(const std::u16string& EndpointId) override
    {
        Launched.push_back(EndpointId);
        return 1;
    }
    std::vector<std::u16string> Launched;
};
