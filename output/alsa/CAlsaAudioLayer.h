#pragma once
#include "output/SAudioClientLayer.h"

// The audio-client layer over ALSA (libasound).
class CAlsaAudioLayer : public SAudioClientLayer
{
public:
    // Quiets ALSA's own error printing (see QuietAlsaErrorOutput).
    CAlsaAudioLayer();

    int32_t InitializeThread() override;
    void UninitializeThread() override;
    int32_t CreateDeviceEnumerator(std::unique_ptr<SAudioDeviceEnumerator>& pEnumerator) override;
};
