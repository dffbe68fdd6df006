#include "output/virtual/CVirtualOutputEnumerator.h"

#include "output/AudioClientConstants.h"
#include "output/CEndpointCollection.h"
#include "output/virtual/VirtualOutputStream.h"

#include <new>
#include <utility>

CVirtualOutputEnumerator::CVirtualOutputEnumerator(std::shared_ptr<VirtualOutputDevice> pTarget)
    : pDevice(std::move(pTarget))
{
}

int32_t CVirtualOutputEnumerator::GetDefaultAudioEndpoint(std::unique_ptr<SAudioEndpoint>& pEndpoint)
{
    pEndpoint = VirtualOutputStream::MakeEndpoint(pDevice);
    return pEndpoint != nullptr ? AUDIO_OK : AUDIO_E_OUTOFMEMORY;
}

int32_t CVirtualOutputEnumerator::EnumAudioEndpoints(std::unique_ptr<SAudioEndpointCollection>& pCollection)
{
    std::vector<CEndpointCollection::EndpointMaker> Items;
    Items.push_back([Device = pDevice] { return VirtualOutputStream::MakeEndpoint(Device); });
    pCollection.reset(new (std::nothrow) CEndpointCollection(std::move(Items)));
    return pCollection != nullptr ? AUDIO_OK : AUDIO_E_OUTOFMEMORY;
}
