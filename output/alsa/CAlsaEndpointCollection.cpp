#include "output/alsa/CAlsaEndpointCollection.h"

#include "output/AudioClientConstants.h"
#include "output/alsa/CAlsaEndpoint.h"

#include <utility>

CAlsaEndpointCollection::CAlsaEndpointCollection(std::vector<AlsaEndpointInfo> Endpoints)
    : Items(std::move(Endpoints))
{
}

int32_t CAlsaEndpointCollection::GetCount(uint32_t* puiCount)
{
    if (puiCount == nullptr)
    {
        return AUDIO_E_POINTER;
    }
    *puiCount = static_cast<uint32_t>(Items.size());
    return AUDIO_OK;
}

int32_t CAlsaEndpointCollection::Item(uint32_t uiIndex, std::unique_ptr<SAudioEndpoint>& pEndpoint)
{
    pEndpoint.reset();
    if (uiIndex >= Items.size())
    {
        return AUDIO_E_INVALIDARG;
    }
    pEndpoint = std::make_unique<CAlsaEndpoint>(Items[uiIndex]);
    return AUDIO_OK;
}
