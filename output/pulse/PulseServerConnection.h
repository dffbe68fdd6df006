#pragma once
#include "output/AudioStreamFormat.h"
#include "runtime/CNonCopyable.h"

#include <pulse/pulseaudio.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// What the sound server tells about one of its output sinks.
struct PulseSinkInfo
{
    // The sink's name: its identifier on the server, stable while it exists.
    std::string Name;
    // The name the desktop's volume control shows (UTF-8).
    std::string Description;
    // The sink's own format: the rate it runs at, its channels, its sample format.
    AudioStreamFormat Format{};
    // The sound card and device behind it, from its ALSA properties; -1 when it has none (a
    // Bluetooth, network or null sink).
    int32_t iAlsaCard = -1;
    int32_t iAlsaDevice = -1;
};

// One connection to a sound server that speaks the PulseAudio protocol (PulseAudio itself, or
// PipeWire's service for it), with the client library's own thread. The device list, the format
// probes of a whole device ladder and the stream share it, so a playback start connects at most
// once. Never starts a server. Every call of the client library on the connection's objects holds
// its loop's lock (PulseLock); the waits below time out, so a server that hangs cannot hold the
// player for ever.
class PulseServerConnection : private CNonCopyable
{
public:
    // Connects to the server the environment names, or the user's own. AUDIO_OK with the connection;
    // AUDIO_E_NOTFOUND when none answers in time, AUDIO_E_OUTOFMEMORY.
    static int32_t Connect(std::shared_ptr<PulseServerConnection>& pConnection);
    ~PulseServerConnection();

    // True while the server is still there.
    bool IsConnected();
    // The server's default sink. AUDIO_E_NOTFOUND when it has none; AUDIO_E_DEVICE_INVALIDATED when
    // the connection has gone.
    int32_t GetDefaultSink(PulseSinkInfo& Sink);
    // Every sink, in the server's order.
    int32_t ListSinks(std::vector<PulseSinkInfo>& Sinks);
    // The sink of that name: AUDIO_E_DEVICE_INVALIDATED when it (or the connection) has gone.
    int32_t FindSink(const std::string& Name, PulseSinkInfo& Sink);

    pa_threaded_mainloop* GetMainloop() const { return pMainloop; }
    pa_context* GetContext() const { return pContext; }
    // With the lock held once (a wait releases it only once, so a caller that holds it twice would
    // stop the loop): waits until Done() holds, uiMilliseconds have passed or the connection failed;
    // Done() afterwards. The queries above take the lock themselves and must be called without it.
    bool Wait(const std::function<bool()>& Done, uint32_t uiMilliseconds);
    // With the lock held: waits for the operation (cancelled when it takes too long) and releases it.
    // True when it completed.
    bool Complete(pa_operation* pOperation);

    // How long the player waits for the server at most, per request.
    static constexpr uint32_t REQUEST_TIMEOUT_MS = 2000;

private:
    pa_threaded_mainloop* pMainloop = nullptr;
    pa_context* pContext = nullptr;
};

// Holds the lock of a connection's loop for a scope (the lock is recursive).
class PulseLock : private CNonCopyable
{
public:
    explicit PulseLock(pa_threaded_mainloop* pLoop) : pMainloop(pLoop)
    {
        pa_threaded_mainloop_lock(pMainloop);
    }
    ~PulseLock() { pa_threaded_mainloop_unlock(pMainloop); }

private:
    pa_threaded_mainloop* pMainloop;
};
