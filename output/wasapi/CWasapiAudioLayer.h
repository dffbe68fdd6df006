#pragma once
#include "output/SAudioClientLayer.h"

// The audio-client layer over the Windows audio session API: COM per thread, apartment-threaded,
// and the in-process endpoint enumerator.
class CWasapiAudioLayer : public SAudioClientLayer
{
public:
    CWasapiAudioLayer() = default;

    int32_t InitializeThread() override;
    void UninitializeThread() override;
    int32_t CreateDeviceEnumerator(std::unique_ptr<SAudioDeviceEnumerator>& pEnumerator) override;
};
