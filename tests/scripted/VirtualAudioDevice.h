#pragma once
#include "output/AudioClientConstants.h"
#include "output/AudioStreamFormat.h"
#include "output/virtual/VirtualDeviceCore.h"
#include "tests/scripted/VirtualFaultScript.h"

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

// A scriptable output endpoint for tests, usable on every platform. The test says which formats it
// accepts in which share mode, its periods, how it grants buffer sizes and when operations fail;
// it then advances the device clock itself (or lets it run in real time) and reads back every byte
// the render client released, with the format. The script and the faults are the hooks of the core
// the programs' virtual output is built on too; all its state sits behind the core's lock, so any
// thread may call it.
class VirtualAudioDevice : public VirtualDeviceCore, public VirtualFaultScript
{
public:
    VirtualAudioDevice();
    ~VirtualAudioDevice() override;

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
    // The device goes away: it leaves the enumeration and every call on it fails as invalidated.
    void Vanish();
    int32_t IsActive() const;
    // A packet the capture client will hand out (frames of the initialised format).
    void QueueCapturePacket(const std::vector<uint8_t>& Bytes, uint32_t uiFrames, uint32_t uiFlags);

    // Clock: while started, plays up to ullFrames queued frames (the rest counts as underrun) and
    // sets the stream's event. Returns the frames played; 0 while stopped.
    uint64_t Advance(uint64_t ullFrames);

    // Observation.
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
    // Wait until the condition holds, at most uiTimeoutMs; false on time-out.
    bool WaitForWrittenFrames(uint64_t ullFrames, uint32_t uiTimeoutMs) const;
    bool WaitForCallCount(VirtualOperation Operation, uint64_t ullCalls, uint32_t uiTimeoutMs) const;

    // The endpoint's properties, counted and failed like the other operations.
    int32_t GetEndpointName(std::u16string& Name, int32_t& bIsText);
    int32_t GetEndpointId(std::u16string& Id);

    int32_t GetCaptureBuffer(uint64_t ullClient, uint8_t** ppData, uint32_t* puiFrames,
                             uint32_t* puiFlags) override;
    int32_t ReleaseCaptureBuffer(uint64_t ullClient, uint32_t uiFrames) override;

protected:
    // Counts the call; then invalidated when vanished, else the planned failure, else AUDIO_OK.
    int32_t EnterLocked(VirtualOperation Operation) override;
    int32_t EnterThreadLocked(VirtualOperation Operation) override;
    bool AcceptsLocked(uint32_t uiShareMode, const AudioStreamFormat& Format) const override;
    int32_t OfferClosestMatchLocked(const AudioStreamFormat& Format,
                                    AudioStreamFormat* pClosestMatch) override;
    void ProbedLocked(uint32_t uiShareMode, const AudioStreamFormat& Format, AudioStreamFormat* pClosestMatch,
                      int32_t iResult) override;
    int32_t GrantLocked(uint64_t& ullFrames, const AudioStreamFormat& Format) override;
    void StreamInitializedLocked() override;
    bool HasCaptureService() const override { return true; }
    void UpdateClockLocked() override;
    int32_t StartLocked() override;
    void ClientGoneLocked() override;
    void BufferHandedOutLocked(uint8_t* pData, uint32_t uiFrames) override;
    void ReleasedLocked(const uint8_t* pBytes, size_t ullBytes, uint32_t uiFrames, bool bSilent) override;

private:
    struct CapturePacket
    {
        std::vector<uint8_t> Bytes;
        uint32_t uiFrames;
        uint32_t uiFlags;
    };

    // Script.
    std::u16string FriendlyName = u"Virtual Output";
    int32_t bNameIsText = 1;
    std::u16string Identifier = u"{virtual.render.0}";
    std::set<std::tuple<uint32_t, uint32_t, uint32_t>> AcceptedFormats;
    std::set<std::tuple<uint32_t, uint32_t>> ClosestMatchFormats;
    uint32_t uiAlignmentFrames = 0;
    uint32_t uiMinimumFrames = 0;
    int32_t bRealTimeClock = 0;
    int32_t bVanished = 0;
    int32_t bRecordBytes = 1;

    // Records of the stream.
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
