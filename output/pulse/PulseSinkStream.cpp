#include "output/pulse/PulseSinkStream.h"

#include "output/AudioClientConstants.h"
#include "output/pulse/PulseSampleFormat.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace
{
// What the volume control shows under the program's name: the player's word for playback.
constexpr char STREAM_NAME[] = "再生";
// Started by Start only; kept on its sink. The buffer asked for is the stream's own, in the server;
// the server then runs the sink with about half of it again (90 ms in all for the player's 60 ms).
// Asking for the whole latency instead (the sink's share taken out of the buffer) halved the room
// the render thread has and ran dry on a busy machine.
constexpr pa_stream_flags_t STREAM_FLAGS =
    static_cast<pa_stream_flags_t>(PA_STREAM_START_CORKED | PA_STREAM_DONT_MOVE);

void SignalLoop(pa_stream*, void* pUser)
{
    pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(pUser), 0);
}
} // namespace

PulseSinkStream::PulseSinkStream(std::shared_ptr<PulseServerConnection> pServer, PulseSinkInfo SinkInfo)
    : pConnection(std::move(pServer)), Sink(std::move(SinkInfo))
{
}

PulseSinkStream::~PulseSinkStream()
{
    std::lock_guard<std::mutex> Lock(Mutex);
    DisconnectLocked();
}

void PulseSinkStream::DisconnectLocked()
{
    if (pStream == nullptr)
    {
        return;
    }
    PulseLock Loop(pConnection->GetMainloop());
    pa_stream_set_state_callback(pStream, nullptr, nullptr);
    pa_stream_disconnect(pStream);
    pa_stream_unref(pStream);
    pStream = nullptr;
}

int32_t PulseSinkStream::GetDevicePeriod(int64_t* phnsDefaultPeriod, int64_t* phnsMinimumPeriod)
{
    return ReportDevicePeriods(AUDIO_DEFAULT_PERIOD_HNS, AUDIO_MINIMUM_PERIOD_HNS, phnsDefaultPeriod,
                               phnsMinimumPeriod);
}

int32_t PulseSinkStream::IsFormatSupported(uint32_t uiShareMode, const AudioStreamFormat* pFormat,
                                           AudioStreamFormat* pClosestMatch)
{
    if (uiShareMode != AUDIO_SHAREMODE_SHARED)
    {
        if (uiShareMode != AUDIO_SHAREMODE_EXCLUSIVE || pClosestMatch != nullptr)
        {
            return AUDIO_E_INVALIDARG;
        }
        // A stream through the server is never the hardware alone.
        return pFormat == nullptr ? AUDIO_E_POINTER : AUDIO_E_UNSUPPORTED_FORMAT;
    }
    if (pFormat == nullptr || pClosestMatch == nullptr)
    {
        return AUDIO_E_POINTER;
    }
    if (Sink.Format.nSamplesPerSec == 0)
    {
        return AUDIO_E_UNSUPPORTED_FORMAT;
    }
    pa_sample_spec Sample{};
    if (PulseSampleFormatFor(*pFormat, Sample) && Sample.rate == Sink.Format.nSamplesPerSec)
    {
        return AUDIO_OK;
    }
    *pClosestMatch = Sink.Format;
    return AUDIO_S_CLOSEST_MATCH;
}

int32_t PulseSinkStream::Initialize(uint32_t uiShareMode, uint32_t uiStreamFlags, int64_t hnsBufferDuration,
                                    int64_t hnsPeriodicity, const AudioStreamFormat* pFormat)
{
    std::lock_guard<std::mutex> Lock(Mutex);
    if (pStream != nullptr)
    {
        return AUDIO_E_ALREADY_INITIALIZED;
    }
    if (hnsPeriodicity < 0 ||
        (uiShareMode != AUDIO_SHAREMODE_SHARED && uiShareMode != AUDIO_SHAREMODE_EXCLUSIVE))
    {
        return AUDIO_E_INVALIDARG;
    }
    if (uiShareMode == AUDIO_SHAREMODE_EXCLUSIVE)
    {
        return AUDIO_E_UNSUPPORTED_FORMAT;
    }
    if (pFormat == nullptr)
    {
        return AUDIO_E_POINTER;
    }
    // Nothing signals an event here; callers fall back to polling the padding.
    if ((uiStreamFlags & ~AUDIO_STREAMFLAGS_KNOWN) != 0 ||
        (uiStreamFlags & AUDIO_STREAMFLAGS_EVENTCALLBACK) != 0 || hnsBufferDuration < 0)
    {
        return AUDIO_E_INVALIDARG;
    }
    pa_sample_spec Sample{};
    if (!PulseSampleFormatFor(*pFormat, Sample))
    {
        return AUDIO_E_UNSUPPORTED_FORMAT;
    }
    // The sink as it is now: it may have gone, or changed its rate, since the probe. (Asked before
    // the loop's lock is taken here: a wait releases that lock only once.)
    PulseSinkInfo Current;
    const int32_t iFound = pConnection->FindSink(Sink.Name, Current);
    if (iFound < 0)
    {
        return iFound;
    }
    if (Sample.rate != Current.Format.nSamplesPerSec)
    {
        return AUDIO_E_UNSUPPORTED_FORMAT;
    }
    PulseLock Loop(pConnection->GetMainloop());

    pa_proplist* pProperties = pa_proplist_new();
    pa_proplist_sets(pProperties, PA_PROP_MEDIA_ROLE, "music");
    pa_channel_map Map{};
    pa_channel_map_init_stereo(&Map);
    pStream = pa_stream_new_with_proplist(pConnection->GetContext(), STREAM_NAME, &Sample, &Map, pProperties);
    pa_proplist_free(pProperties);
    if (pStream == nullptr)
    {
        return pConnection->IsConnected() ? AUDIO_E_OUTOFMEMORY : AUDIO_E_DEVICE_INVALIDATED;
    }
    pa_stream_set_state_callback(pStream, SignalLoop, pConnection->GetMainloop());
    const uint32_t uiBytesPerFrame = static_cast<uint32_t>(pa_frame_size(&Sample));
    const int64_t hnsLatency = hnsBufferDuration > 0 ? hnsBufferDuration : AUDIO_DEFAULT_PERIOD_HNS;
    const auto llFrames = std::max<int64_t>(
        2, std::llround(static_cast<double>(hnsLatency) * Sample.rate / AUDIO_HNS_PER_SECOND));
    pa_buffer_attr Attributes{};
    Attributes.maxlength = static_cast<uint32_t>(-1);
    Attributes.tlength = static_cast<uint32_t>(std::min<int64_t>(llFrames * uiBytesPerFrame, 0x7FFFFFFF));
    Attributes.prebuf = static_cast<uint32_t>(-1);
    Attributes.minreq = static_cast<uint32_t>(-1);
    Attributes.fragsize = static_cast<uint32_t>(-1);
    pa_stream* pConnecting = pStream;
    if (pa_stream_connect_playback(pStream, Sink.Name.c_str(), &Attributes, STREAM_FLAGS, nullptr, nullptr) <
            0 ||
        !pConnection->Wait([pConnecting] { return pa_stream_get_state(pConnecting) != PA_STREAM_CREATING; },
                           PulseServerConnection::REQUEST_TIMEOUT_MS) ||
        pa_stream_get_state(pStream) != PA_STREAM_READY)
    {
        // The sink went in between, or the server refused the stream.
        const int iError = pa_context_errno(pConnection->GetContext());
        DisconnectLocked();
        return iError == PA_ERR_NOENTITY || !pConnection->IsConnected() ? AUDIO_E_DEVICE_INVALIDATED
                                                                        : AUDIO_E_UNSUPPORTED_FORMAT;
    }
    const pa_buffer_attr* pGranted = pa_stream_get_buffer_attr(pStream);
    const uint32_t uiFrames = pGranted != nullptr ? pGranted->tlength / uiBytesPerFrame : 0;
    const int32_t iStaging =
        uiFrames > 0 ? Staging.Allocate(uiFrames, uiBytesPerFrame) : AUDIO_E_BUFFER_TOO_LARGE;
    if (iStaging < 0)
    {
        DisconnectLocked();
        return iStaging;
    }
    uiBufferFrames = uiFrames;
    uiFrameBytes = uiBytesPerFrame;
    return AUDIO_OK;
}

int32_t PulseSinkStream::UsableLocked()
{
    if (pStream == nullptr)
    {
        return AUDIO_E_NOT_INITIALIZED;
    }
    return pa_stream_get_state(pStream) == PA_STREAM_READY &&
                   pa_context_get_state(pConnection->GetContext()) == PA_CONTEXT_READY
               ? AUDIO_OK
               : AUDIO_E_DEVICE_INVALIDATED;
}

int32_t PulseSinkStream::WritableLocked(uint32_t& uiFrames)
{
    uiFrames = 0;
    const int32_t iUsable = UsableLocked();
    if (iUsable < 0)
    {
        return iUsable;
    }
    const size_t ullBytes = pa_stream_writable_size(pStream);
    if (ullBytes == static_cast<size_t>(-1))
    {
        return AUDIO_E_DEVICE_INVALIDATED;
    }
    uiFrames = static_cast<uint32_t>(std::min<size_t>(ullBytes / uiFrameBytes, uiBufferFrames));
    return AUDIO_OK;
}

// Never initialised event-driven.
int32_t PulseSinkStream::SetEventHandle(SEvent*)
{
    std::lock_guard<std::mutex> Lock(Mutex);
    return pStream == nullptr ? AUDIO_E_NOT_INITIALIZED : AUDIO_E_EVENTHANDLE_NOT_SET;
}

template <class TBody> int32_t PulseSinkStream::WhenUsable(TBody&& Body)
{
    std::lock_guard<std::mutex> Lock(Mutex);
    if (pStream == nullptr)
    {
        return AUDIO_E_NOT_INITIALIZED;
    }
    PulseLock Loop(pConnection->GetMainloop());
    const int32_t iUsable = UsableLocked();
    return iUsable < 0 ? iUsable : Body();
}

int32_t PulseSinkStream::CheckInitialized()
{
    return WhenUsable([] { return AUDIO_OK; });
}

int32_t PulseSinkStream::GetBufferSize(uint32_t* puiBufferFrames)
{
    std::lock_guard<std::mutex> Lock(Mutex);
    return ReportFrames(pStream == nullptr ? AUDIO_E_NOT_INITIALIZED : AUDIO_OK, uiBufferFrames,
                        puiBufferFrames);
}

int32_t PulseSinkStream::GetCurrentPadding(uint32_t* puiPaddingFrames)
{
    std::lock_guard<std::mutex> Lock(Mutex);
    if (pStream == nullptr)
    {
        return AUDIO_E_NOT_INITIALIZED;
    }
    if (puiPaddingFrames == nullptr)
    {
        return AUDIO_E_POINTER;
    }
    PulseLock Loop(pConnection->GetMainloop());
    uint32_t uiFree = 0;
    const int32_t iResult = WritableLocked(uiFree);
    if (iResult < 0)
    {
        return iResult;
    }
    *puiPaddingFrames = uiBufferFrames - uiFree;
    return AUDIO_OK;
}

int32_t PulseSinkStream::Start()
{
    return WhenUsable(
        [this]() -> int32_t
        {
            if (bStarted != 0)
            {
                return AUDIO_E_NOT_STOPPED;
            }
            // The server plays once what was written fills its start threshold; the render thread has
            // filled the whole buffer before this.
            pa_operation* pOperation = pa_stream_cork(pStream, 0, nullptr, nullptr);
            if (pOperation == nullptr)
            {
                return AUDIO_E_DEVICE_INVALIDATED;
            }
            pa_operation_unref(pOperation);
            bStarted = 1;
            return AUDIO_OK;
        });
}

int32_t PulseSinkStream::Stop()
{
    return WhenUsable(
        [this]() -> int32_t
        {
            if (bStarted == 0)
            {
                return 1; // already stopped: success with news
            }
            bStarted = 0;
            pa_operation* pOperation = pa_stream_cork(pStream, 1, nullptr, nullptr);
            if (pOperation != nullptr)
            {
                pa_operation_unref(pOperation);
            }
            return AUDIO_OK;
        });
}

int32_t PulseSinkStream::GetBuffer(uint32_t uiFrames, uint8_t** ppData)
{
    std::lock_guard<std::mutex> Lock(Mutex);
    if (ppData != nullptr)
    {
        *ppData = nullptr;
    }
    if (pStream == nullptr)
    {
        return AUDIO_E_NOT_INITIALIZED;
    }
    PulseLock Loop(pConnection->GetMainloop());
    uint32_t uiFree = 0;
    const int32_t iResult = WritableLocked(uiFree);
    if (iResult < 0)
    {
        return iResult;
    }
    return Staging.Get(uiFrames, uiFree, ppData);
}

int32_t PulseSinkStream::ReleaseBuffer(uint32_t uiFrames, uint32_t uiFlags)
{
    return WhenUsable(
        [this, uiFrames, uiFlags]() -> int32_t
        {
            const uint8_t* pBytes = nullptr;
            size_t ullBytes = 0;
            const int32_t iReleased = Staging.Release(uiFrames, uiFlags, pBytes, ullBytes);
            if (iReleased < 0 || ullBytes == 0)
            {
                return iReleased;
            }
            // The library copies the bytes into its own blocks.
            if (pa_stream_write(pStream, pBytes, ullBytes, nullptr, 0, PA_SEEK_RELATIVE) < 0)
            {
                return UsableLocked() < 0 ? AUDIO_E_DEVICE_INVALIDATED : AUDIO_E_FAIL;
            }
            return AUDIO_OK;
        });
}
