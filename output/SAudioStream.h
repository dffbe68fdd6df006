#pragma once
#include "output/AudioClientConstants.h"
#include "output/AudioStreamFormat.h"
#include "runtime/CNonCopyable.h"

#include <cstdint>

class SEvent;

// The views a client hands out over one stream.
enum class AudioStreamView : uint32_t
{
    Client,
    Render,
    Capture,
};

// One stream of a back end: the few operations it supplies, on one object, for everything an audio
// client, its render service and its capture service do. The client, render, capture, endpoint and
// collection views (CStreamAudioClient and its neighbours) are written once over it, so a back end
// brings only this. Results as the audio-client interfaces give them. The defaults serve a stream
// that plays only, is polled (never event-driven) and needs no per-thread set-up.
class SAudioStream : private CNonCopyable
{
public:
    virtual ~SAudioStream() = default;

    virtual int32_t GetDevicePeriod(int64_t* phnsDefaultPeriod, int64_t* phnsMinimumPeriod) = 0;
    virtual int32_t IsFormatSupported(uint32_t uiShareMode, const AudioStreamFormat* pFormat,
                                      AudioStreamFormat* pClosestMatch) = 0;
    virtual int32_t Initialize(uint32_t uiShareMode, uint32_t uiStreamFlags, int64_t hnsBufferDuration,
                               int64_t hnsPeriodicity, const AudioStreamFormat* pFormat) = 0;
    virtual int32_t GetBufferSize(uint32_t* puiBufferFrames) = 0;
    virtual int32_t GetCurrentPadding(uint32_t* puiPaddingFrames) = 0;
    // AUDIO_OK while the stream is initialised and usable.
    virtual int32_t CheckInitialized() = 0;
    virtual int32_t Start() = 0;
    virtual int32_t Stop() = 0;
    virtual int32_t GetBuffer(uint32_t uiFrames, uint8_t** ppData) = 0;
    virtual int32_t ReleaseBuffer(uint32_t uiFrames, uint32_t uiFlags) = 0;

    virtual int32_t InitializeThread() { return AUDIO_OK; }
    virtual void UninitializeThread() {}
    virtual int32_t SetEventHandle(SEvent*)
    {
        const int32_t iResult = CheckInitialized();
        return iResult < 0 ? iResult : AUDIO_E_EVENTHANDLE_NOT_SET;
    }
    // AUDIO_OK when the service of View may be made now.
    virtual int32_t GetService(AudioStreamView View)
    {
        const int32_t iResult = CheckInitialized();
        return iResult < 0 || View == AudioStreamView::Render ? iResult : AUDIO_E_WRONG_ENDPOINT_TYPE;
    }
    virtual int32_t GetCaptureBuffer(uint8_t**, uint32_t*, uint32_t*) { return AUDIO_E_WRONG_ENDPOINT_TYPE; }
    virtual int32_t ReleaseCaptureBuffer(uint32_t) { return AUDIO_E_WRONG_ENDPOINT_TYPE; }
    // Reports a frame count after the checks every stream makes, in their order: the stream's state
    // (iState, negative when it cannot answer), then the out-pointer.
    static int32_t ReportFrames(int32_t iState, uint32_t uiFrames, uint32_t* puiFrames)
    {
        if (iState < 0)
        {
            return iState;
        }
        if (puiFrames == nullptr)
        {
            return AUDIO_E_POINTER;
        }
        *puiFrames = uiFrames;
        return AUDIO_OK;
    }
    // Reports a device's periods as GetDevicePeriod does: either out-pointer may be null, not both.
    static int32_t ReportDevicePeriods(int64_t hnsDefault, int64_t hnsMinimum, int64_t* phnsDefault,
                                       int64_t* phnsMinimum)
    {
        if (phnsDefault == nullptr && phnsMinimum == nullptr)
        {
            return AUDIO_E_POINTER;
        }
        if (phnsDefault != nullptr)
        {
            *phnsDefault = hnsDefault;
        }
        if (phnsMinimum != nullptr)
        {
            *phnsMinimum = hnsMinimum;
        }
        return AUDIO_OK;
    }
    // The stream that takes a probe, or an Initialize, with these arguments: itself, unless the back
    // end composes streams and puts a share mode on another one (a server sink's exclusive mode on
    // the hardware behind it). Once Initialize has succeeded on a stream, every later call of the
    // client goes to that stream, but for the device period and the per-thread set-up.
    virtual SAudioStream& ProbeRoute(uint32_t, const AudioStreamFormat*, const AudioStreamFormat*)
    {
        return *this;
    }
    virtual SAudioStream& InitializeRoute(uint32_t, int64_t) { return *this; }
    // A view over the stream was made or has gone. A device that several clients share frees the
    // stream when the client that opened it goes, whatever service of it is still held.
    virtual void ViewOpened(AudioStreamView) {}
    virtual void ViewClosed(AudioStreamView) {}
};
