#pragma once
#include "output/SAudioRenderClient.h"
#include "tests/scripted/VirtualAudioDevice.h"

#include <memory>

// The render service of a virtual stream: what it releases is recorded by the device.
class CVirtualRenderClient : public SAudioRenderClient
{
public:
    CVirtualRenderClient(std::shared_ptr<VirtualAudioDevice> pDevice, uint64_t ullClient);
    ~CVirtualRenderClient() override;

    int32_t GetBuffer(uint32_t uiFrames, uint8_t** ppData) override;
    int32_t ReleaseBuffer(uint32_t uiFrames, uint32_t uiFlags) override;

private:
    std::shared_ptr<VirtualAudioDevice> pDevice;
    uint64_t ullClient;
};
