#include "tests/scripted/VirtualAudioDevice.h"

#include "runtime/SEvent.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace
{
constexpr uint8_t UNWRITTEN_BYTE = 0xA5;
constexpr uint32_t KNOWN_STREAM_FLAGS = AUDIO_STREAMFLAGS_EVENTCALLBACK | AUDIO_STREAMFLAGS_NOPERSIST;

// Wakes the waiters once the lock taken after it has been dropped.
class NotifyOnExit
{
public:
    explicit NotifyOnExit(std::condition_variable& Condition) : Target(Condition) {}
    ~NotifyOnExit() { Target.notify_all(); }
    NotifyOnExit(const NotifyOnExit&) = delete;
    NotifyOnExit& operator=(const NotifyOnExit&) = delete;

private:
    std::condition_variable& Target;
};

// Two-channel extensible integer PCM whose container is full of valid bits.
bool IsWellFormedStereoPcm(const AudioStreamFormat& Format)
{
    const uint32_t uiBits = Format.wBitsPerSample;
    return Format.wFormatTag == AUDIO_FORMAT_TAG_EXTENSIBLE && Format.nChannels == 2 && uiBits % 8 == 0 &&
           uiBits >= 8 && uiBits <= 32 && Format.nBlockAlign == 2 * (uiBits / 8) &&
           Format.nAvgBytesPerSec == Format.nSamplesPerSec * Format.nBlockAlign &&
           Format.cbSize == AUDIO_FORMAT_EXTENSIBLE_SIZE && Format.wValidBitsPerSample == uiBits &&
           (Format.dwChannelMask == 0 || Format.dwChannelMask == 3) && Format.SubFormat == AUDIO_SUBTYPE_PCM;
}
} // namespace

VirtualAudioDevice::VirtualAudioDevice() = default;
VirtualAudioDevice::~VirtualAudioDevice() = default;

void VirtualAudioDevice::SetFriendlyName(const std::u16string& Name)
{
    std::lock_guard<std::mutex> Lock(Mutex);
    FriendlyName = Name;
    bNameIsText = 1;
}

void VirtualAudioDevice::SetFriendlyNameNotText()
{
    std::lock_guard<std::mutex> Lock(Mutex);
    FriendlyName.clear();
    bNameIsText = 0;
}

void VirtualAudioDevice::SetId(const std::u16string& Id)
{
    std::lock_guard<std::mutex> Lock(Mutex);
    Identifier = Id;
}

void VirtualAudioDevice::AcceptFormat(uint32_t uiShareMode, uint32_t uiRate, uint32_t uiBits)
{
    std::lock_guard<std::mutex> Lock(Mutex);
    AcceptedFormats.emplace(uiShareMode, uiRate, uiBits);
}

void VirtualAudioDevice::OfferClosestMatch(uint32_t uiRate, uint32_t uiBits)
{
    std::lock_guard<std::mutex> Lock(Mutex);
    ClosestMatchFormats.emplace(uiRate, uiBits);
}

void VirtualAudioDevice::SetDevicePeriods(int64_t hnsDefault, int64_t hnsMinimum)
{
    std::lock_guard<std::mutex> Lock(Mutex);
    hnsDefaultPeriod = hnsDefault;
    hnsMinimumPeriod = hnsMinimum;
}

void VirtualAudioDevice::SetBufferGrant(uint32_t uiAlignment, uint32_t uiMinimum)
{
    std::lock_guard<std::mutex> Lock(Mutex);
    uiAlignmentFrames = uiAlignment;
    uiMinimumFrames = uiMinimum;
}

void VirtualAudioDevice::UseRealTimeClock(int32_t bRealTime)
{
    std::lock_guard<std::mutex> Lock(Mutex);
    UpdateClockLocked();
    bRealTimeClock = bRealTime != 0 ? 1 : 0;
    StartTime = std::chrono::steady_clock::now();
    ullClockFramesAccounted = 0;
}

void VirtualAudioDevice::FailAfter(VirtualOperation Operation, uint64_t ullSuccessfulCalls, int32_t iResult)
{
    std::lock_guard<std::mutex> Lock(Mutex);
    Faults.FailAfter(Operation, ullSuccessfulCalls, iResult);
}

void VirtualAudioDevice::Heal(VirtualOperation Operation)
{
    std::lock_guard<std::mutex> Lock(Mutex);
    Faults.Heal(Operation);
}

void VirtualAudioDevice::Vanish()
{
    NotifyOnExit Notify(Changed);
    std::lock_guard<std::mutex> Lock(Mutex);
    bVanished = 1;
}

int32_t VirtualAudioDevice::IsActive() const
{
    std::lock_guard<std::mutex> Lock(Mutex);
    return bVanished == 0 ? 1 : 0;
}

void VirtualAudioDevice::QueueCapturePacket(const std::vector<uint8_t>& Bytes, uint32_t uiFrames,
                                            uint32_t uiFlags)
{
    std::lock_guard<std::mutex> Lock(Mutex);
    CapturePackets.push_back(CapturePacket{Bytes, uiFrames, uiFlags});
}

uint64_t VirtualAudioDevice::Advance(uint64_t ullFrames)
{
    NotifyOnExit Notify(Changed);
    std::lock_guard<std::mutex> Lock(Mutex);
    if (ullStreamClient == 0 || Stream.bStarted == 0)
    {
        return 0;
    }
    const uint64_t ullBefore = Stream.ullPlayedFrames;
    PlayLocked(ullFrames);
    return Stream.ullPlayedFrames - ullBefore;
}

uint64_t VirtualAudioDevice::GetCallCount(VirtualOperation Operation) const
{
    std::lock_guard<std::mutex> Lock(Mutex);
    return Faults.GetCallCount(Operation);
}

VirtualStreamState VirtualAudioDevice::GetStreamState() const
{
    std::lock_guard<std::mutex> Lock(Mutex);
    return Stream;
}

void VirtualAudioDevice::ForgetWrittenBytes()
{
    std::lock_guard<std::mutex> Lock(Mutex);
    std::vector<uint8_t>().swap(WrittenBytes);
    std::vector<uint32_t>().swap(ReleasedFrameCounts);
    Probes.clear();
    Probes.shrink_to_fit();
}

void VirtualAudioDevice::RecordWrittenBytes(int32_t bRecord)
{
    std::lock_guard<std::mutex> Lock(Mutex);
    bRecordBytes = bRecord != 0 ? 1 : 0;
}

bool VirtualAudioDevice::GetFirstSoundTimes(std::chrono::steady_clock::time_point& Released,
                                            std::chrono::steady_clock::time_point& Played) const
{
    std::lock_guard<std::mutex> Lock(Mutex);
    Released = SoundReleaseTime;
    Played = SoundPlayTime;
    return bSoundPlayed != 0;
}

std::vector<uint8_t> VirtualAudioDevice::GetWrittenBytes() const
{
    std::lock_guard<std::mutex> Lock(Mutex);
    return WrittenBytes;
}

std::vector<uint32_t> VirtualAudioDevice::GetReleasedFrameCounts() const
{
    std::lock_guard<std::mutex> Lock(Mutex);
    return ReleasedFrameCounts;
}

std::vector<VirtualFormatProbe> VirtualAudioDevice::GetProbes() const
{
    std::lock_guard<std::mutex> Lock(Mutex);
    return Probes;
}

uint64_t VirtualAudioDevice::GetLiveObjectCount() const
{
    std::lock_guard<std::mutex> Lock(Mutex);
    return ullLiveObjects;
}

bool VirtualAudioDevice::WaitForWrittenFrames(uint64_t ullFrames, uint32_t uiTimeoutMs) const
{
    std::unique_lock<std::mutex> Lock(Mutex);
    return Changed.wait_for(Lock, std::chrono::milliseconds(uiTimeoutMs),
                            [&] { return Stream.ullWrittenFrames >= ullFrames; });
}

bool VirtualAudioDevice::WaitForCallCount(VirtualOperation Operation, uint64_t ullCalls,
                                          uint32_t uiTimeoutMs) const
{
    std::unique_lock<std::mutex> Lock(Mutex);
    return Changed.wait_for(Lock, std::chrono::milliseconds(uiTimeoutMs),
                            [&] { return Faults.GetCallCount(Operation) >= ullCalls; });
}

int32_t VirtualAudioDevice::EnterLocked(VirtualOperation Operation)
{
    const int32_t iPlanned = Faults.Enter(Operation);
    if (bVanished != 0)
    {
        return AUDIO_E_DEVICE_INVALIDATED;
    }
    return iPlanned;
}

int32_t VirtualAudioDevice::EnterStreamLocked(VirtualOperation Operation, uint64_t ullClient)
{
    const int32_t iResult = EnterLocked(Operation);
    if (iResult < 0)
    {
        return iResult;
    }
    return ullClient != 0 && ullClient == ullStreamClient ? AUDIO_OK : AUDIO_E_NOT_INITIALIZED;
}

bool VirtualAudioDevice::IsAcceptedLocked(uint32_t uiShareMode, const AudioStreamFormat& Format) const
{
    return IsWellFormedStereoPcm(Format) &&
           AcceptedFormats.count({uiShareMode, Format.nSamplesPerSec, Format.wBitsPerSample}) != 0;
}

void VirtualAudioDevice::UpdateClockLocked()
{
    if (bRealTimeClock == 0 || ullStreamClient == 0 || Stream.bStarted == 0)
    {
        return;
    }
    const std::chrono::duration<double> Elapsed = std::chrono::steady_clock::now() - StartTime;
    const auto ullTotal = static_cast<uint64_t>(std::floor(Elapsed.count() * Stream.Format.nSamplesPerSec));
    if (ullTotal > ullClockFramesAccounted)
    {
        const uint64_t ullPlayedBefore = Stream.ullPlayedFrames;
        PlayLocked(ullTotal - ullClockFramesAccounted);
        // Queued frames play first in the stretch of clock just accounted, so the clock frame that
        // played the first sound is known to the frame.
        if (bSoundReleased != 0 && bSoundPlayed == 0 && Stream.ullPlayedFrames > ullFirstSoundFrame)
        {
            const uint64_t ullClockFrame = ullClockFramesAccounted + (ullFirstSoundFrame - ullPlayedBefore);
            const auto Offset = std::chrono::duration<double>(static_cast<double>(ullClockFrame) /
                                                              Stream.Format.nSamplesPerSec);
            SoundPlayTime =
                std::max(SoundReleaseTime,
                         StartTime + std::chrono::duration_cast<std::chrono::steady_clock::duration>(Offset));
            bSoundPlayed = 1;
        }
        ullClockFramesAccounted = ullTotal;
    }
}

void VirtualAudioDevice::PlayLocked(uint64_t ullFrames)
{
    const uint64_t ullPlayed = std::min<uint64_t>(ullFrames, PaddingLocked());
    Stream.ullPlayedFrames += ullPlayed;
    Stream.ullUnderrunFrames += ullFrames - ullPlayed;
    if (pEvent != nullptr && ullFrames != 0)
    {
        pEvent->Set();
    }
}

void VirtualAudioDevice::ObjectCreated()
{
    std::lock_guard<std::mutex> Lock(Mutex);
    ++ullLiveObjects;
}

void VirtualAudioDevice::ObjectDestroyed()
{
    NotifyOnExit Notify(Changed);
    std::lock_guard<std::mutex> Lock(Mutex);
    --ullLiveObjects;
}

int32_t VirtualAudioDevice::EndpointActivate(uint64_t* pullClient)
{
    NotifyOnExit Notify(Changed);
    std::lock_guard<std::mutex> Lock(Mutex);
    const int32_t iResult = EnterLocked(VirtualOperation::Activate);
    if (iResult >= 0)
    {
        *pullClient = ullNextClient++;
    }
    return iResult;
}

int32_t VirtualAudioDevice::EndpointGetFriendlyName(std::u16string& Name, int32_t& bIsText)
{
    NotifyOnExit Notify(Changed);
    std::lock_guard<std::mutex> Lock(Mutex);
    const int32_t iResult = EnterLocked(VirtualOperation::GetFriendlyName);
    if (iResult >= 0)
    {
        Name = FriendlyName;
        bIsText = bNameIsText;
    }
    return iResult;
}

int32_t VirtualAudioDevice::EndpointGetId(std::u16string& Id)
{
    NotifyOnExit Notify(Changed);
    std::lock_guard<std::mutex> Lock(Mutex);
    const int32_t iResult = EnterLocked(VirtualOperation::GetId);
    if (iResult >= 0)
    {
        Id = Identifier;
    }
    return iResult;
}

int32_t VirtualAudioDevice::ClientInitializeThread()
{
    NotifyOnExit Notify(Changed);
    std::lock_guard<std::mutex> Lock(Mutex);
    // Per-thread set-up does not depend on the device being there.
    return Faults.Enter(VirtualOperation::InitializeThread);
}

void VirtualAudioDevice::ClientUninitializeThread()
{
    NotifyOnExit Notify(Changed);
    std::lock_guard<std::mutex> Lock(Mutex);
    Faults.Enter(VirtualOperation::UninitializeThread);
}

void VirtualAudioDevice::ClientDestroyed(uint64_t ullClient)
{
    NotifyOnExit Notify(Changed);
    std::lock_guard<std::mutex> Lock(Mutex);
    if (ullClient != 0 && ullClient == ullStreamClient)
    {
        UpdateClockLocked();
        ullStreamClient = 0;
        Stream.bOpen = 0;
        Stream.bStarted = 0;
        pEvent = nullptr;
        bBufferPending = 0;
        bCapturePending = 0;
    }
}

int32_t VirtualAudioDevice::ClientGetDevicePeriod(int64_t* phnsDefault, int64_t* phnsMinimum)
{
    NotifyOnExit Notify(Changed);
    std::lock_guard<std::mutex> Lock(Mutex);
    const int32_t iResult = EnterLocked(VirtualOperation::GetDevicePeriod);
    if (iResult < 0)
    {
        return iResult;
    }
    if (phnsDefault == nullptr && phnsMinimum == nullptr)
    {
        return AUDIO_E_POINTER;
    }
    if (phnsDefault != nullptr)
    {
        *phnsDefault = hnsDefaultPeriod;
    }
    if (phnsMinimum != nullptr)
    {
        *phnsMinimum = hnsMinimumPeriod;
    }
    return AUDIO_OK;
}

int32_t VirtualAudioDevice::ClientIsFormatSupported(uint32_t uiShareMode, const AudioStreamFormat* pFormat,
                                                    AudioStreamFormat* pClosestMatch)
{
    NotifyOnExit Notify(Changed);
    std::lock_guard<std::mutex> Lock(Mutex);
    int32_t iResult = EnterLocked(VirtualOperation::IsFormatSupported);
    if (iResult >= 0)
    {
        const bool bShared = uiShareMode == AUDIO_SHAREMODE_SHARED;
        if (pFormat == nullptr || (bShared && pClosestMatch == nullptr))
        {
            iResult = AUDIO_E_POINTER;
        }
        else if ((!bShared && uiShareMode != AUDIO_SHAREMODE_EXCLUSIVE) ||
                 (!bShared && pClosestMatch != nullptr))
        {
            iResult = AUDIO_E_INVALIDARG;
        }
        else if (IsAcceptedLocked(uiShareMode, *pFormat))
        {
            iResult = AUDIO_OK;
        }
        else if (bShared && IsWellFormedStereoPcm(*pFormat) &&
                 ClosestMatchFormats.count({pFormat->nSamplesPerSec, pFormat->wBitsPerSample}) != 0)
        {
            // What a mixing engine would rather have: 32-bit float at the same rate.
            AudioStreamFormat Closest = *pFormat;
            Closest.wBitsPerSample = 32;
            Closest.wValidBitsPerSample = 32;
            Closest.nBlockAlign = 8;
            Closest.nAvgBytesPerSec = Closest.nSamplesPerSec * 8;
            Closest.SubFormat = AUDIO_SUBTYPE_IEEE_FLOAT;
            *pClosestMatch = Closest;
            iResult = AUDIO_S_CLOSEST_MATCH;
        }
        else
        {
            iResult = AUDIO_E_UNSUPPORTED_FORMAT;
        }
    }
    if (pFormat != nullptr)
    {
        Probes.push_back(
            VirtualFormatProbe{uiShareMode, *pFormat, pClosestMatch != nullptr ? 1 : 0, iResult});
    }
    return iResult;
}

int32_t VirtualAudioDevice::ClientInitialize(uint64_t ullClient, uint32_t uiShareMode, uint32_t uiStreamFlags,
                                             int64_t hnsBufferDuration, int64_t hnsPeriodicity,
                                             const AudioStreamFormat* pFormat)
{
    NotifyOnExit Notify(Changed);
    std::lock_guard<std::mutex> Lock(Mutex);
    const int32_t iResult = EnterLocked(VirtualOperation::Initialize);
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
    if ((uiStreamFlags & ~KNOWN_STREAM_FLAGS) != 0 || hnsBufferDuration < 0 || hnsPeriodicity < 0 ||
        (uiShareMode != AUDIO_SHAREMODE_SHARED && uiShareMode != AUDIO_SHAREMODE_EXCLUSIVE))
    {
        return AUDIO_E_INVALIDARG;
    }
    if (!IsAcceptedLocked(uiShareMode, *pFormat))
    {
        return AUDIO_E_UNSUPPORTED_FORMAT;
    }
    if (uiShareMode == AUDIO_SHAREMODE_EXCLUSIVE && hnsBufferDuration < hnsMinimumPeriod)
    {
        return AUDIO_E_INVALID_DEVICE_PERIOD;
    }
    const double dfFrames =
        static_cast<double>(hnsBufferDuration) * pFormat->nSamplesPerSec / AUDIO_HNS_PER_SECOND;
    uint64_t ullFrames = static_cast<uint64_t>(std::llround(dfFrames));
    ullFrames = std::max<uint64_t>({ullFrames, uiMinimumFrames, 1});
    if (uiAlignmentFrames > 1)
    {
        ullFrames = (ullFrames + uiAlignmentFrames - 1) / uiAlignmentFrames * uiAlignmentFrames;
    }
    if (ullFrames > 0x7FFFFFFF / pFormat->nBlockAlign)
    {
        return AUDIO_E_BUFFER_TOO_LARGE;
    }

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
    bBufferPending = 0;
    bCapturePending = 0;
    uiPendingFrames = 0;
    Staging.assign(static_cast<size_t>(ullFrames) * pFormat->nBlockAlign, UNWRITTEN_BYTE);
    WrittenBytes.clear();
    // A second of sound, so that the render thread rarely makes the record grow.
    if (bRecordBytes != 0)
    {
        WrittenBytes.reserve(static_cast<size_t>(pFormat->nAvgBytesPerSec));
    }
    bSoundReleased = 0;
    bSoundPlayed = 0;
    ullFirstSoundFrame = 0;
    ReleasedFrameCounts.clear();
    ullClockFramesAccounted = 0;
    return AUDIO_OK;
}

int32_t VirtualAudioDevice::ClientSetEventHandle(uint64_t ullClient, SEvent* pNewEvent)
{
    NotifyOnExit Notify(Changed);
    std::lock_guard<std::mutex> Lock(Mutex);
    const int32_t iResult = EnterStreamLocked(VirtualOperation::SetEventHandle, ullClient);
    if (iResult < 0)
    {
        return iResult;
    }
    if (pNewEvent == nullptr)
    {
        return AUDIO_E_INVALIDARG;
    }
    if ((Stream.uiStreamFlags & AUDIO_STREAMFLAGS_EVENTCALLBACK) == 0)
    {
        return AUDIO_E_INVALIDARG;
    }
    pEvent = pNewEvent;
    return AUDIO_OK;
}

int32_t VirtualAudioDevice::ClientGetBufferSize(uint64_t ullClient, uint32_t* puiFrames)
{
    NotifyOnExit Notify(Changed);
    std::lock_guard<std::mutex> Lock(Mutex);
    const int32_t iResult = EnterStreamLocked(VirtualOperation::GetBufferSize, ullClient);
    if (iResult < 0)
    {
        return iResult;
    }
    if (puiFrames == nullptr)
    {
        return AUDIO_E_POINTER;
    }
    *puiFrames = Stream.uiBufferFrames;
    return AUDIO_OK;
}

int32_t VirtualAudioDevice::ClientGetCurrentPadding(uint64_t ullClient, uint32_t* puiFrames)
{
    NotifyOnExit Notify(Changed);
    std::lock_guard<std::mutex> Lock(Mutex);
    const int32_t iResult = EnterStreamLocked(VirtualOperation::GetCurrentPadding, ullClient);
    if (iResult < 0)
    {
        return iResult;
    }
    if (puiFrames == nullptr)
    {
        return AUDIO_E_POINTER;
    }
    UpdateClockLocked();
    *puiFrames = PaddingLocked();
    return AUDIO_OK;
}

int32_t VirtualAudioDevice::ClientGetService(uint64_t ullClient)
{
    NotifyOnExit Notify(Changed);
    std::lock_guard<std::mutex> Lock(Mutex);
    return EnterStreamLocked(VirtualOperation::GetService, ullClient);
}

int32_t VirtualAudioDevice::ClientStart(uint64_t ullClient)
{
    NotifyOnExit Notify(Changed);
    std::lock_guard<std::mutex> Lock(Mutex);
    const int32_t iResult = EnterStreamLocked(VirtualOperation::Start, ullClient);
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
    Stream.bStarted = 1;
    StartTime = std::chrono::steady_clock::now();
    ullClockFramesAccounted = 0;
    // An event-driven stream is asked for its first period as it starts.
    if (pEvent != nullptr)
    {
        pEvent->Set();
    }
    return AUDIO_OK;
}

int32_t VirtualAudioDevice::ClientStop(uint64_t ullClient)
{
    NotifyOnExit Notify(Changed);
    std::lock_guard<std::mutex> Lock(Mutex);
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
    return AUDIO_OK;
}

int32_t VirtualAudioDevice::RenderGetBuffer(uint64_t ullClient, uint32_t uiFrames, uint8_t** ppData)
{
    NotifyOnExit Notify(Changed);
    std::lock_guard<std::mutex> Lock(Mutex);
    const int32_t iResult = EnterStreamLocked(VirtualOperation::GetBuffer, ullClient);
    if (ppData != nullptr)
    {
        *ppData = nullptr;
    }
    if (iResult < 0)
    {
        return iResult;
    }
    if (ppData == nullptr)
    {
        return AUDIO_E_POINTER;
    }
    if (bBufferPending != 0)
    {
        return AUDIO_E_OUT_OF_ORDER;
    }
    UpdateClockLocked();
    if (uiFrames > Stream.uiBufferFrames - PaddingLocked())
    {
        return AUDIO_E_BUFFER_TOO_LARGE;
    }
    // Bytes the client leaves alone keep a pattern that no test signal produces by chance.
    if (bRecordBytes != 0)
    {
        std::fill_n(Staging.begin(), static_cast<size_t>(uiFrames) * Stream.Format.nBlockAlign,
                    UNWRITTEN_BYTE);
    }
    *ppData = Staging.data();
    bBufferPending = 1;
    uiPendingFrames = uiFrames;
    return AUDIO_OK;
}

int32_t VirtualAudioDevice::RenderReleaseBuffer(uint64_t ullClient, uint32_t uiFrames, uint32_t uiFlags)
{
    NotifyOnExit Notify(Changed);
    std::lock_guard<std::mutex> Lock(Mutex);
    const int32_t iResult = EnterStreamLocked(VirtualOperation::ReleaseBuffer, ullClient);
    if (iResult < 0)
    {
        return iResult;
    }
    if (bBufferPending == 0)
    {
        return AUDIO_E_OUT_OF_ORDER;
    }
    if (uiFrames > uiPendingFrames)
    {
        return AUDIO_E_INVALID_SIZE;
    }
    if ((uiFlags & ~AUDIO_BUFFERFLAGS_SILENT) != 0)
    {
        return AUDIO_E_INVALIDARG;
    }
    const size_t ullBytes = static_cast<size_t>(uiFrames) * Stream.Format.nBlockAlign;
    const bool bSilent = (uiFlags & AUDIO_BUFFERFLAGS_SILENT) != 0;
    if (bRecordBytes != 0 && bSilent)
    {
        WrittenBytes.insert(WrittenBytes.end(), ullBytes, 0);
    }
    else if (bRecordBytes != 0)
    {
        WrittenBytes.insert(WrittenBytes.end(), Staging.begin(),
                            Staging.begin() + static_cast<ptrdiff_t>(ullBytes));
    }
    if (bSoundReleased == 0 && !bSilent)
    {
        const auto End = Staging.begin() + static_cast<ptrdiff_t>(ullBytes);
        const auto First = std::find_if(Staging.begin(), End, [](uint8_t uiByte) { return uiByte != 0; });
        if (First != End)
        {
            bSoundReleased = 1;
            SoundReleaseTime = std::chrono::steady_clock::now();
            ullFirstSoundFrame = Stream.ullWrittenFrames +
                                 static_cast<uint64_t>(First - Staging.begin()) / Stream.Format.nBlockAlign;
        }
    }
    bBufferPending = 0;
    uiPendingFrames = 0;
    Stream.ullWrittenFrames += uiFrames;
    if (Stream.bStarted == 0)
    {
        Stream.ullWrittenBeforeStart += uiFrames;
    }
    ++Stream.ullReleaseCount;
    ReleasedFrameCounts.push_back(uiFrames);
    return AUDIO_OK;
}

int32_t VirtualAudioDevice::CaptureGetBuffer(uint64_t ullClient, uint8_t** ppData, uint32_t* puiFrames,
                                             uint32_t* puiFlags)
{
    NotifyOnExit Notify(Changed);
    std::lock_guard<std::mutex> Lock(Mutex);
    const int32_t iResult = EnterStreamLocked(VirtualOperation::GetCaptureBuffer, ullClient);
    if (iResult < 0)
    {
        return iResult;
    }
    if (ppData == nullptr || puiFrames == nullptr || puiFlags == nullptr)
    {
        return AUDIO_E_POINTER;
    }
    if (bCapturePending != 0)
    {
        return AUDIO_E_OUT_OF_ORDER;
    }
    bCapturePending = 1;
    if (CapturePackets.empty())
    {
        *ppData = nullptr;
        *puiFrames = 0;
        *puiFlags = 0;
        return AUDIO_S_BUFFER_EMPTY;
    }
    CapturePacket& Packet = CapturePackets.front();
    *ppData = Packet.Bytes.data();
    *puiFrames = Packet.uiFrames;
    *puiFlags = Packet.uiFlags;
    return AUDIO_OK;
}

int32_t VirtualAudioDevice::CaptureReleaseBuffer(uint64_t ullClient, uint32_t uiFrames)
{
    NotifyOnExit Notify(Changed);
    std::lock_guard<std::mutex> Lock(Mutex);
    const int32_t iResult = EnterStreamLocked(VirtualOperation::ReleaseCaptureBuffer, ullClient);
    if (iResult < 0)
    {
        return iResult;
    }
    if (bCapturePending == 0)
    {
        return AUDIO_E_OUT_OF_ORDER;
    }
    const uint32_t uiPacketFrames = CapturePackets.empty() ? 0 : CapturePackets.front().uiFrames;
    if (uiFrames != 0 && uiFrames != uiPacketFrames)
    {
        return AUDIO_E_INVALID_SIZE;
    }
    if (uiFrames != 0)
    {
        CapturePackets.pop_front();
    }
    bCapturePending = 0;
    return AUDIO_OK;
}
