#pragma once
#include "output/SAudioClientLayer.h"

#include <cstdint>
#include <string>
#include <vector>

// The names of the active output endpoints, in enumeration order (the order SetupDevice numbers
// them in): each cut to 63 characters, "Unknown" for a name that is not text; an endpoint whose name
// cannot be read is left out. 1 when the enumeration ran, 0 when the enumerator or the enumeration
// failed (Names is then empty).
int32_t EnumerateOutputDevices(SAudioClientLayer* pLayer, std::vector<std::u16string>& Names);
