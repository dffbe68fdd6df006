#pragma once
#include "output/SAudioEndpoint.h"
#include "output/SAudioStream.h"
#include "output/virtual/VirtualDeviceCore.h"

#include <memory>
#include <string>

// One client's stream on a virtual device: one activation, which may open the device's one stream.
class VirtualDeviceStream : public SAudioStream
{
public:
    VirtualDeviceStream(std::shared_ptr<VirtualDeviceCore> pDevice, uint64_t ullClient);

    // A virtual device as an endpoint of that name and identifier.
    static std::unique_ptr<SAudioEndpoint> MakeEndpoint(const std::shared_ptr<VirtualDeviceCore>& pDevice,
                                                        const std::u16string& Name, const std::u16string& Id);
    // A new client's stream on the device; the device's failure when it refuses the activation.
    static int32_t Open(const std::shared_ptr<VirtualDeviceCore>& pDevice,
                        std::shared_ptr<SAudioStream>& pStream);

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
    int32_t CheckInitialized() override;
    int32_t GetService(AudioStreamView View) override;
    int32_t Start() override;
    int32_t Stop() override;
    int32_t GetBuffer(uint32_t uiFrames, uint8_t** ppData) override;
    int32_t ReleaseBuffer(uint32_t uiFrames, uint32_t uiFlags) override;
    int32_t GetCaptureBuffer(uint8_t** ppData, uint32_t* puiFrames, uint32_t* puiFlags) override;
    int32_t ReleaseCaptureBuffer(uint32_t uiFrames) override;
    void ViewOpened(AudioStreamView View) override;
    void ViewClosed(AudioStreamView View) override;

private:
    const std::shared_ptr<VirtualDeviceCore> pDevice;
    const uint64_t ullClient;
};
