#include "output/linux/CLinuxAudioLayer.h"

#include "output/AudioClientConstants.h"
#include "output/alsa/AlsaErrorOutput.h"
#include "output/linux/CLinuxDeviceEnumerator.h"

CLinuxAudioLayer::CLinuxAudioLayer() : pConfigured(std::make_shared<ConfiguredOutputList>(RETRY_INTERVAL))
{
    QuietAlsaErrorOutput();
}

// Neither library needs per-thread set-up.
int32_t CLinuxAudioLayer::InitializeThread()
{
    return AUDIO_OK;
}

void CLinuxAudioLayer::UninitializeThread() {}

std::shared_ptr<PulseServerConnection> CLinuxAudioLayer::ServerConnection()
{
    std::lock_guard<std::mutex> Lock(Mutex);
    if (pConnection != nullptr && pConnection->IsConnected())
    {
        return pConnection;
    }
    pConnection.reset();
    const auto Now = std::chrono::steady_clock::now();
    if (bRefused && Now - Refused < RETRY_INTERVAL)
    {
        return nullptr;
    }
    bRefused = PulseServerConnection::Connect(pConnection) < 0;
    Refused = Now;
    return pConnection;
}

int32_t CLinuxAudioLayer::CreateDeviceEnumerator(std::unique_ptr<SAudioDeviceEnumerator>& pEnumerator)
{
    pEnumerator = std::make_unique<CLinuxDeviceEnumerator>(ServerConnection(), pConfigured);
    return AUDIO_OK;
}
