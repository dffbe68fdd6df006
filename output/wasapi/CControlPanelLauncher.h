#pragma once
#include "output/SSettingsLauncher.h"

// Opens the sound control panel on the advanced page of one endpoint.
class CControlPanelLauncher : public SSettingsLauncher
{
public:
    CControlPanelLauncher() = default;

    // Builds the command line and starts it; 1 when a process was created, otherwise -1.
    int32_t Launch(const std::u16string& EndpointId) override;

protected:
    // Starts pCommandLine (which the platform may modify in place) without waiting for it and
    // closes the process and thread handles at once. Tests replace it to see the command line.
    virtual int32_t StartProcess(char16_t* pCommandLine);
};
