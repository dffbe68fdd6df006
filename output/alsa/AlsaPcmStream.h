#pragma once
#include "output/AudioStreamFormat.h"
#include "output/SAudioEndpoint.h"
#include "output/SAudioStream.h"
#include "output/StagingRenderBuffer.h"
#include "output/alsa/AlsaEndpointInfo.h"
#include "output/alsa/AlsaHandles.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// One stream on an ALSA endpoint: the PCM of an initialised audio client and the render buffer
// over it. Every operation holds one lock, so the
// render thread's padding, get-buffer and release-buffer calls and a Stop from another thread
// meet one at a time.
//
// Exclusive mode opens the endpoint itself (the hardware device behind "default" for the default
// endpoint) with no automatic conversion, non-blocking, so a busy device is refused at once; shared
// mode opens the endpoint's mixing path, which may convert. The device never starts by itself:
// writes before Start only fill its buffer. An underrun is recovered here and has been heard as
// silence; a device that has gone fails every later call with AUDIO_E_DEVICE_INVALIDATED.
class AlsaPcmStream : public SAudioStream
{
public:
    explicit AlsaPcmStream(AlsaEndpointInfo Endpoint);
    ~AlsaPcmStream() override;

    // The endpoint whose clients open streams of this kind on Endpoint.
    static std::unique_ptr<SAudioEndpoint> MakeEndpoint(const AlsaEndpointInfo& Endpoint);

    int32_t GetDevicePeriod(int64_t* phnsDefaultPeriod, int64_t* phnsMinimumPeriod) override;
    int32_t IsFormatSupported(uint32_t uiShareMode, const AudioStreamFormat* pFormat,
                              AudioStreamFormat* pClosestMatch) override;
    int32_t Initialize(uint32_t uiShareMode, uint32_t uiStreamFlags, int64_t hnsBufferDuration,
                       int64_t hnsPeriodicity, const AudioStreamFormat* pFormat) override;
    int32_t GetBufferSize(uint32_t* puiBufferFrames) override;
    int32_t GetCurrentPadding(uint32_t* puiPaddingFrames) override;
    int32_t CheckInitialized() override;
    int32_t Start() override;
    int32_t Stop() override;
    int32_t GetBuffer(uint32_t uiFrames, uint8_t** ppData) override;
    int32_t ReleaseBuffer(uint32_t uiFrames, uint32_t uiFlags) override;

private:
    // AUDIO_OK while the device is open and has not gone; the failure otherwise. Lock held.
    int32_t UsableLocked() const;
    // Opens the device string of a share mode; an audio-client result.
    int32_t OpenPcm(uint32_t uiShareMode, AlsaPcmHandle& Pcm);
    // Frames the device can take now, after recovering an underrun. Negative: audio-client failure.
    int32_t AvailableLocked(uint32_t& uiAvailable);
    // Turns an ALSA error of the open stream into a result, recovering what can be recovered.
    // AUDIO_OK when the stream is usable again.
    int32_t RecoverLocked(int iError);
    int32_t FailLocked(int iError);
    // Starts the device if playback is wanted and it is stopped with data queued.
    int32_t StartIfWantedLocked();

    std::mutex Mutex;
    const AlsaEndpointInfo Endpoint;
    int64_t hnsMinimumPeriod = 0; // 0 until asked
    std::string ExclusivePath;
    int32_t iExclusivePathFound = 0; // 0 not looked for yet, 1 found, -1 none
    AlsaPcmHandle Pcm;
    int32_t bCanPause = 0;
    int32_t bPaused = 0;
    int32_t bStarted = 0;
    int32_t bInvalidated = 0;
    int32_t bRefilling = 0; // an underrun stopped the device; it waits for half a buffer
    uint32_t uiBufferFrames = 0;
    StagingRenderBuffer Staging;
};
