#pragma once
#include "output/SAudioClientLayer.h"
#include "output/pulse/PulseServerConnection.h"

#include <memory>
#include <mutex>

// The audio-client layer of a Linux desktop: the sound server's sinks, when a server answers the
// PulseAudio protocol, for shared mode, and the ALSA hardware for exclusive mode; ALSA alone when
// no server answers. The layer keeps one connection to the server for everything it hands out, so
// the device list, a whole device ladder and the stream share it. Whenever it has none (no server
// answered, or the one it had has gone) a new enumerator asks the server again: nothing it learnt
// is kept for a while.
//
// The outputs, with a sound server: its sinks in the server's order (the default endpoint is its
// default sink), then the cards' devices no sink plays on, then the configured outputs. Without
// one: ALSA's "default" as the default endpoint, the cards' devices and the configured outputs.
class CLinuxAudioLayer : public SAudioClientLayer
{
public:
    CLinuxAudioLayer();

    int32_t InitializeThread() override;
    void UninitializeThread() override;
    int32_t CreateDeviceEnumerator(std::unique_ptr<SAudioDeviceEnumerator>& pEnumerator) override;

private:
    // The standing connection; null when no server answers.
    std::shared_ptr<PulseServerConnection> ServerConnection();

    std::mutex Mutex;
    std::shared_ptr<PulseServerConnection> pConnection;
};
