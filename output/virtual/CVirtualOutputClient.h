#pragma once
#include "output/SAudioClient.h"
#include "output/virtual/VirtualOutputDevice.h"

#include <memory>

// An audio client of the virtual output: one activation, which may open one stream.
class CVirtualOutputClient : public SAudioClient
{
public:
    CVirtualOutputClient(std::shared_ptr<VirtualOutputDevice> pDevice, uint64_t ullClient);
    // Closes the stream this client opened.
    ~CVirtualOutputClient() override;

    int32_t InitializeThread() override { return 0; }
    void UninitializeThread() override {}
    int32_t GetDevicePeriod(int64_t* phnsDefaultPeriod, int64_t* phnsMinimumPeriod) override;
    int32_t IsFormatSupported(uint32_t uiShareMode, const AudioStreamFormat* pFormat,
                              AudioStreamFormat* pClosestMatch) override;
    int32_t Initialize(uint32_t uiShareMode, uint32_t uiStreamFlags, int64_t hnsBufferDuration,
                       int64_t hnsPeriodicity, const AudioStreamFormat* pFormat) override;
    int32_t SetEventHandle(SEvent* pEvent) override;
    int32_t GetBufferSize(uint32_t* puiBufferFrames) override;
    int32_t GetCurrentPadding(uint32_t* puiPaddingFrames) override;
    int32_t GetRenderClient(std::unique_ptr<SAudioRenderClient>& pRenderClient) override;
    // The virtual output plays only: no capture service.
    int32_t GetCaptureClient(std::unique_ptr<SAudioCaptureClient>& pCaptureClient) override;
    int32_t Start() override;
    int32_t Stop() override;

private:
    std::shared_ptr<VirtualOutputDevice> pDevice;
    uint64_t ullClient;
};
