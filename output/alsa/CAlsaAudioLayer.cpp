#include "output/alsa/CAlsaAudioLayer.h"

#include "output/AudioClientConstants.h"
#include "output/alsa/AlsaErrorOutput.h"
#include "output/alsa/CAlsaDeviceEnumerator.h"

CAlsaAudioLayer::CAlsaAudioLayer()
{
    QuietAlsaErrorOutput();
}

// ALSA needs no per-thread set-up.
int32_t CAlsaAudioLayer::InitializeThread()
{
    return AUDIO_OK;
}

void CAlsaAudioLayer::UninitializeThread() {}

int32_t CAlsaAudioLayer::CreateDeviceEnumerator(std::unique_ptr<SAudioDeviceEnumerator>& pEnumerator)
{
    pEnumerator = std::make_unique<CAlsaDeviceEnumerator>();
    return AUDIO_OK;
}
