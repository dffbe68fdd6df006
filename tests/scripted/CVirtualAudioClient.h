#pragma once
#include "output/SAudioClient.h"
#include "tests/scripted/VirtualAudioDevice.h"

#include <memory>

// An audio-client view of a virtual device: one activation, which may open one stream.
class CVirtualAudioClient : public SAudioClient
{
public:
    CVirtualAudioClient(std::shared_ptr<VirtualAudioDevice> pDevice, uint64_t ullClient);
    // Closes the stream this client opened.
    ~CVirtualAudioClient() override;

    int32_t InitializeThread() override;
    void UninitializeThread() override;
    int32_t GetDevicePeriod(int64_t* phnsDefaultPeriod, int64_t* phnsMinimumPeriod) override;
    int32_t IsFormatSupported(uint32_t uiShareMode, const AudioStreamFormat* pFormat,
                              AudioStreamFormat* pClosestMatch) override;
    int32_t Initialize(uint32_t uiShareMode, uint32_t uiStreamFlags, int64_t hnsBufferDuration,
                       int64_t hnsPeriodicity, const AudioStreamFormat* pFormat) override;
    int32_t SetEventHandle(SEvent* pEvent) override;
    int32_t GetBufferSize(uint32_t* puiBufferFrames) override;
    int32_t GetCurrentPadding(uint32_t* puiPaddingFrames) override;
    int32_t GetRenderClient(std::unique_ptr<SAudioRenderClient>& pRenderClient) override;
    int32_t GetCaptureClient(std::unique_ptr<SAudioCaptureClient>& pCaptureClient) override;
    int32_t Start() override;
    int32_t Stop() override;

private:
    std::shared_ptr<VirtualAudioDevice> pDevice;
    uint64_t ullClient;
};
