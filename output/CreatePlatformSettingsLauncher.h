#pragma once
#include "output/SSettingsLauncher.h"

#include <memory>

// The settings launcher of the platform the program was built for; each back-end folder defines
// it beside CreatePlatformAudioLayer().
std::unique_ptr<SSettingsLauncher> CreatePlatformSettingsLauncher();
