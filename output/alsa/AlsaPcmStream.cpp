#include "output/alsa/AlsaPcmStream.h"

#include "output/AudioClientConstants.h"
#include "output/CStreamEndpoint.h"
#include "output/alsa/AlsaDeviceList.h"
#include "output/alsa/AlsaPcmFormat.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <new>
#include <utility>

namespace
{
constexpr int64_t HNS_PER_MICROSECOND = 10;
constexpr int EXCLUSIVE_OPEN_MODE =
    SND_PCM_NONBLOCK | SND_PCM_NO_AUTO_RESAMPLE | SND_PCM_NO_AUTO_CHANNELS | SND_PCM_NO_AUTO_FORMAT;
constexpr int SHARED_OPEN_MODE = SND_PCM_NONBLOCK;
// Formats a closest-match answer offers, the stream's own first.
constexpr snd_pcm_format_t CLOSEST_FORMATS[] = {SND_PCM_FORMAT_S32_LE, SND_PCM_FORMAT_S24_3LE,
                                                SND_PCM_FORMAT_S16_LE, SND_PCM_FORMAT_S24_LE,
                                                SND_PCM_FORMAT_FLOAT_LE};

bool IsKnownShareMode(uint32_t uiShareMode)
{
    return uiShareMode == AUDIO_SHAREMODE_SHARED || uiShareMode == AUDIO_SHAREMODE_EXCLUSIVE;
}

// Narrows the configuration space to interleaved two-channel frames of the format at exactly the
// rate; in exclusive mode without resampling. An ALSA error when the device cannot.
int RestrictToFormat(snd_pcm_t* pPcm, snd_pcm_hw_params_t* pParams, snd_pcm_format_t AlsaFormat,
                     uint32_t uiRate, bool bExclusive)
{
    int iError = snd_pcm_hw_params_any(pPcm, pParams);
    if (iError < 0)
    {
        return iError;
    }
    if (bExclusive && (iError = snd_pcm_hw_params_set_rate_resample(pPcm, pParams, 0)) < 0)
    {
        return iError;
    }
    if ((iError = snd_pcm_hw_params_set_access(pPcm, pParams, SND_PCM_ACCESS_RW_INTERLEAVED)) < 0 ||
        (iError = snd_pcm_hw_params_set_format(pPcm, pParams, AlsaFormat)) < 0 ||
        (iError = snd_pcm_hw_params_set_channels(pPcm, pParams, 2)) < 0)
    {
        return iError;
    }
    return snd_pcm_hw_params_set_rate(pPcm, pParams, uiRate, 0);
}

// The format the device would rather take: the nearest rate, two channels if it can, and the first
// sample format of CLOSEST_FORMATS it accepts there.
bool FindClosestFormat(snd_pcm_t* pPcm, uint32_t uiRate, AudioStreamFormat& Closest)
{
    AlsaHwParams Params = MakeAlsaHwParams();
    if (Params == nullptr || snd_pcm_hw_params_any(pPcm, Params.get()) < 0 ||
        snd_pcm_hw_params_set_access(pPcm, Params.get(), SND_PCM_ACCESS_RW_INTERLEAVED) < 0)
    {
        return false;
    }
    unsigned int uiChannels = 2;
    unsigned int uiNearRate = uiRate;
    if (snd_pcm_hw_params_set_channels_near(pPcm, Params.get(), &uiChannels) < 0 ||
        snd_pcm_hw_params_set_rate_near(pPcm, Params.get(), &uiNearRate, nullptr) < 0)
    {
        return false;
    }
    for (const snd_pcm_format_t Candidate : CLOSEST_FORMATS)
    {
        if (snd_pcm_hw_params_test_format(pPcm, Params.get(), Candidate) == 0)
        {
            return StreamFormatFor(Candidate, uiNearRate, uiChannels, Closest);
        }
    }
    return false;
}
} // namespace

AlsaPcmStream::AlsaPcmStream(AlsaEndpointInfo Info) : Endpoint(std::move(Info)) {}

AlsaPcmStream::~AlsaPcmStream() = default;

std::unique_ptr<SAudioEndpoint> AlsaPcmStream::MakeEndpoint(const AlsaEndpointInfo& Info)
{
    return CStreamEndpoint::FromUtf8(Info.Name, Info.Id,
                                     [Info](std::shared_ptr<SAudioStream>& pStream)
                                     {
                                         pStream = std::make_shared<AlsaPcmStream>(Info);
                                         return AUDIO_OK;
                                     });
}

int32_t AlsaPcmStream::OpenPcm(uint32_t uiShareMode, AlsaPcmHandle& Handle)
{
    Handle.reset();
    std::string Path;
    int iMode = SHARED_OPEN_MODE;
    if (uiShareMode == AUDIO_SHAREMODE_EXCLUSIVE)
    {
        // Found once per client: for "default" it takes an open of its own.
        if (iExclusivePathFound == 0)
        {
            iExclusivePathFound = ExclusivePathFor(Endpoint, ExclusivePath) >= 0 ? 1 : -1;
        }
        if (iExclusivePathFound < 0)
        {
            return AUDIO_E_UNSUPPORTED_FORMAT; // no hardware of its own behind this endpoint
        }
        Path = ExclusivePath;
        iMode = EXCLUSIVE_OPEN_MODE;
        // A server, a mixer or a converter is never the hardware alone, whatever it would accept;
        // a route to a server is not even opened.
        if (Endpoint.Type == AlsaEndpointInfo::Kind::Hinted && IsSharedOnlyPcmType(AlsaPcmTypeOf(Path)))
        {
            return AUDIO_E_UNSUPPORTED_FORMAT;
        }
    }
    else
    {
        Path = SharedPathFor(Endpoint);
    }
    snd_pcm_t* pPcm = nullptr;
    const int iError = snd_pcm_open(&pPcm, Path.c_str(), SND_PCM_STREAM_PLAYBACK, iMode);
    if (iError < 0)
    {
        return AudioResultForAlsaError(iError);
    }
    Handle.reset(pPcm);
    // What opened must be a device of its own: the hardware, or a plug-in standing for one. Mixing
    // and converting layers, found below an alias, do not count.
    const snd_pcm_type_t Type = snd_pcm_type(pPcm);
    if (uiShareMode == AUDIO_SHAREMODE_EXCLUSIVE && Type != SND_PCM_TYPE_HW && Type != SND_PCM_TYPE_IOPLUG)
    {
        Handle.reset();
        return AUDIO_E_UNSUPPORTED_FORMAT;
    }
    return AUDIO_OK;
}

int32_t AlsaPcmStream::GetDevicePeriod(int64_t* phnsDefaultPeriod, int64_t* phnsMinimumPeriod)
{
    std::lock_guard<std::mutex> Lock(Mutex);
    if (phnsDefaultPeriod == nullptr && phnsMinimumPeriod == nullptr)
    {
        return AUDIO_E_POINTER;
    }
    if (hnsMinimumPeriod == 0)
    {
        // The device's own minimum, from whichever of its paths opens now; 10 ms when neither does.
        hnsMinimumPeriod = AUDIO_DEFAULT_PERIOD_HNS;
        for (const uint32_t uiShareMode : {AUDIO_SHAREMODE_EXCLUSIVE, AUDIO_SHAREMODE_SHARED})
        {
            AlsaPcmHandle Probe;
            AlsaHwParams Params = MakeAlsaHwParams();
            unsigned int uiMicroseconds = 0;
            int iDirection = 0;
            if (Params != nullptr && OpenPcm(uiShareMode, Probe) >= 0 &&
                snd_pcm_hw_params_any(Probe.get(), Params.get()) >= 0 &&
                snd_pcm_hw_params_get_period_time_min(Params.get(), &uiMicroseconds, &iDirection) >= 0)
            {
                hnsMinimumPeriod = std::max<int64_t>(1, int64_t{uiMicroseconds} * HNS_PER_MICROSECOND);
                break;
            }
        }
    }
    return ReportDevicePeriods(std::max(AUDIO_DEFAULT_PERIOD_HNS, hnsMinimumPeriod), hnsMinimumPeriod,
                               phnsDefaultPeriod, phnsMinimumPeriod);
}

int32_t AlsaPcmStream::IsFormatSupported(uint32_t uiShareMode, const AudioStreamFormat* pFormat,
                                         AudioStreamFormat* pClosestMatch)
{
    std::lock_guard<std::mutex> Lock(Mutex);
    const bool bShared = uiShareMode == AUDIO_SHAREMODE_SHARED;
    if (pFormat == nullptr || (bShared && pClosestMatch == nullptr))
    {
        return AUDIO_E_POINTER;
    }
    if (!IsKnownShareMode(uiShareMode) || (!bShared && pClosestMatch != nullptr))
    {
        return AUDIO_E_INVALIDARG;
    }
    snd_pcm_format_t AlsaFormat = SND_PCM_FORMAT_UNKNOWN;
    const bool bKnownFormat = AlsaFormatFor(*pFormat, AlsaFormat);
    if (!bKnownFormat && !bShared)
    {
        return AUDIO_E_UNSUPPORTED_FORMAT;
    }
    AlsaPcmHandle Probe;
    const int32_t iOpen = OpenPcm(uiShareMode, Probe);
    if (iOpen < 0)
    {
        return iOpen;
    }
    AlsaHwParams Params = MakeAlsaHwParams();
    if (Params == nullptr)
    {
        return AUDIO_E_OUTOFMEMORY;
    }
    if (bKnownFormat &&
        RestrictToFormat(Probe.get(), Params.get(), AlsaFormat, pFormat->nSamplesPerSec, !bShared) >= 0)
    {
        return AUDIO_OK;
    }
    if (bShared && pFormat->nSamplesPerSec != 0 &&
        FindClosestFormat(Probe.get(), pFormat->nSamplesPerSec, *pClosestMatch))
    {
        return AUDIO_S_CLOSEST_MATCH;
    }
    return AUDIO_E_UNSUPPORTED_FORMAT;
}

int32_t AlsaPcmStream::Initialize(uint32_t uiShareMode, uint32_t uiStreamFlags, int64_t hnsBufferDuration,
                                  int64_t hnsPeriodicity, const AudioStreamFormat* pFormat)
{
    std::lock_guard<std::mutex> Lock(Mutex);
    if (Pcm != nullptr)
    {
        return AUDIO_E_ALREADY_INITIALIZED;
    }
    if (pFormat == nullptr)
    {
        return AUDIO_E_POINTER;
    }
    if (!IsKnownShareMode(uiShareMode) || (uiStreamFlags & ~AUDIO_STREAMFLAGS_KNOWN) != 0 ||
        hnsBufferDuration < 0 || hnsPeriodicity < 0)
    {
        return AUDIO_E_INVALIDARG;
    }
    // ALSA has no event to hand over; callers fall back to polling the padding.
    if ((uiStreamFlags & AUDIO_STREAMFLAGS_EVENTCALLBACK) != 0)
    {
        return AUDIO_E_INVALIDARG;
    }
    snd_pcm_format_t AlsaFormat = SND_PCM_FORMAT_UNKNOWN;
    if (!AlsaFormatFor(*pFormat, AlsaFormat))
    {
        return AUDIO_E_UNSUPPORTED_FORMAT;
    }
    AlsaPcmHandle Opened;
    const int32_t iOpen = OpenPcm(uiShareMode, Opened);
    if (iOpen < 0)
    {
        return iOpen;
    }
    snd_pcm_t* pPcm = Opened.get();
    AlsaHwParams HwParams = MakeAlsaHwParams();
    AlsaSwParams SwParams = MakeAlsaSwParams();
    if (HwParams == nullptr || SwParams == nullptr)
    {
        return AUDIO_E_OUTOFMEMORY;
    }
    const uint32_t uiRate = pFormat->nSamplesPerSec;
    if (RestrictToFormat(pPcm, HwParams.get(), AlsaFormat, uiRate, uiShareMode == AUDIO_SHAREMODE_EXCLUSIVE) <
        0)
    {
        return AUDIO_E_UNSUPPORTED_FORMAT;
    }

    // Periods of 10 ms (or the device's minimum); the buffer as asked, a default period when 0,
    // and never less than two periods.
    const int64_t hnsRequested = hnsBufferDuration > 0 ? hnsBufferDuration : AUDIO_DEFAULT_PERIOD_HNS;
    snd_pcm_uframes_t ullBufferFrames = static_cast<snd_pcm_uframes_t>(std::max<int64_t>(
        2, std::llround(static_cast<double>(hnsRequested) * uiRate / AUDIO_HNS_PER_SECOND)));
    snd_pcm_uframes_t ullPeriodFrames = std::min<snd_pcm_uframes_t>(
        static_cast<snd_pcm_uframes_t>(
            std::llround(static_cast<double>(AUDIO_DEFAULT_PERIOD_HNS) * uiRate / AUDIO_HNS_PER_SECOND)),
        ullBufferFrames / 2);
    int iDirection = 0;
    if (snd_pcm_hw_params_set_period_size_near(pPcm, HwParams.get(), &ullPeriodFrames, &iDirection) < 0 ||
        snd_pcm_hw_params_set_buffer_size_near(pPcm, HwParams.get(), &ullBufferFrames) < 0)
    {
        return AUDIO_E_INVALID_DEVICE_PERIOD;
    }
    int iError = snd_pcm_hw_params(pPcm, HwParams.get());
    if (iError < 0)
    {
        return AudioResultForAlsaError(iError);
    }
    if ((iError = snd_pcm_hw_params_get_buffer_size(HwParams.get(), &ullBufferFrames)) < 0 ||
        (iError = snd_pcm_hw_params_get_period_size(HwParams.get(), &ullPeriodFrames, &iDirection)) < 0)
    {
        return AudioResultForAlsaError(iError);
    }
    if (ullBufferFrames == 0 || ullBufferFrames > 0x7FFFFFFF / pFormat->nBlockAlign)
    {
        return AUDIO_E_BUFFER_TOO_LARGE;
    }
    const int bCanPauseDevice = snd_pcm_hw_params_can_pause(HwParams.get());

    // Started only by Start, never by a full buffer; stopped by an empty one (an underrun).
    snd_pcm_uframes_t ullBoundary = 0;
    if ((iError = snd_pcm_sw_params_current(pPcm, SwParams.get())) < 0 ||
        (iError = snd_pcm_sw_params_get_boundary(SwParams.get(), &ullBoundary)) < 0 ||
        (iError = snd_pcm_sw_params_set_start_threshold(pPcm, SwParams.get(), ullBoundary)) < 0 ||
        (iError = snd_pcm_sw_params_set_stop_threshold(pPcm, SwParams.get(), ullBufferFrames)) < 0 ||
        (iError = snd_pcm_sw_params_set_avail_min(pPcm, SwParams.get(), ullPeriodFrames)) < 0 ||
        (iError = snd_pcm_sw_params(pPcm, SwParams.get())) < 0)
    {
        return AudioResultForAlsaError(iError);
    }
    if ((iError = snd_pcm_prepare(pPcm)) < 0)
    {
        return AudioResultForAlsaError(iError);
    }

    const int32_t iStaging = Staging.Allocate(static_cast<uint32_t>(ullBufferFrames), pFormat->nBlockAlign);
    if (iStaging < 0)
    {
        return iStaging;
    }
    Pcm = std::move(Opened);
    bCanPause = bCanPauseDevice != 0 ? 1 : 0;
    uiBufferFrames = static_cast<uint32_t>(ullBufferFrames);
    return AUDIO_OK;
}

int32_t AlsaPcmStream::CheckInitialized()
{
    std::lock_guard<std::mutex> Lock(Mutex);
    return UsableLocked();
}

int32_t AlsaPcmStream::UsableLocked() const
{
    if (Pcm == nullptr)
    {
        return AUDIO_E_NOT_INITIALIZED;
    }
    return bInvalidated != 0 ? AUDIO_E_DEVICE_INVALIDATED : AUDIO_OK;
}

int32_t AlsaPcmStream::GetBufferSize(uint32_t* puiFrames)
{
    std::lock_guard<std::mutex> Lock(Mutex);
    return ReportFrames(Pcm == nullptr ? AUDIO_E_NOT_INITIALIZED : AUDIO_OK, uiBufferFrames, puiFrames);
}

int32_t AlsaPcmStream::FailLocked(int iError)
{
    const int32_t iResult = AudioResultForAlsaError(iError);
    if (iResult == AUDIO_E_DEVICE_INVALIDATED)
    {
        bInvalidated = 1;
    }
    return iResult;
}

int32_t AlsaPcmStream::RecoverLocked(int iError)
{
    const snd_pcm_state_t State = snd_pcm_state(Pcm.get());
    if (State == SND_PCM_STATE_DISCONNECTED || iError == -ENODEV || iError == -EBADFD)
    {
        bInvalidated = 1;
        return AUDIO_E_DEVICE_INVALIDATED;
    }
    if (iError == -EPIPE || iError == -ESTRPIPE)
    {
        // The device ran dry (or was suspended) and stopped: what it did not get was silence. It
        // starts again once the writes have refilled half its buffer.
        const int iPrepared = snd_pcm_prepare(Pcm.get());
        if (iPrepared < 0)
        {
            return FailLocked(iPrepared);
        }
        bRefilling = 1;
        return AUDIO_OK;
    }
    return FailLocked(iError);
}

int32_t AlsaPcmStream::AvailableLocked(uint32_t& uiAvailable)
{
    uiAvailable = 0;
    const int32_t iUsable = UsableLocked();
    if (iUsable < 0)
    {
        return iUsable;
    }
    snd_pcm_sframes_t llAvailable = snd_pcm_avail(Pcm.get());
    if (llAvailable < 0)
    {
        const int32_t iRecovered = RecoverLocked(static_cast<int>(llAvailable));
        if (iRecovered < 0)
        {
            return iRecovered;
        }
        llAvailable = snd_pcm_avail(Pcm.get());
        if (llAvailable < 0)
        {
            return FailLocked(static_cast<int>(llAvailable));
        }
    }
    if (snd_pcm_state(Pcm.get()) == SND_PCM_STATE_DISCONNECTED)
    {
        bInvalidated = 1;
        return AUDIO_E_DEVICE_INVALIDATED;
    }
    uiAvailable = static_cast<uint32_t>(std::min<snd_pcm_sframes_t>(llAvailable, uiBufferFrames));
    return AUDIO_OK;
}

int32_t AlsaPcmStream::GetCurrentPadding(uint32_t* puiPaddingFrames)
{
    std::lock_guard<std::mutex> Lock(Mutex);
    if (puiPaddingFrames == nullptr)
    {
        return Pcm == nullptr ? AUDIO_E_NOT_INITIALIZED : AUDIO_E_POINTER;
    }
    uint32_t uiAvailable = 0;
    const int32_t iResult = AvailableLocked(uiAvailable);
    if (iResult < 0)
    {
        return iResult;
    }
    *puiPaddingFrames = uiBufferFrames - uiAvailable;
    return AUDIO_OK;
}

int32_t AlsaPcmStream::StartIfWantedLocked()
{
    if (bStarted == 0 || snd_pcm_state(Pcm.get()) != SND_PCM_STATE_PREPARED)
    {
        return AUDIO_OK;
    }
    // Nothing queued yet: the first data starts it. After an underrun, restarting on the few frames
    // of one top-up would only run dry again.
    const snd_pcm_sframes_t llAvailable = snd_pcm_avail(Pcm.get());
    const snd_pcm_uframes_t ullQueued =
        llAvailable >= 0 ? uiBufferFrames - std::min<snd_pcm_uframes_t>(llAvailable, uiBufferFrames) : 1;
    if (ullQueued == 0 || (bRefilling != 0 && ullQueued < uiBufferFrames / 2))
    {
        return AUDIO_OK;
    }
    bRefilling = 0;
    const int iError = snd_pcm_start(Pcm.get());
    return iError < 0 ? RecoverLocked(iError) : AUDIO_OK;
}

int32_t AlsaPcmStream::Start()
{
    std::lock_guard<std::mutex> Lock(Mutex);
    const int32_t iUsable = UsableLocked();
    if (iUsable < 0)
    {
        return iUsable;
    }
    if (bStarted != 0)
    {
        return AUDIO_E_NOT_STOPPED;
    }
    bStarted = 1;
    if (bPaused != 0)
    {
        bPaused = 0;
        const int iError = snd_pcm_pause(Pcm.get(), 0);
        if (iError < 0)
        {
            const int32_t iRecovered = RecoverLocked(iError);
            if (iRecovered < 0)
            {
                bStarted = 0;
                return iRecovered;
            }
        }
    }
    const int32_t iResult = StartIfWantedLocked();
    if (iResult < 0)
    {
        bStarted = 0;
    }
    return iResult;
}

int32_t AlsaPcmStream::Stop()
{
    std::lock_guard<std::mutex> Lock(Mutex);
    const int32_t iUsable = UsableLocked();
    if (iUsable < 0)
    {
        return iUsable;
    }
    if (bStarted == 0)
    {
        return 1; // already stopped: success with news
    }
    bStarted = 0;
    bRefilling = 0;
    // Keep what is queued where the device can pause; otherwise drop it and be ready for more.
    if (bCanPause != 0 && snd_pcm_state(Pcm.get()) == SND_PCM_STATE_RUNNING &&
        snd_pcm_pause(Pcm.get(), 1) >= 0)
    {
        bPaused = 1;
        return AUDIO_OK;
    }
    snd_pcm_drop(Pcm.get());
    const int iError = snd_pcm_prepare(Pcm.get());
    return iError < 0 ? FailLocked(iError) : AUDIO_OK;
}

int32_t AlsaPcmStream::GetBuffer(uint32_t uiFrames, uint8_t** ppData)
{
    std::lock_guard<std::mutex> Lock(Mutex);
    if (ppData != nullptr)
    {
        *ppData = nullptr;
    }
    uint32_t uiAvailable = 0;
    const int32_t iResult = AvailableLocked(uiAvailable);
    if (iResult < 0)
    {
        return iResult;
    }
    return Staging.Get(uiFrames, uiAvailable, ppData);
}

int32_t AlsaPcmStream::ReleaseBuffer(uint32_t uiFrames, uint32_t uiFlags)
{
    std::lock_guard<std::mutex> Lock(Mutex);
    const int32_t iUsable = UsableLocked();
    if (iUsable < 0)
    {
        return iUsable;
    }
    const uint8_t* pNext = nullptr;
    size_t ullBytes = 0;
    const int32_t iReleased = Staging.Release(uiFrames, uiFlags, pNext, ullBytes);
    if (iReleased < 0)
    {
        return iReleased;
    }
    const uint32_t uiFrameBytes = Staging.GetFrameBytes();
    snd_pcm_uframes_t ullLeft = uiFrames;
    // Room was checked under this lock and only grows; the bound keeps a device that misreports it
    // from holding the lock for ever.
    for (int iAttempt = 0; ullLeft > 0 && iAttempt < 8; ++iAttempt)
    {
        const snd_pcm_sframes_t llWritten = snd_pcm_writei(Pcm.get(), pNext, ullLeft);
        if (llWritten == -EAGAIN)
        {
            break;
        }
        if (llWritten < 0)
        {
            const int32_t iRecovered = RecoverLocked(static_cast<int>(llWritten));
            if (iRecovered < 0)
            {
                return iRecovered;
            }
            continue;
        }
        pNext += static_cast<size_t>(llWritten) * uiFrameBytes;
        ullLeft -= static_cast<snd_pcm_uframes_t>(llWritten);
    }
    return StartIfWantedLocked();
}
