#include "tests/scripted/VirtualAudioDevice.h"

#include "runtime/SEvent.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace
{
constexpr uint8_t UNWRITTEN_BYTE = 0xA5;

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

VirtualAudioDevice::VirtualAudioDevice() : VirtualFaultScript(Mutex) {}
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

void VirtualAudioDevice::Vanish()
{
    NotifyOnExit Notify(*this);
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
    NotifyOnExit Notify(*this);
    std::lock_guard<std::mutex> Lock(Mutex);
    if (ullStreamClient == 0 || Stream.bStarted == 0)
    {
        return 0;
    }
    return PlayLocked(ullFrames, nullptr);
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

int32_t VirtualAudioDevice::EnterThreadLocked(VirtualOperation Operation)
{
    return Faults.Enter(Operation);
}

bool VirtualAudioDevice::AcceptsLocked(uint32_t uiShareMode, const AudioStreamFormat& Format) const
{
    return IsWellFormedStereoPcm(Format) &&
           AcceptedFormats.count({uiShareMode, Format.nSamplesPerSec, Format.wBitsPerSample}) != 0;
}

int32_t VirtualAudioDevice::OfferClosestMatchLocked(const AudioStreamFormat& Format,
                                                    AudioStreamFormat* pClosestMatch)
{
    if (!IsWellFormedStereoPcm(Format) ||
        ClosestMatchFormats.count({Format.nSamplesPerSec, Format.wBitsPerSample}) == 0)
    {
        return AUDIO_E_UNSUPPORTED_FORMAT;
    }
    // What a mixing engine would rather have: 32-bit float at the same rate.
    AudioStreamFormat Closest = Format;
    Closest.wBitsPerSample = 32;
    Closest.wValidBitsPerSample = 32;
    Closest.nBlockAlign = 8;
    Closest.nAvgBytesPerSec = Closest.nSamplesPerSec * 8;
    Closest.SubFormat = AUDIO_SUBTYPE_IEEE_FLOAT;
    *pClosestMatch = Closest;
    return AUDIO_S_CLOSEST_MATCH;
}

void VirtualAudioDevice::ProbedLocked(uint32_t uiShareMode, const AudioStreamFormat& Format,
                                      AudioStreamFormat* pClosestMatch, int32_t iResult)
{
    Probes.push_back(VirtualFormatProbe{uiShareMode, Format, pClosestMatch != nullptr ? 1 : 0, iResult});
}

int32_t VirtualAudioDevice::GrantLocked(uint64_t& ullFrames, const AudioStreamFormat& Format)
{
    ullFrames = std::max<uint64_t>(ullFrames, uiMinimumFrames);
    if (uiAlignmentFrames > 1)
    {
        ullFrames = (ullFrames + uiAlignmentFrames - 1) / uiAlignmentFrames * uiAlignmentFrames;
    }
    return ullFrames > 0x7FFFFFFF / Format.nBlockAlign ? AUDIO_E_BUFFER_TOO_LARGE : AUDIO_OK;
}

void VirtualAudioDevice::StreamInitializedLocked()
{
    bCapturePending = 0;
    WrittenBytes.clear();
    // A second of sound, so that the render thread rarely makes the record grow.
    if (bRecordBytes != 0)
    {
        WrittenBytes.reserve(static_cast<size_t>(Stream.Format.nAvgBytesPerSec));
    }
    bSoundReleased = 0;
    bSoundPlayed = 0;
    ullFirstSoundFrame = 0;
    ReleasedFrameCounts.clear();
    ullClockFramesAccounted = 0;
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
        PlayLocked(ullTotal - ullClockFramesAccounted, nullptr);
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

int32_t VirtualAudioDevice::StartLocked()
{
    StartTime = std::chrono::steady_clock::now();
    ullClockFramesAccounted = 0;
    return AUDIO_OK;
}

void VirtualAudioDevice::ClientGoneLocked()
{
    bCapturePending = 0;
}

void VirtualAudioDevice::BufferHandedOutLocked(uint8_t* pData, uint32_t uiFrames)
{
    // Bytes the client leaves alone keep a pattern that no test signal produces by chance.
    if (bRecordBytes != 0)
    {
        std::fill_n(pData, static_cast<size_t>(uiFrames) * Stream.Format.nBlockAlign, UNWRITTEN_BYTE);
    }
}

void VirtualAudioDevice::ReleasedLocked(const uint8_t* pBytes, size_t ullBytes, uint32_t uiFrames,
                                        bool bSilent)
{
    if (bRecordBytes != 0)
    {
        WrittenBytes.insert(WrittenBytes.end(), pBytes, pBytes + ullBytes);
    }
    if (bSoundReleased == 0 && !bSilent)
    {
        const uint8_t* pEnd = pBytes + ullBytes;
        const uint8_t* pFirst = std::find_if(pBytes, pEnd, [](uint8_t uiByte) { return uiByte != 0; });
        if (pFirst != pEnd)
        {
            bSoundReleased = 1;
            SoundReleaseTime = std::chrono::steady_clock::now();
            ullFirstSoundFrame =
                Stream.ullWrittenFrames + static_cast<uint64_t>(pFirst - pBytes) / Stream.Format.nBlockAlign;
        }
    }
    ReleasedFrameCounts.push_back(uiFrames);
}

int32_t VirtualAudioDevice::GetEndpointName(std::u16string& Name, int32_t& bIsText)
{
    NotifyOnExit Notify(*this);
    std::lock_guard<std::mutex> Lock(Mutex);
    const int32_t iResult = EnterLocked(VirtualOperation::GetFriendlyName);
    if (iResult >= 0)
    {
        Name = FriendlyName;
        bIsText = bNameIsText;
    }
    return iResult;
}

int32_t VirtualAudioDevice::GetEndpointId(std::u16string& Id)
{
    NotifyOnExit Notify(*this);
    std::lock_guard<std::mutex> Lock(Mutex);
    const int32_t iResult = EnterLocked(VirtualOperation::GetId);
    if (iResult >= 0)
    {
        Id = Identifier;
    }
    return iResult;
}

int32_t VirtualAudioDevice::GetCaptureBuffer(uint64_t ullClient, uint8_t** ppData, uint32_t* puiFrames,
                                             uint32_t* puiFlags)
{
    NotifyOnExit Notify(*this);
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

int32_t VirtualAudioDevice::ReleaseCaptureBuffer(uint64_t ullClient, uint32_t uiFrames)
{
    NotifyOnExit Notify(*this);
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
