#pragma once
#include "output/SAudioClientLayer.h"
#include "output/SSettingsLauncher.h"

#include <cstdint>
#include <string>

// Opens the system's own settings for output endpoint iEndpointIndex (-1 the default, k >= 0 the
// k-th active one, as SetupDevice numbers them): finds the endpoint through a stream on pLayer,
// reads its identifier and hands it to pLauncher. The launch's outcome is not reported. Returns the
// endpoint lookup's result: 1, or -1 (nothing is launched then).
int32_t OpenDeviceSettings(SAudioClientLayer* pLayer, SSettingsLauncher* pLauncher, int32_t iEndpointIndex);
// The same for the active endpoint whose identifier is EndpointId, wherever it is listed now; -1
// (nothing launched) when none has it.
int32_t OpenDeviceSettings(SAudioClientLayer* pLayer, SSettingsLauncher* pLauncher,
                           const std::u16string& EndpointId);
