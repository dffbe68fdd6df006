#pragma once
#include "output/AudioClientConstants.h"
#include "output/AudioStreamFormat.h"
#include "output/SAudioStream.h"
#include "output/StagingRenderBuffer.h"
#include "runtime/CNonCopyable.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

class SEvent;

// The operations of a virtual back end, by name: a virtual device counts its calls of them, and a
// scripted one can be made to fail them.
enum class VirtualOperation : uint32_t
{
    // Layer and enumeration.
    InitializeThread, // the layer's, or (on a device) the audio client's per-thread set-up
    UninitializeThread,
    CreateDeviceEnumerator,
    GetDefaultAudioEndpoint,
    EnumAudioEndpoints,
    GetCount,
    Item,
    // Endpoint.
    Activate,
    GetFriendlyName,
    GetId,
    // Audio client.
    GetDevicePeriod,
    IsFormatSupported,
    Initialize,
    SetEventHandle,
    GetBufferSize,
    GetCurrentPadding,
    GetService,
    Start,
    Stop,
    // Render and capture clients.
    GetBuffer,
    ReleaseBuffer,
    GetCaptureBuffer,
    ReleaseCaptureBuffer,
    Count
};

// What a virtual device knows about the stream last initialised on it.
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

// The core of a virtual output endpoint, which the programs' virtual output and the tests' scripted
// device are built on: one stream at a time, held by the client that initialised it; a device
// buffer the render client fills through the staging block and a clock empties; the checks a strict
// endpoint makes, in its order. What differs between devices comes from the hooks: which formats it
// takes, how it grants a buffer, its clock, what it does with the bytes it is given, whether a call
// fails. All its state sits behind one lock, which the hooks are called with; any thread may call
// it. VirtualDeviceStream is a client's view of it.
class VirtualDeviceCore : private CNonCopyable
{
public:
    virtual ~VirtualDeviceCore() = default;

    // The operations of the clients' streams, with the results the audio-client layer gives them. A
    // client is known by the serial Activate gave it.
    int32_t Activate(uint64_t& ullClient);
    int32_t InitializeThread();
    void UninitializeThread();
    int32_t GetDevicePeriod(int64_t* phnsDefault, int64_t* phnsMinimum);
    int32_t IsFormatSupported(uint32_t uiShareMode, const AudioStreamFormat* pFormat,
                              AudioStreamFormat* pClosestMatch);
    int32_t Initialize(uint64_t ullClient, uint32_t uiShareMode, uint32_t uiStreamFlags,
                       int64_t hnsBufferDuration, int64_t hnsPeriodicity, const AudioStreamFormat* pFormat);
    int32_t SetEventHandle(uint64_t ullClient, SEvent* pEvent);
    int32_t GetBufferSize(uint64_t ullClient, uint32_t* puiFrames);
    int32_t GetCurrentPadding(uint64_t ullClient, uint32_t* puiFrames);
    int32_t CheckStream(uint64_t ullClient);
    int32_t GetService(uint64_t ullClient, AudioStreamView View);
    int32_t Start(uint64_t ullClient);
    int32_t Stop(uint64_t ullClient);
    int32_t GetBuffer(uint64_t ullClient, uint32_t uiFrames, uint8_t** ppData);
    int32_t ReleaseBuffer(uint64_t ullClient, uint32_t uiFrames, uint32_t uiFlags);
    virtual int32_t GetCaptureBuffer(uint64_t ullClient, uint8_t** ppData, uint32_t* puiFrames,
                                     uint32_t* puiFlags);
    virtual int32_t ReleaseCaptureBuffer(uint64_t ullClient, uint32_t uiFrames);
    // A view of the device (an endpoint, a client, a service) was made or has gone; a client that
    // goes stops and closes its stream (ullClient 0: not a client's view).
    void ViewOpened();
    void ViewClosed(uint64_t ullClient, AudioStreamView View);

    VirtualStreamState GetStreamState() const;
    // Endpoints, clients and services of this device that still exist.
    uint64_t GetLiveObjectCount() const;

protected:
    // Hooks, called with the lock held. Counts the call of an operation; a failure to report
    // instead of doing it, or AUDIO_OK.
    virtual int32_t EnterLocked(VirtualOperation) { return AUDIO_OK; }
    // Per-thread set-up, which does not depend on the device being there.
    virtual int32_t EnterThreadLocked(VirtualOperation) { return AUDIO_OK; }
    // Whether a well-formed request for the format in the share mode is taken.
    virtual bool AcceptsLocked(uint32_t uiShareMode, const AudioStreamFormat& Format) const = 0;
    // The probe of a format not taken, in shared mode: AUDIO_S_CLOSEST_MATCH with *pClosestMatch, or
    // AUDIO_E_UNSUPPORTED_FORMAT.
    virtual int32_t OfferClosestMatchLocked(const AudioStreamFormat&, AudioStreamFormat*)
    {
        return AUDIO_E_UNSUPPORTED_FORMAT;
    }
    virtual void ProbedLocked(uint32_t, const AudioStreamFormat&, AudioStreamFormat*, int32_t) {}
    // The buffer granted for ullFrames asked for (at least 1); negative to refuse.
    virtual int32_t GrantLocked(uint64_t& ullFrames, const AudioStreamFormat& Format) = 0;
    virtual void StreamInitializedLocked() {}
    virtual bool HasCaptureService() const { return false; }
    // Brings the clock up to now: the frames due are played (PlayLocked).
    virtual void UpdateClockLocked() {}
    // The stream starts (AUDIO_OK, or a failure that leaves it stopped) or stops; Lock may be let go
    // of in between, to join a clock of its own.
    virtual int32_t StartLocked() { return AUDIO_OK; }
    virtual void StopLocked(std::unique_lock<std::mutex>&) {}
    virtual void ClientGoneLocked() {}
    // The render client handed out the staging block for uiFrames frames, and took it back with
    // uiFrames frames of bytes (zeros for silence), before the stream counts them.
    virtual void BufferHandedOutLocked(uint8_t*, uint32_t) {}
    virtual void ReleasedLocked(const uint8_t*, size_t, uint32_t, bool) {}

    // Counts the call; then AUDIO_E_NOT_INITIALIZED unless ullClient holds the stream.
    int32_t EnterStreamLocked(VirtualOperation Operation, uint64_t ullClient);
    uint32_t PaddingLocked() const
    {
        return static_cast<uint32_t>(Stream.ullWrittenFrames - Stream.ullPlayedFrames);
    }
    // While started: plays up to ullFrames queued frames, copying them to pTaken when given (the
    // rest counts as underrun), and sets the stream's event. The frames played.
    uint64_t PlayLocked(uint64_t ullFrames, uint8_t* pTaken);
    // Wakes the waiters on Changed once the lock has been let go of.
    class NotifyOnExit : private CNonCopyable
    {
    public:
        explicit NotifyOnExit(const VirtualDeviceCore& Core) : Target(Core.Changed) {}
        ~NotifyOnExit() { Target.notify_all(); }

    private:
        std::condition_variable& Target;
    };

    mutable std::mutex Mutex;
    mutable std::condition_variable Changed;
    int64_t hnsDefaultPeriod = AUDIO_DEFAULT_PERIOD_HNS;
    int64_t hnsMinimumPeriod = AUDIO_MINIMUM_PERIOD_HNS;
    uint64_t ullStreamClient = 0; // the client whose stream is open; 0 none
    VirtualStreamState Stream{};
    SEvent* pEvent = nullptr;

private:
    // The buffer size or, after the clock is brought up to now, the padding of the client's stream.
    int32_t ReportFrames(VirtualOperation Operation, uint64_t ullClient, uint32_t* puiFrames);

    uint64_t ullNextClient = 1;
    uint64_t ullLiveObjects = 0;
    StagingRenderBuffer Staging;
    // The device buffer: a ring of the stream's buffer frames, written and not yet played.
    std::vector<uint8_t> Ring;
};
