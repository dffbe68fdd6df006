#pragma once
#include "output/alsa/AlsaEndpointInfo.h"

#include <cstdint>
#include <string>
#include <vector>

// The output endpoints in enumeration order: every card's playback devices (cards and devices in
// ascending order), then the hinted playback PCMs of the configuration in its own order, leaving
// out "default" (index -1) and the per-card variants that only duplicate a hardware device.
// Always 1; ALSA failures leave parts out.
int32_t ListAlsaEndpoints(std::vector<AlsaEndpointInfo>& Endpoints);

// The default output endpoint.
AlsaEndpointInfo DefaultAlsaEndpoint();

// True when a hint of this name and I/O direction is a playback PCM worth listing by itself.
bool IsListedHint(const std::string& Name, const std::string& Direction);

// The device string exclusive mode opens: the endpoint itself, or for the default endpoint the
// hardware device behind "default". Negative when there is none.
int32_t ExclusivePathFor(const AlsaEndpointInfo& Endpoint, std::string& Path);
// The device string shared mode opens: "default", a card device's mixing path or a hinted PCM,
// each with conversion in front.
std::string SharedPathFor(const AlsaEndpointInfo& Endpoint);
