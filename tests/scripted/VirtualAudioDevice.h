#pragma once
#include "output/AudioClientConstants.h"
#include "output/AudioStreamFormat.h"
#include "tests/scripted/VirtualFaultPlan.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <set>
#include <string>
#include <tuple>
#include <vector>

class SEvent;

// One format probe as the device saw it.
struct VirtualFormatProbe
{
    uint32_t uiShareMode;
    AudioStreamFormat Format;
    int32_t bClosestMatchRequested;
    int32_t iResult;
};

// What the device knows about the stream last initialised on it.
struct VirtualStreamState
{
    int32_t bInitialized; // a stream was initialised (it stays visible after its client went)
    int32_t bOpen;        // ... and its client still exists
    uint32_t uiShareMode;
    uint32_t uiStreamFlags;
    int64_t hnsBufferDuration;
    int64_t hnsPeriodicity;
    AudioStreamFormat Format;
    uint32_t uiBufferFrames; // granted endpoint buffer
    int32_t bStarted;
    uint64_t ullWrittenFrames; // released by the render client, in total
    uint64_t ullWrittenBeforeStart;
    uint64_t ullPlayedFrames;   // taken out of the buffer by the clock
    uint64_t ullUnderrunFrames; // clock frames that found the buffer empty (played as silence)
    uint64_t ullReleaseCount;
};

// A scriptable output endpoint for tests, usable on every platform. The test says which formats it
// accepts in which share mode, its periods, how it grants buffer sizes and when operations fail;
// it then advances the device clock itself (or lets it run in real time) and reads back every byte
// the render client released, with the format. The C objects of this folder are views of one
// device; all its state sits behind one lock, so any thread may call it.
class VirtualAudioDevice
{
public:
    VirtualAudioDevice();
    ~VirtualAudioDevice();
    VirtualAudioDevice(const VirtualAudioDevice&) = delete;
    VirtualAudioDevice& operator=(const VirtualAudioDevice&) = delete;

    // Script. Formats are two-channel extensible integer PCM with the container full of valid bits.
    void SetFriendlyName(const std::u16string& Name);
    // The name property holds a value that is not text.
    void SetFriendlyNameNotText();
    void SetId(const std::u16string& Id);
    void AcceptFormat(uint32_t uiShareMode, uint32_t uiRate, uint32_t uiBits);
    // In shared mode the probe of this format offers a closest match, and initialisation refuses it.
    void OfferClosestMatch(uint32_t uiRate, uint32_t uiBits);
    void SetDevicePeriods(int64_t hnsDefaultPeriod, int64_t hnsMinimumPeriod);
    // Granted buffer: the duration in frames (rounded to nearest), at least uiMinimumFrames, rounded
    // up to a multiple of uiAlignmentFrames (0 or 1: no alignment).
    void SetBufferGrant(uint32_t uiAlignmentFrames, uint32_t uiMinimumFrames);
    // 1: the clock runs in real time while started. 0 (initially): only Advance moves it.
    void UseRealTimeClock(int32_t bRealTime);
    void FailAfter(VirtualOperation Operation, uint64_t ullSuccessfulCalls, int32_t iResult = AUDIO_E_FAIL);
    void Heal(VirtualOperation Operation);
    // The device goes away: it leaves the enumeration and every call on it fails as invalidated.
    void Vanish();
    int32_t IsActive() const;
    // A packet the capture client will hand out (frames of the initialised format).
    void QueueCapturePacket(const std::vector<uint8_t>& Bytes, uint32_t uiFrames, uint32_t uiFlags);

    // Clock: while started, plays up to ullFrames queued frames (the rest counts as underrun) and
    // sets the stream's event. Returns the frames played; 0 while stopped.
    uint64_t Advance(uint64_t ullFrames);

    // Observation.
    uint64_t GetCallCount(VirtualOperation Operation) const;
    VirtualStreamState GetStreamState() const;
    std::vector<uint8_t> GetWrittenBytes() const;
    std::vector<uint32_t> GetReleasedFrameCounts() const;
    std::vector<VirtualFormatProbe> GetProbes() const;
    // Drops the record of written bytes and release counts (long runs that need no record).
    void ForgetWrittenBytes();
    // 0: released bytes are neither recorded nor the staging block pre-marked, so measurements of
    // the render side see what a real device costs. 1 (initially): every byte is kept.
    void RecordWrittenBytes(int32_t bRecord);
    // When the first non-zero sample of the current stream was released, and when the real-time
    // clock played it (not before its release). false until the clock has played it.
    bool GetFirstSoundTimes(std::chrono::steady_clock::time_point& Released,
                            std::chrono::steady_clock::time_point& Played) const;
    // Endpoints, clients and services of this device that still exist.
    uint64_t GetLiveObjectCount() const;
    // Wait until the condition holds, at most uiTimeoutMs; false on time-out.
    bool WaitForWrittenFrames(uint64_t ullFrames, uint32_t uiTimeoutMs) const;
    bool WaitForCallCount(VirtualOperation Operation, uint64_t ullCalls, uint32_t uiTimeoutMs) const;

private:
    friend class CVirtualEndpoint;
    friend class CVirtualAudioClient;
    friend class CVirtualRenderClient;
    friend class CVirtualCaptureClient;

    struct CapturePacket
    {
        std::vector<uint8_t> Bytes;
        uint32_t uiFrames;
        uint32_t uiFlags;
    };

    // Counts the call; then invalidated when vanished, else the planned failure, else AUDIO_OK.
    int32_t EnterLocked(VirtualOperation Operation);
    // As EnterLocked, and the stream must be the one client ullClient initialised.
    int32_t EnterStreamLocked(VirtualOperation Operation, uint64_t ullClient);
    bool IsAcceptedLocked(uint32_t uiShareMode, const AudioStreamFormat& Format) const;
    void UpdateClockLocked();
    void PlayLocked(uint64_t ullFrames);
    uint32_t PaddingLocked() const
    {
        return static_cast<uint32_t>(Stream.ullWrittenFrames - Stream.ullPlayedFrames);
    }

    // Used by the views.
    void ObjectCreated();
    void ObjectDestroyed();
    int32_t EndpointActivate(uint64_t* pullClient);
    int32_t EndpointGetFriendlyName(std::u16string& Name, int32_t& bIsText);
    int32_t EndpointGetId(std::u16string& Id);
    int32_t ClientInitializeThread();
    void ClientUninitializeThread();
    void ClientDestroyed(uint64_t ullClient);
    int32_t ClientGetDevicePeriod(int64_t* phnsDefault, int64_t* phnsMinimum);
    int32_t ClientIsFormatSupported(uint32_t uiShareMode, const AudioStreamFormat* pFormat,
                                    AudioStreamFormat* pClosestMatch);
    int32_t ClientInitialize(uint64_t ullClient, uint32_t uiShareMode, uint32_t uiStreamFlags,
                             int64_t hnsBufferDuration, int64_t hnsPeriodicity,
                             const AudioStreamFormat* pFormat);
    int32_t ClientSetEventHandle(uint64_t ullClient, SEvent* pEvent);
    int32_t ClientGetBufferSize(uint64_t ullClient, uint32_t* puiFrames);
    int32_t ClientGetCurrentPadding(uint64_t ullClient, uint32_t* puiFrames);
    int32_t ClientGetService(uint64_t ullClient);
    int32_t ClientStart(uint64_t ullClient);
    int32_t ClientStop(uint64_t ullClient);
    int32_t RenderGetBuffer(uint64_t ullClient, uint32_t uiFrames, uint8_t** ppData);
    int32_t RenderReleaseBuffer(uint64_t ullClient, uint32_t uiFrames, uint32_t uiFlags);
    int32_t CaptureGetBuffer(uint64_t ullClient, uint8_t** ppData, uint32_t* puiFrames, uint32_t* puiFlags);
    int32_t CaptureReleaseBuffer(uint64_t ullClient, uint32_t uiFrames);

    mutable std::mutex Mutex;
    mutable std::condition_variable Changed;
    VirtualFaultPlan Faults;

    // Script.
    std::u16string FriendlyName = u"Virtual Output";
    int32_t bNameIsText = 1;
    std::u16string Identifier = u"{virtual.render.0}";
    std::set<std::tuple<uint32_t, uint32_t, uint32_t>> AcceptedFormats;
    std::set<std::tuple<uint32_t, uint32_t>> ClosestMatchFormats;
    int64_t hnsDefaultPeriod = 100000;
    int64_t hnsMinimumPeriod = 30000;
    uint32_t uiAlignmentFrames = 0;
    uint32_t uiMinimumFrames = 0;
    int32_t bRealTimeClock = 0;
    int32_t bVanished = 0;
    int32_t bRecordBytes = 1;

    // Objects and the stream.
    uint64_t ullLiveObjects = 0;
    uint64_t ullNextClient = 1;
    uint64_t ullStreamClient = 0; // the client whose stream is open; 0 none
    VirtualStreamState Stream{};
    SEvent* pEvent = nullptr;
    std::vector<uint8_t> Staging;
    uint32_t uiPendingFrames = 0;
    int32_t bBufferPending = 0;
    std::vector<uint8_t> WrittenBytes;
    std::vector<uint32_t> ReleasedFrameCounts;
    std::vector<VirtualFormatProbe> Probes;
    std::deque<CapturePacket> CapturePackets;
    int32_t bCapturePending = 0;
    std::chrono::steady_clock::time_point StartTime{};
    uint64_t ullClockFramesAccounted = 0;
    // The first non-zero sample of the stream: its frame, its release and the clock's play of it.
    int32_t bSoundReleased = 0;
    int32_t bSoundPlayed = 0;
    uint64_t ullFirstSoundFrame = 0;
    std::chrono::steady_clock::time_point SoundReleaseTime{};
    std::chrono::steady_clock::time_point SoundPlayTime{};
};
