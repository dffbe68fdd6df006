#pragma once
#include "output/SAudioDeviceEnumerator.h"

class CVirtualAudioLayer;

// The endpoint enumerator of the virtual back end.
class CVirtualDeviceEnumerator : public SAudioDeviceEnumerator
{
public:
    explicit CVirtualDeviceEnumerator(CVirtualAudioLayer* pLayer);

    int32_t GetDefaultAudioEndpoint(std::unique_ptr<SAudioEndpoint>& pEndpoint) override;
    int32_t EnumAudioEndpoints(std::unique_ptr<SAudioEndpointCollection>& pCollection) override;

private:
    CVirtualAudioLayer* pLayer;
};
