#pragma once
#include "output/AudioStreamFormat.h"
#include "output/SAudioStream.h"
#include "output/StagingRenderBuffer.h"
#include "output/pulse/PulseServerConnection.h"

#include <pulse/pulseaudio.h>

#include <cstdint>
#include <memory>
#include <mutex>

// A playback stream to one sink of the sound server, in shared mode: the stream of an initialised
// audio client and the render buffer over it. Like the mix format of a shared device, the sink's
// own rate is the only one it takes (the server would otherwise resample behind the player's own
// converter); 32-, 24- and 16-bit integer samples are taken at that rate. The stream stays on its
// sink: when the sink goes, so does the stream (AUDIO_E_DEVICE_INVALIDATED), and playback ends as
// at the end of the file instead of moving on to another output at another rate.
//
// Every operation holds one lock, then the connection's loop lock, so the render thread's padding,
// get-buffer and release-buffer calls and a Stop from another thread meet one at a time.
class PulseSinkStream : public SAudioStream
{
public:
    PulseSinkStream(std::shared_ptr<PulseServerConnection> pServer, PulseSinkInfo SinkInfo);
    ~PulseSinkStream() override;

    int32_t GetDevicePeriod(int64_t* phnsDefaultPeriod, int64_t* phnsMinimumPeriod) override;
    // Shared mode: AUDIO_OK for the stream's formats at the sink's rate; otherwise
    // AUDIO_S_CLOSEST_MATCH with the sink's own format. Exclusive mode is refused.
    int32_t IsFormatSupported(uint32_t uiShareMode, const AudioStreamFormat* pFormat,
                              AudioStreamFormat* pClosestMatch) override;
    int32_t Initialize(uint32_t uiShareMode, uint32_t uiStreamFlags, int64_t hnsBufferDuration,
                       int64_t hnsPeriodicity, const AudioStreamFormat* pFormat) override;
    int32_t SetEventHandle(SEvent* pEvent) override;
    int32_t GetBufferSize(uint32_t* puiBufferFrames) override;
    int32_t GetCurrentPadding(uint32_t* puiPaddingFrames) override;
    int32_t CheckInitialized() override;
    int32_t Start() override;
    int32_t Stop() override;
    int32_t GetBuffer(uint32_t uiFrames, uint8_t** ppData) override;
    int32_t ReleaseBuffer(uint32_t uiFrames, uint32_t uiFlags) override;

private:
    // Body's result with both locks held, when the stream is initialised and usable; the failure
    // otherwise.
    template <class TBody> int32_t WhenUsable(TBody&& Body);
    // AUDIO_OK while the stream plays on; the failure otherwise. Both locks held.
    int32_t UsableLocked();
    // Frames the server takes now. Both locks held.
    int32_t WritableLocked(uint32_t& uiFrames);
    void DisconnectLocked();

    std::mutex Mutex;
    const std::shared_ptr<PulseServerConnection> pConnection;
    const PulseSinkInfo Sink;
    pa_stream* pStream = nullptr;
    int32_t bStarted = 0;
    uint32_t uiBufferFrames = 0;
    uint32_t uiFrameBytes = 0;
    StagingRenderBuffer Staging;
};
