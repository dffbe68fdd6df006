#include "output/virtual/CVirtualOutputEnumerator.h"

#include "output/AudioClientConstants.h"
#include "output/CEndpointCollection.h"
#include "output/virtual/VirtualDeviceStream.h"

#include <new>
#include <utility>

CVirtualOutputEnumerator::CVirtualOutputEnumerator(std::shared_ptr<VirtualOutputDevice> pTarget)
    : pDevice(std::move(pTarget))
{
}

int32_t CVirtualOutputEnumerator::GetDefaultAudioEndpoint(std::unique_ptr<SAudioEndpoint>& pEndpoint)
{
    pEndpoint = VirtualDeviceStream::MakeEndpoint(pDevice, VirtualOutputDevice::FRIENDLY_NAME,
                                                  VirtualOutputDevice::ENDPOINT_ID);
    return pEndpoint != nullptr ? AUDIO_OK : AUDIO_E_OUTOFMEMORY;
}

int32_t CVirtualOutputEnumerator::EnumAudioEndpoints(std::unique_ptr<SAudioEndpointCollection>& pCollection)
{
    std::vector<CEndpointCollection::EndpointMaker> Items;
    Items.push_back(
        [Device = pDevice]
        {
            return VirtualDeviceStream::MakeEndpoint(Device, VirtualOutputDevice::FRIENDLY_NAME,
                                                     VirtualOutputDevice::ENDPOINT_ID);
        });
    pCollection.reset(new (std::nothrow) CEndpointCollection(std::move(Items)));
    return pCollection != nullptr ? AUDIO_OK : AUDIO_E_OUTOFMEMORY;
}
