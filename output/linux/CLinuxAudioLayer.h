#pragma once
#include "output/SAudioClientLayer.h"
#include "output/linux/ConfiguredOutputList.h"
#include "output/pulse/PulseServerConnection.h"

#include <chrono>
#include <memory>
#include <mutex>

// The audio-client layer of a Linux desktop: the sound server's sinks, when a server answers the
// PulseAudio protocol, for shared mode, and the ALSA hardware for exclusive mode; ALSA alone when
// no server answers. The layer keeps one connection to the server for everything it hands out, so
// the device list, a whole device ladder and the stream share it; a connection that has gone is
// made again when next needed.
class CLinuxAudioLayer : public SAudioClientLayer
{
public:
    CLinuxAudioLayer();

    int32_t InitializeThread() override;
    void UninitializeThread() override;
    int32_t CreateDeviceEnumerator(std::unique_ptr<SAudioDeviceEnumerator>& pEnumerator) override;

    // A server that did not answer is asked again after this long at the earliest, so a device
    // ladder without a server does not knock on every step; the configuration's outputs are listed
    // again after this long too, so one ladder lists them once.
    static constexpr std::chrono::milliseconds RETRY_INTERVAL{1000};

private:
    // The standing connection; null when no server answers.
    std::shared_ptr<PulseServerConnection> ServerConnection();

    const std::shared_ptr<ConfiguredOutputList> pConfigured;
    std::mutex Mutex;
    std::shared_ptr<PulseServerConnection> pConnection;
    bool bRefused = false;
    std::chrono::steady_clock::time_point Refused{};
};
