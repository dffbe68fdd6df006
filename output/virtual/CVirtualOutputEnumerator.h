#pragma once
#include "output/SAudioDeviceEnumerator.h"
#include "output/virtual/VirtualOutputDevice.h"

#include <memory>

// Finds the one virtual output: it is the default endpoint and the whole list.
class CVirtualOutputEnumerator : public SAudioDeviceEnumerator
{
public:
    explicit CVirtualOutputEnumerator(std::shared_ptr<VirtualOutputDevice> pDevice);

    int32_t GetDefaultAudioEndpoint(std::unique_ptr<SAudioEndpoint>& pEndpoint) override;
    int32_t EnumAudioEndpoints(std::unique_ptr<SAudioEndpointCollection>& pCollection) override;

private:
    std::shared_ptr<VirtualOutputDevice> pDevice;
};
