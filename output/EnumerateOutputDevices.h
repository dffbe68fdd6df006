#pragma once
#include "output/SAudioClientLayer.h"

#include <cstdint>
#include <string>
#include <vector>

// One entry of the output device list: the endpoint's name as listed, its identifier (empty when it
// cannot be read) and its place in the enumeration the list was made from. The identifier finds the
// endpoint again after others came or went; the place serves only when there is no identifier.
struct ListedOutputDevice
{
    std::u16string Name;
    std::u16string Id;
    int32_t iIndex = -1;
};

// The active output endpoints, in enumeration order (the order SetupDevice numbers them in): each
// name cut to 63 characters, "Unknown" for a name that is not text; an endpoint whose name cannot be
// read is left out. 1 when the enumeration ran, 0 when the enumerator or the enumeration failed
// (the list is then empty).
int32_t EnumerateOutputDevices(SAudioClientLayer* pLayer, std::vector<ListedOutputDevice>& Devices);
// The names alone.
int32_t EnumerateOutputDevices(SAudioClientLayer* pLayer, std::vector<std::u16string>& Names);
