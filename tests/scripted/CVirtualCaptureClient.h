#pragma once
#include "output/SAudioCaptureClient.h"
#include "tests/scripted/VirtualAudioDevice.h"

#include <memory>

// The capture service of a virtual stream: it hands out the packets the test queued.
class CVirtualCaptureClient : public SAudioCaptureClient
{
public:
    CVirtualCaptureClient(std::shared_ptr<VirtualAudioDevice> pDevice, uint64_t ullClient);
    ~CVirtualCaptureClient() override;

    int32_t GetBuffer(uint8_t** ppData, uint32_t* puiFrames, uint32_t* puiFlags) override;
    int32_t ReleaseBuffer(uint32_t uiFrames) override;

private:
    std::shared_ptr<VirtualAudioDevice> pDevice;
    uint64_t ullClient;
};
