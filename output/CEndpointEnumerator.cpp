#include "output/CEndpointEnumerator.h"

#include "output/AudioClientConstants.h"

#include <new>
#include <utility>

CEndpointEnumerator::CEndpointEnumerator(DefaultFinder FindDefault, ListFinder ListActive)
    : FindDefaultEndpoint(std::move(FindDefault)), ListEndpoints(std::move(ListActive))
{
}

int32_t CEndpointEnumerator::GetDefaultAudioEndpoint(std::unique_ptr<SAudioEndpoint>& pEndpoint)
{
    pEndpoint.reset();
    const int32_t iResult = FindDefaultEndpoint(pEndpoint);
    if (iResult < 0)
    {
        pEndpoint.reset();
        return iResult;
    }
    return pEndpoint != nullptr ? AUDIO_OK : AUDIO_E_OUTOFMEMORY;
}

int32_t CEndpointEnumerator::EnumAudioEndpoints(std::unique_ptr<SAudioEndpointCollection>& pCollection)
{
    pCollection.reset(new (std::nothrow) CEndpointCollection(ListEndpoints()));
    return pCollection != nullptr ? AUDIO_OK : AUDIO_E_OUTOFMEMORY;
}
