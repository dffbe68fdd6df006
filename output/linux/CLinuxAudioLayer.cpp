#include "output/linux/CLinuxAudioLayer.h"

#include "output/AudioClientConstants.h"
#include "output/alsa/AlsaErrorOutput.h"
#include "output/linux/CLinuxDeviceEnumerator.h"

CLinuxAudioLayer::CLinuxAudioLayer()
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
    PulseServerConnection::Connect(pConnection);
    return pConnection;
}

int32_t CLinuxAudioLayer::CreateDeviceEnumerator(std::unique_ptr<SAudioDeviceEnumerator>& pEnumerator)
{
    pEnumerator = std::make_unique<CLinuxDeviceEnumerator>(ServerConnection());
    return AUDIO_OK;
}
