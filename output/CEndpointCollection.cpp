#include "output/CEndpointCollection.h"

#include "output/AudioClientConstants.h"

#include <utility>

CEndpointCollection::CEndpointCollection(std::vector<EndpointMaker> Endpoints) : Items(std::move(Endpoints))
{
}

int32_t CEndpointCollection::GetCount(uint32_t* puiCount)
{
    if (puiCount == nullptr)
    {
        return AUDIO_E_POINTER;
    }
    *puiCount = static_cast<uint32_t>(Items.size());
    return AUDIO_OK;
}

int32_t CEndpointCollection::Item(uint32_t uiIndex, std::unique_ptr<SAudioEndpoint>& pEndpoint)
{
    pEndpoint.reset();
    if (uiIndex >= Items.size())
    {
        return AUDIO_E_INVALIDARG;
    }
    pEndpoint = Items[uiIndex]();
    return pEndpoint != nullptr ? AUDIO_OK : AUDIO_E_OUTOFMEMORY;
}
