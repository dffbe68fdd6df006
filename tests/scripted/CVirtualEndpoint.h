#pragma once
#include "output/SAudioEndpoint.h"
#include "tests/scripted/VirtualAudioDevice.h"

#include <memory>

// An endpoint view of a virtual device.
class CVirtualEndpoint : public SAudioEndpoint
{
public:
    explicit CVirtualEndpoint(std::shared_ptr<VirtualAudioDevice> pDevice);
    ~CVirtualEndpoint() override;

    int32_t Activate(std::unique_ptr<SAudioClient>& pAudioClient) override;
    int32_t GetFriendlyName(std::u16string& Name, int32_t& bIsText) override;
    int32_t GetId(std::u16string& Id) override;

private:
    std::shared_ptr<VirtualAudioDevice> pDevice;
};
