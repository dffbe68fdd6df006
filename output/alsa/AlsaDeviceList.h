#pragma once
#include "output/alsa/AlsaEndpointInfo.h"

#include <cstdint>
#include <string>
#include <vector>

// The output endpoints in enumeration order: every card's playback devices, then the configured
// outputs. Always 1; ALSA failures leave parts out.
int32_t ListAlsaEndpoints(std::vector<AlsaEndpointInfo>& Endpoints);
// Every card's playback devices, cards and devices in ascending order, named as the card listing
// names them; the identifier is the stable hw:CARD=...,DEV=... form.
int32_t ListAlsaCardDevices(std::vector<AlsaEndpointInfo>& Endpoints);
// The hinted playback PCMs of the configuration, in its own order, that lead to an output of their
// own: not "default" (index -1), not the per-card variants of a hardware device, not converters,
// mixers, filters, null sinks or routes to a sound server, and only those that open now (a busy one
// counts).
int32_t ListAlsaConfiguredOutputs(std::vector<AlsaEndpointInfo>& Endpoints);

// The default output endpoint.
AlsaEndpointInfo DefaultAlsaEndpoint();

// True when a hint of this name and I/O direction is a playback PCM worth listing by itself.
bool IsListedHint(const std::string& Name, const std::string& Direction);
// The plug-in type of a PCM name as the configuration defines it ("hw", "plug", "pulse" ...), with
// its arguments and aliases resolved; empty when the configuration has no such PCM.
std::string AlsaPcmTypeOf(const std::string& Name);
// True for the types of PCMs that are no output of their own (rate converters, channel mixers,
// filters, format converters, null and file sinks, routes to sound servers).
bool IsUnlistedPcmType(const std::string& Type);
// True for the types that hand the samples to another program (a sound server, a Bluetooth daemon).
bool IsServerPcmType(const std::string& Type);
// True for the types whose samples are mixed, converted or handed to a server on their way, so
// they never play in exclusive mode, whatever opens below them.
bool IsSharedOnlyPcmType(const std::string& Type);

// The device string exclusive mode opens: the endpoint itself, or for the default endpoint the
// hardware device behind "default". Negative when there is none.
int32_t ExclusivePathFor(const AlsaEndpointInfo& Endpoint, std::string& Path);
// The device string shared mode opens: "default", a card device's mixing path or a hinted PCM,
// each with conversion in front.
std::string SharedPathFor(const AlsaEndpointInfo& Endpoint);
