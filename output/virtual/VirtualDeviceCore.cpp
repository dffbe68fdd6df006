#include "output/virtual/VirtualDeviceCore.h"

#include "runtime/SEvent.h"

#include <algorithm>
#include <cmath>
#include <cstring>

int32_t VirtualDeviceCore::Activate(uint64_t& ullClient)
{
    NotifyOnExit Notify(*this);
    std::lock_guard<std::mutex> Lock(Mutex);
    const int32_t iResult = EnterLocked(VirtualOperation::Activate);
    if (iResult >= 0)
    {
        ullClient = ullNextClient++;
    }
    return iResult;
}

int32_t VirtualDeviceCore::InitializeThread()
{
    NotifyOnExit Notify(*this);
    std::lock_guard<std::mutex> Lock(Mutex);
    return EnterThreadLocked(VirtualOperation::InitializeThread);
}

void VirtualDeviceCore::UninitializeThread()
{
    NotifyOnExit Notify(*this);
    std::lock_guard<std::mutex> Lock(Mutex);
    EnterThreadLocked(VirtualOperation::UninitializeThread);
}

int32_t VirtualDeviceCore::GetDevicePeriod(int64_t* phnsDefault, int64_t* phnsMinimum)
{
    NotifyOnExit Notify(*this);
    std::lock_guard<std::mutex> Lock(Mutex);
    const int32_t iResult = EnterLocked(VirtualOperation::GetDevicePeriod);
    if (iResult < 0)
    {
        return iResult;
    }
    return SAudioStream::ReportDevicePeriods(hnsDefaultPeriod, hnsMinimumPeriod, phnsDefault, phnsMinimum);
}

int32_t VirtualDeviceCore::IsFormatSupported(uint32_t uiShareMode, const AudioStreamFormat* pFormat,
                                             AudioStreamFormat* pClosestMatch)
{
    NotifyOnExit Notify(*this);
    std::lock_guard<std::mutex> Lock(Mutex);
    int32_t iResult = EnterLocked(VirtualOperation::IsFormatSupported);
    if (iResult >= 0)
    {
        const bool bShared = uiShareMode == AUDIO_SHAREMODE_SHARED;
        if (pFormat == nullptr || (bShared && pClosestMatch == nullptr))
        {
            iResult = AUDIO_E_POINTER;
        }
        else if (!bShared && (uiShareMode != AUDIO_SHAREMODE_EXCLUSIVE || pClosestMatch != nullptr))
        {
            iResult = AUDIO_E_INVALIDARG;
        }
        else if (AcceptsLocked(uiShareMode, *pFormat))
        {
            iResult = AUDIO_OK;
        }
        else
        {
            iResult = bShared ? OfferClosestMatchLocked(*pFormat, pClosestMatch) : AUDIO_E_UNSUPPORTED_FORMAT;
        }
    }
    if (pFormat != nullptr)
    {
        ProbedLocked(uiShareMode, *pFormat, pClosestMatch, iResult);
    }
    return iResult;
}

int32_t VirtualDeviceCore::Initialize(uint64_t ullClient, uint32_t uiShareMode, uint32_t uiStreamFlags,
                                      int64_t hnsBufferDuration, int64_t hnsPeriodicity,
                                      const AudioStreamFormat* pFormat)
{
    NotifyOnExit Notify(*this);
    std::lock_guard<std::mutex> Lock(Mutex);
    int32_t iResult = EnterLocked(VirtualOperation::Initialize);
    if (iResult < 0)
    {
        return iResult;
    }
    if (ullStreamClient == ullClient)
    {
        return AUDIO_E_ALREADY_INITIALIZED;
    }
    // One stream at a time: a client that is still open keeps the device.
    if (ullStreamClient != 0)
    {
        return AUDIO_E_DEVICE_IN_USE;
    }
    if (pFormat == nullptr)
    {
        return AUDIO_E_POINTER;
    }
    if ((uiStreamFlags & ~AUDIO_STREAMFLAGS_KNOWN) != 0 || hnsBufferDuration < 0 || hnsPeriodicity < 0 ||
        (uiShareMode != AUDIO_SHAREMODE_SHARED && uiShareMode != AUDIO_SHAREMODE_EXCLUSIVE))
    {
        return AUDIO_E_INVALIDARG;
    }
    if (!AcceptsLocked(uiShareMode, *pFormat))
    {
        return AUDIO_E_UNSUPPORTED_FORMAT;
    }
    if (uiShareMode == AUDIO_SHAREMODE_EXCLUSIVE && hnsBufferDuration < hnsMinimumPeriod)
    {
        return AUDIO_E_INVALID_DEVICE_PERIOD;
    }
    const double dfFrames =
        static_cast<double>(hnsBufferDuration) * pFormat->nSamplesPerSec / AUDIO_HNS_PER_SECOND;
    uint64_t ullFrames = std::max<uint64_t>(static_cast<uint64_t>(std::llround(dfFrames)), 1);
    if ((iResult = GrantLocked(ullFrames, *pFormat)) < 0 ||
        (iResult = Staging.Allocate(static_cast<uint32_t>(ullFrames), pFormat->nBlockAlign)) < 0)
    {
        return iResult;
    }
    Ring.assign(static_cast<size_t>(ullFrames) * pFormat->nBlockAlign, 0);
    Stream = VirtualStreamState{};
    Stream.bInitialized = 1;
    Stream.bOpen = 1;
    Stream.uiShareMode = uiShareMode;
    Stream.uiStreamFlags = uiStreamFlags;
    Stream.hnsBufferDuration = hnsBufferDuration;
    Stream.hnsPeriodicity = hnsPeriodicity;
    Stream.Format = *pFormat;
    Stream.uiBufferFrames = static_cast<uint32_t>(ullFrames);
    ullStreamClient = ullClient;
    pEvent = nullptr;
    StreamInitializedLocked();
    return AUDIO_OK;
}

int32_t VirtualDeviceCore::EnterStreamLocked(VirtualOperation Operation, uint64_t ullClient)
{
    const int32_t iResult = EnterLocked(Operation);
    if (iResult < 0)
    {
        return iResult;
    }
    return ullClient != 0 && ullClient == ullStreamClient ? AUDIO_OK : AUDIO_E_NOT_INITIALIZED;
}

int32_t VirtualDeviceCore::SetEventHandle(uint64_t ullClient, SEvent* pNewEvent)
{
    NotifyOnExit Notify(*this);
    std::lock_guard<std::mutex> Lock(Mutex);
    const int32_t iResult = EnterStreamLocked(VirtualOperation::SetEventHandle, ullClient);
    if (iResult < 0)
    {
        return iResult;
    }
    if (pNewEvent == nullptr || (Stream.uiStreamFlags & AUDIO_STREAMFLAGS_EVENTCALLBACK) == 0)
    {
        return AUDIO_E_INVALIDARG;
    }
    pEvent = pNewEvent;
    return AUDIO_OK;
}

int32_t VirtualDeviceCore::GetBufferSize(uint64_t ullClient, uint32_t* puiFrames)
{
    return ReportFrames(VirtualOperation::GetBufferSize, ullClient, puiFrames);
}

int32_t VirtualDeviceCore::GetCurrentPadding(uint64_t ullClient, uint32_t* puiFrames)
{
    return ReportFrames(VirtualOperation::GetCurrentPadding, ullClient, puiFrames);
}

int32_t VirtualDeviceCore::ReportFrames(VirtualOperation Operation, uint64_t ullClient, uint32_t* puiFrames)
{
    NotifyOnExit Notify(*this);
    std::lock_guard<std::mutex> Lock(Mutex);
    const int32_t iResult = EnterStreamLocked(Operation, ullClient);
    if (iResult < 0)
    {
        return iResult;
    }
    if (puiFrames == nullptr)
    {
        return AUDIO_E_POINTER;
    }
    if (Operation == VirtualOperation::GetCurrentPadding)
    {
        UpdateClockLocked();
        *puiFrames = PaddingLocked();
    }
    else
    {
        *puiFrames = Stream.uiBufferFrames;
    }
    return AUDIO_OK;
}

int32_t VirtualDeviceCore::CheckStream(uint64_t ullClient)
{
    std::lock_guard<std::mutex> Lock(Mutex);
    return ullClient != 0 && ullClient == ullStreamClient ? AUDIO_OK : AUDIO_E_NOT_INITIALIZED;
}

int32_t VirtualDeviceCore::GetService(uint64_t ullClient, AudioStreamView View)
{
    if (View == AudioStreamView::Capture && !HasCaptureService())
    {
        return AUDIO_E_WRONG_ENDPOINT_TYPE;
    }
    NotifyOnExit Notify(*this);
    std::lock_guard<std::mutex> Lock(Mutex);
    return EnterStreamLocked(VirtualOperation::GetService, ullClient);
}

int32_t VirtualDeviceCore::Start(uint64_t ullClient)
{
    NotifyOnExit Notify(*this);
    std::lock_guard<std::mutex> Lock(Mutex);
    int32_t iResult = EnterStreamLocked(VirtualOperation::Start, ullClient);
    if (iResult < 0)
    {
        return iResult;
    }
    if (Stream.bStarted != 0)
    {
        return AUDIO_E_NOT_STOPPED;
    }
    if ((Stream.uiStreamFlags & AUDIO_STREAMFLAGS_EVENTCALLBACK) != 0 && pEvent == nullptr)
    {
        return AUDIO_E_EVENTHANDLE_NOT_SET;
    }
    if ((iResult = StartLocked()) < 0)
    {
        return iResult;
    }
    Stream.bStarted = 1;
    // An event-driven stream is asked for its first period as it starts.
    if (pEvent != nullptr)
    {
        pEvent->Set();
    }
    return AUDIO_OK;
}

int32_t VirtualDeviceCore::Stop(uint64_t ullClient)
{
    NotifyOnExit Notify(*this);
    std::unique_lock<std::mutex> Lock(Mutex);
    const int32_t iResult = EnterStreamLocked(VirtualOperation::Stop, ullClient);
    if (iResult < 0)
    {
        return iResult;
    }
    if (Stream.bStarted == 0)
    {
        return 1; // already stopped: success with news
    }
    UpdateClockLocked();
    Stream.bStarted = 0;
    StopLocked(Lock);
    return AUDIO_OK;
}

int32_t VirtualDeviceCore::GetBuffer(uint64_t ullClient, uint32_t uiFrames, uint8_t** ppData)
{
    NotifyOnExit Notify(*this);
    std::lock_guard<std::mutex> Lock(Mutex);
    if (ppData != nullptr)
    {
        *ppData = nullptr;
    }
    int32_t iResult = EnterStreamLocked(VirtualOperation::GetBuffer, ullClient);
    if (iResult < 0)
    {
        return iResult;
    }
    UpdateClockLocked();
    if ((iResult = Staging.Get(uiFrames, Stream.uiBufferFrames - PaddingLocked(), ppData)) >= 0)
    {
        BufferHandedOutLocked(*ppData, uiFrames);
    }
    return iResult;
}

int32_t VirtualDeviceCore::ReleaseBuffer(uint64_t ullClient, uint32_t uiFrames, uint32_t uiFlags)
{
    NotifyOnExit Notify(*this);
    std::lock_guard<std::mutex> Lock(Mutex);
    int32_t iResult = EnterStreamLocked(VirtualOperation::ReleaseBuffer, ullClient);
    const uint8_t* pBytes = nullptr;
    size_t ullBytes = 0;
    if (iResult < 0 || (iResult = Staging.Release(uiFrames, uiFlags, pBytes, ullBytes)) < 0)
    {
        return iResult;
    }
    const size_t ullFrameBytes = Stream.Format.nBlockAlign;
    for (uint32_t f = 0; f < uiFrames;)
    {
        // The ring wraps at most once per release.
        const uint64_t ullAt = (Stream.ullWrittenFrames + f) % Stream.uiBufferFrames;
        const auto uiRun =
            static_cast<uint32_t>(std::min<uint64_t>(uiFrames - f, Stream.uiBufferFrames - ullAt));
        std::memcpy(Ring.data() + ullAt * ullFrameBytes, pBytes + f * ullFrameBytes, uiRun * ullFrameBytes);
        f += uiRun;
    }
    ReleasedLocked(pBytes, ullBytes, uiFrames, (uiFlags & AUDIO_BUFFERFLAGS_SILENT) != 0);
    Stream.ullWrittenFrames += uiFrames;
    if (Stream.bStarted == 0)
    {
        Stream.ullWrittenBeforeStart += uiFrames;
    }
    ++Stream.ullReleaseCount;
    return AUDIO_OK;
}

int32_t VirtualDeviceCore::GetCaptureBuffer(uint64_t, uint8_t**, uint32_t*, uint32_t*)
{
    return AUDIO_E_WRONG_ENDPOINT_TYPE;
}

int32_t VirtualDeviceCore::ReleaseCaptureBuffer(uint64_t, uint32_t)
{
    return AUDIO_E_WRONG_ENDPOINT_TYPE;
}

uint64_t VirtualDeviceCore::PlayLocked(uint64_t ullFrames, uint8_t* pTaken)
{
    const uint64_t ullPlayed = std::min<uint64_t>(ullFrames, PaddingLocked());
    const uint64_t ullFrameBytes = Stream.Format.nBlockAlign;
    for (uint64_t f = 0; pTaken != nullptr && f < ullPlayed;)
    {
        const uint64_t ullAt = (Stream.ullPlayedFrames + f) % Stream.uiBufferFrames;
        const uint64_t ullRun = std::min(ullPlayed - f, Stream.uiBufferFrames - ullAt);
        std::memcpy(pTaken + f * ullFrameBytes, Ring.data() + ullAt * ullFrameBytes,
                    static_cast<size_t>(ullRun * ullFrameBytes));
        f += ullRun;
    }
    Stream.ullPlayedFrames += ullPlayed;
    Stream.ullUnderrunFrames += ullFrames - ullPlayed;
    if (pEvent != nullptr && ullFrames != 0)
    {
        pEvent->Set();
    }
    return ullPlayed;
}

void VirtualDeviceCore::ViewOpened()
{
    std::lock_guard<std::mutex> Lock(Mutex);
    ++ullLiveObjects;
}

void VirtualDeviceCore::ViewClosed(uint64_t ullClient, AudioStreamView View)
{
    NotifyOnExit Notify(*this);
    std::unique_lock<std::mutex> Lock(Mutex);
    if (View == AudioStreamView::Client && ullClient != 0 && ullClient == ullStreamClient)
    {
        UpdateClockLocked();
        Stream.bStarted = 0;
        StopLocked(Lock);
        ullStreamClient = 0;
        Stream.bOpen = 0;
        pEvent = nullptr;
        Staging.Allocate(0, 0);
        std::vector<uint8_t>().swap(Ring);
        ClientGoneLocked();
    }
    --ullLiveObjects;
}

VirtualStreamState VirtualDeviceCore::GetStreamState() const
{
    std::lock_guard<std::mutex> Lock(Mutex);
    return Stream;
}

uint64_t VirtualDeviceCore::GetLiveObjectCount() const
{
    std::lock_guard<std::mutex> Lock(Mutex);
    return ullLiveObjects;
}
