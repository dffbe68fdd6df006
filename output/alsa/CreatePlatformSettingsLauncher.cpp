#include "output/CreatePlatformSettingsLauncher.h"

#include "output/alsa/CLinuxSettingsLauncher.h"

std::unique_ptr<SSettingsLauncher> CreatePlatformSettingsLauncher()
{
    return std::make_unique<CLinuxSettingsLauncher>();
}
