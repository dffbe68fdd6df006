#include "output/virtual/CVirtualOutputEnumerator.h"

#include "output/AudioClientConstants.h"
#include "output/virtual/CVirtualOutputCollection.h"
#include "output/virtual/CVirtualOutputEndpoint.h"

#include <new>
#include <utility>

CVirtualOutputEnumerator::CVirtualOutputEnumerator(std::shared_ptr<VirtualOutputDevice> pTarget)
    : pDevice(std::move(pTarget))
{
}

int32_t CVirtualOutputEnumerator::GetDefaultAudioEndpoint(std::unique_ptr<SAudioEndpoint>& pEndpoint)
{
    pEndpoint.reset(new (std::nothrow) CVirtualOutputEndpoint(pDevice));
    return pEndpoint != nullptr ? AUDIO_OK : AUDIO_E_OUTOFMEMORY;
}

int32_t CVirtualOutputEnumerator::EnumAudioEndpoints(std::unique_ptr<SAudioEndpointCollection>& pCollection)
{
    pCollection.reset(new (std::nothrow) CVirtualOutputCollection(pDevice));
    return pCollection != nullptr ? AUDIO_OK : AUDIO_E_OUTOFMEMORY;
}
