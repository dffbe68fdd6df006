#pragma once
#include "output/SAudioEndpoint.h"
#include "output/SAudioStream.h"
#include "output/alsa/AlsaEndpointInfo.h"
#include "output/alsa/AlsaPcmStream.h"
#include "output/pulse/PulseServerConnection.h"
#include "output/pulse/PulseSinkStream.h"

#include <memory>
#include <optional>

// A stream on a sink of the sound server. Shared mode is the server's stream to the sink; exclusive
// mode is the hardware behind the sink, the card's device it plays on, or refused (as the server
// refuses it) when the sink has no hardware of its own (Bluetooth, network, null). The client's
// Initialize picks the route, and every later call goes to it.
class LinuxSinkStream : public PulseSinkStream
{
public:
    // Hardware: the card's device behind the sink; none when it has none.
    LinuxSinkStream(std::shared_ptr<PulseServerConnection> pConnection, const PulseSinkInfo& Sink,
                    const std::optional<AlsaEndpointInfo>& Hardware);

    // The sink as an endpoint: named by its description, identified by its name. Activating it
    // finds the sink again, so a sink that has gone since it was listed fails there
    // (AUDIO_E_DEVICE_INVALIDATED).
    static std::unique_ptr<SAudioEndpoint>
    MakeEndpoint(const std::shared_ptr<PulseServerConnection>& pConnection, const PulseSinkInfo& Sink,
                 const std::optional<AlsaEndpointInfo>& Hardware);

    // A well-formed exclusive request goes to the hardware; anything else to the server, which also
    // reports the malformed ones.
    SAudioStream& ProbeRoute(uint32_t uiShareMode, const AudioStreamFormat* pFormat,
                             const AudioStreamFormat* pClosestMatch) override;
    SAudioStream& InitializeRoute(uint32_t uiShareMode, int64_t hnsPeriodicity) override;

private:
    const std::unique_ptr<AlsaPcmStream> pHardware;
};
