#pragma once
#include "output/SAudioEndpoint.h"
#include "output/SAudioStream.h"
#include "output/virtual/VirtualOutputDevice.h"

#include <memory>

// One client's stream on the virtual output: one activation, which may open the device's one stream.
class VirtualOutputStream : public SAudioStream
{
public:
    VirtualOutputStream(std::shared_ptr<VirtualOutputDevice> pDevice, uint64_t ullClient);

    // The virtual output as an endpoint.
    static std::unique_ptr<SAudioEndpoint> MakeEndpoint(const std::shared_ptr<VirtualOutputDevice>& pDevice);

    int32_t GetDevicePeriod(int64_t* phnsDefaultPeriod, int64_t* phnsMinimumPeriod) override;
    int32_t IsFormatSupported(uint32_t uiShareMode, const AudioStreamFormat* pFormat,
                              AudioStreamFormat* pClosestMatch) override;
    int32_t Initialize(uint32_t uiShareMode, uint32_t uiStreamFlags, int64_t hnsBufferDuration,
                       int64_t hnsPeriodicity, const AudioStreamFormat* pFormat) override;
    int32_t SetEventHandle(SEvent* pEvent) override;
    int32_t GetBufferSize(uint32_t* puiBufferFrames) override;
    int32_t GetCurrentPadding(uint32_t* puiPaddingFrames) override;
    int32_t CheckInitialized() override;
    // The virtual output plays only: no capture service.
    int32_t GetService(AudioStreamView View) override;
    int32_t Start() override;
    int32_t Stop() override;
    int32_t GetBuffer(uint32_t uiFrames, uint8_t** ppData) override;
    int32_t ReleaseBuffer(uint32_t uiFrames, uint32_t uiFlags) override;
    // The client is gone: its stream stops and closes.
    void ViewClosed(AudioStreamView View) override;

private:
    const std::shared_ptr<VirtualOutputDevice> pDevice;
    const uint64_t ullClient;
};
