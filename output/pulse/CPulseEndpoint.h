#pragma once
#include "output/SAudioEndpoint.h"
#include "output/pulse/PulseServerConnection.h"
#include "output/pulse/PulseSinkInfo.h"

#include <memory>

// One sink of the sound server as an output endpoint: named by its description, identified by
// its name. Activating it finds the sink again, so a sink that has gone since it was listed fails
// there (AUDIO_E_DEVICE_INVALIDATED).
class CPulseEndpoint : public SAudioEndpoint
{
public:
    // pHardwareEndpoint: the card's device behind the sink, for exclusive mode; null when none.
    CPulseEndpoint(std::shared_ptr<PulseServerConnection> pConnection, PulseSinkInfo Sink,
                   std::unique_ptr<SAudioEndpoint> pHardwareEndpoint);

    int32_t Activate(std::unique_ptr<SAudioClient>& pAudioClient) override;
    int32_t GetFriendlyName(std::u16string& Name, int32_t& bIsText) override;
    int32_t GetId(std::u16string& Id) override;

private:
    std::shared_ptr<PulseServerConnection> pServer;
    PulseSinkInfo SinkInfo;
    std::unique_ptr<SAudioEndpoint> pHardware;
};
