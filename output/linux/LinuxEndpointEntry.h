#pragma once
#include "output/SAudioEndpoint.h"
#include "output/alsa/AlsaEndpointInfo.h"
#include "output/pulse/PulseServerConnection.h"
#include "output/pulse/PulseSinkInfo.h"

#include <memory>
#include <optional>

// One listed output of a Linux desktop: a sink of the sound server (with the card's device behind
// it, when it has one, for exclusive mode), or an ALSA endpoint of its own.
struct LinuxEndpointEntry
{
    std::optional<PulseSinkInfo> Sink;
    // The ALSA endpoint itself, or the hardware behind the sink.
    std::optional<AlsaEndpointInfo> Alsa;
};

// The endpoint object of an entry; pConnection serves the sinks.
std::unique_ptr<SAudioEndpoint> MakeLinuxEndpoint(const std::shared_ptr<PulseServerConnection>& pConnection,
                                                  const LinuxEndpointEntry& Entry);
