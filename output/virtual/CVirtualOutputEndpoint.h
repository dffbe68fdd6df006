#pragma once
#include "output/SAudioEndpoint.h"
#include "output/virtual/VirtualOutputDevice.h"

#include <memory>

// The virtual output as an endpoint.
class CVirtualOutputEndpoint : public SAudioEndpoint
{
public:
    explicit CVirtualOutputEndpoint(std::shared_ptr<VirtualOutputDevice> pDevice);

    int32_t Activate(std::unique_ptr<SAudioClient>& pAudioClient) override;
    int32_t GetFriendlyName(std::u16string& Name, int32_t& bIsText) override;
    int32_t GetId(std::u16string& Id) override;

private:
    std::shared_ptr<VirtualOutputDevice> pDevice;
};
