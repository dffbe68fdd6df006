#pragma once
#include "output/SAudioClient.h"
#include "output/pulse/PulseServerConnection.h"
#include "output/pulse/PulseSinkInfo.h"
#include "output/pulse/PulseSinkStream.h"

#include <memory>

// An audio client on a sink of the sound server. Shared mode is a stream to the sink; exclusive
// mode is the hardware behind the sink, through the client given for it, or refused when the sink
// has no hardware of its own. After Initialize every call goes to the route that was initialised.
class CPulseAudioClient : public SAudioClient
{
public:
    // pHardwareClient: an audio client on the card's device behind the sink; null when it has none.
    CPulseAudioClient(std::shared_ptr<PulseServerConnection> pConnection, const PulseSinkInfo& Sink,
                      std::unique_ptr<SAudioClient> pHardwareClient);

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
    enum class Route
    {
        None,
        Sink,
        Hardware,
    };

    std::shared_ptr<PulseSinkStream> pSinkStream;
    std::unique_ptr<SAudioClient> pHardware;
    Route Initialized = Route::None;
};
