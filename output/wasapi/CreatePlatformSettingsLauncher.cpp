#include "output/CreatePlatformSettingsLauncher.h"

#include "output/wasapi/CControlPanelLauncher.h"

std::unique_ptr<SSettingsLauncher> CreatePlatformSettingsLauncher()
{
    return std::make_unique<CControlPanelLauncher>();
}
