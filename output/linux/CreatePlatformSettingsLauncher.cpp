#include "output/CreatePlatformSettingsLauncher.h"

#include "output/linux/CLinuxSettingsLauncher.h"

std::unique_ptr<SSettingsLauncher> CreatePlatformSettingsLauncher()
{
    return std::make_unique<CLinuxSettingsLauncher>();
}
