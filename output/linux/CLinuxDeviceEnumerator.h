#pragma once
#include "output/SAudioDeviceEnumerator.h"
#include "output/pulse/PulseServerConnection.h"

#include <memory>
#include <vector>

// Finds the outputs of a Linux desktop. With a sound server: its sinks in the server's order (the
// default endpoint is its default sink), then the cards' devices no sink plays on, then the
// configured outputs. Without one: ALSA's "default" as the default endpoint, the cards' devices and
// the configured outputs.
class CLinuxDeviceEnumerator : public SAudioDeviceEnumerator
{
public:
    // pConnection: the server's connection; null when none answers.
    explicit CLinuxDeviceEnumerator(std::shared_ptr<PulseServerConnection> pConnection);

    int32_t GetDefaultAudioEndpoint(std::unique_ptr<SAudioEndpoint>& pEndpoint) override;
    int32_t EnumAudioEndpoints(std::unique_ptr<SAudioEndpointCollection>& pCollection) override;

private:
    std::shared_ptr<PulseServerConnection> pServer;
};
