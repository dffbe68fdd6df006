#pragma once
#include "output/SAudioEndpoint.h"
#include "output/SAudioStream.h"
#include "output/alsa/AlsaEndpointInfo.h"
#include "output/alsa/AlsaPcmStream.h"
#include "output/pulse/PulseServerConnection.h"
#include "output/pulse/PulseSinkStream.h"

#include <memory>
#include <optional>

// A stream on a sink of the sound server. Shared mode is a stream to the sink; exclusive mode is
// the hardware behind the sink, the card's device it plays on, or refused when the sink has no
// hardware of its own (Bluetooth, network, null). Initialize picks the route, and every later call
// goes to it.
class LinuxSinkStream : public SAudioStream
{
public:
    // Hardware: the card's device behind the sink; none when it has none.
    LinuxSinkStream(std::shared_ptr<PulseServerConnection> pConnection, const PulseSinkInfo& Sink,
                    const std::optional<AlsaEndpointInfo>& Hardware);

    // The sink as an endpoint: named by its description, identified by its name. Activating it
    // finds the sink again, so a sink that has gone since it was listed fails there
    // (AUDIO_E_DEVICE_INVALIDATED).
    static std::unique_ptr<SAudioEndpoint>
    MakeEndpoint(const std::shared_ptr<PulseServerConnection>& pConnection, const PulseSinkInfo& Sink,
                 const std::optional<AlsaEndpointInfo>& Hardware);

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

private:
    // The initialised route; the sink's stream until one is.
    SAudioStream& Route() { return pRoute != nullptr ? *pRoute : SinkStream; }

    PulseSinkStream SinkStream;
    const std::unique_ptr<AlsaPcmStream> pHardware;
    SAudioStream* pRoute = nullptr;
};
