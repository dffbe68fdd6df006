#pragma once
#include "output/SAudioClientLayer.h"

// The audio-client layer over ALSA (libasound): "default", the cards' playback devices and the
// hinted PCMs.
class CAlsaAudioLayer : public SAudioClientLayer
{
public:
    // Quiets ALSA's own error printing (see QuietErrorOutput).
    CAlsaAudioLayer();

    int32_t InitializeThread() override;
    void UninitializeThread() override;
    int32_t CreateDeviceEnumerator(std::unique_ptr<SAudioDeviceEnumerator>& pEnumerator) override;

    // ALSA prints its own complaint to standard error for every open or probe that fails, which the
    // device list and the device ladder do on purpose many times. Silences that for the whole
    // process, unless LARKSPUR_VERBOSE is set to something other than "" or "0". Safe to call more
    // than once.
    static void QuietErrorOutput();
};
