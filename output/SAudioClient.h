#pragma once
#include "output/AudioStreamFormat.h"
#include "output/SAudioCaptureClient.h"
#include "output/SAudioRenderClient.h"
#include "runtime/CNonCopyable.h"

#include <cstdint>
#include <memory>

class SEvent;

// One stream on an endpoint (Windows: IAudioClient). Durations and periods in 100 ns units; frame
// counts in frames of the initialised format.
class SAudioClient : private CNonCopyable
{
public:
    virtual ~SAudioClient() = default;

    // Per-thread set-up for a worker thread that only holds the client, as the layer's
    // InitializeThread; each success is balanced by one UninitializeThread on the same thread.
    virtual int32_t InitializeThread() = 0;
    virtual void UninitializeThread() = 0;

    // The default and the minimum device period.
    virtual int32_t GetDevicePeriod(int64_t* phnsDefaultPeriod, int64_t* phnsMinimumPeriod) = 0;
    // AUDIO_OK when the format is supported in the share mode; in shared mode AUDIO_S_CLOSEST_MATCH
    // when only a near format is, written to *pClosestMatch. pClosestMatch is required in shared
    // mode and must be null in exclusive mode. Negative when neither.
    virtual int32_t IsFormatSupported(uint32_t uiShareMode, const AudioStreamFormat* pFormat,
                                      AudioStreamFormat* pClosestMatch) = 0;
    // Opens the stream (no session identifier). uiStreamFlags: AUDIO_STREAMFLAGS_*.
    virtual int32_t Initialize(uint32_t uiShareMode, uint32_t uiStreamFlags, int64_t hnsBufferDuration,
                               int64_t hnsPeriodicity, const AudioStreamFormat* pFormat) = 0;
    // Event-driven streams: the event the client sets whenever a period's room is free.
    virtual int32_t SetEventHandle(SEvent* pEvent) = 0;
    // The size of the endpoint buffer.
    virtual int32_t GetBufferSize(uint32_t* puiBufferFrames) = 0;
    // Frames written and not yet played.
    virtual int32_t GetCurrentPadding(uint32_t* puiPaddingFrames) = 0;
    // The render or capture service of an initialised stream.
    virtual int32_t GetRenderClient(std::unique_ptr<SAudioRenderClient>& pRenderClient) = 0;
    virtual int32_t GetCaptureClient(std::unique_ptr<SAudioCaptureClient>& pCaptureClient) = 0;
    virtual int32_t Start() = 0;
    virtual int32_t Stop() = 0;
};
