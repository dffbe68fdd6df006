#pragma once
#include "output/SAudioDeviceEnumerator.h"

// Finds ALSA output endpoints: "default", the cards' playback devices and the hinted PCMs.
class CAlsaDeviceEnumerator : public SAudioDeviceEnumerator
{
public:
    int32_t GetDefaultAudioEndpoint(std::unique_ptr<SAudioEndpoint>& pEndpoint) override;
    int32_t EnumAudioEndpoints(std::unique_ptr<SAudioEndpointCollection>& pCollection) override;
};
