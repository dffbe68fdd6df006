#pragma once
#include "output/SAudioRenderClient.h"
#include "output/virtual/VirtualOutputDevice.h"

#include <memory>

// The render service of a virtual output stream.
class CVirtualOutputRenderClient : public SAudioRenderClient
{
public:
    CVirtualOutputRenderClient(std::shared_ptr<VirtualOutputDevice> pDevice, uint64_t ullClient);

    int32_t GetBuffer(uint32_t uiFrames, uint8_t** ppData) override;
    int32_t ReleaseBuffer(uint32_t uiFrames, uint32_t uiFlags) override;

private:
    std::shared_ptr<VirtualOutputDevice> pDevice;
    uint64_t ullClient;
};
