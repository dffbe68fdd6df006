#include "output/alsa/CAlsaDeviceEnumerator.h"

#include "output/AudioClientConstants.h"
#include "output/alsa/AlsaDeviceList.h"
#include "output/alsa/CAlsaEndpoint.h"
#include "output/alsa/CAlsaEndpointCollection.h"

int32_t CAlsaDeviceEnumerator::GetDefaultAudioEndpoint(std::unique_ptr<SAudioEndpoint>& pEndpoint)
{
    pEndpoint = std::make_unique<CAlsaEndpoint>(DefaultAlsaEndpoint());
    return AUDIO_OK;
}

int32_t CAlsaDeviceEnumerator::EnumAudioEndpoints(std::unique_ptr<SAudioEndpointCollection>& pCollection)
{
    std::vector<AlsaEndpointInfo> Endpoints;
    ListAlsaEndpoints(Endpoints);
    pCollection = std::make_unique<CAlsaEndpointCollection>(std::move(Endpoints));
    return AUDIO_OK;
}
