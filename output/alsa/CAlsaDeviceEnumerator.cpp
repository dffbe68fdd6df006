#include "output/alsa/CAlsaDeviceEnumerator.h"

#include "output/AudioClientConstants.h"
#include "output/CEndpointCollection.h"
#include "output/alsa/AlsaDeviceList.h"
#include "output/alsa/AlsaPcmStream.h"

int32_t CAlsaDeviceEnumerator::GetDefaultAudioEndpoint(std::unique_ptr<SAudioEndpoint>& pEndpoint)
{
    pEndpoint = AlsaPcmStream::MakeEndpoint(DefaultAlsaEndpoint());
    return AUDIO_OK;
}

int32_t CAlsaDeviceEnumerator::EnumAudioEndpoints(std::unique_ptr<SAudioEndpointCollection>& pCollection)
{
    std::vector<AlsaEndpointInfo> Endpoints;
    ListAlsaEndpoints(Endpoints);
    std::vector<CEndpointCollection::EndpointMaker> Items;
    for (AlsaEndpointInfo& Endpoint : Endpoints)
    {
        Items.push_back([Info = std::move(Endpoint)] { return AlsaPcmStream::MakeEndpoint(Info); });
    }
    pCollection = std::make_unique<CEndpointCollection>(std::move(Items));
    return AUDIO_OK;
}
