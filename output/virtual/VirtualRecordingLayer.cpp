#include "output/virtual/VirtualRecordingLayer.h"

#include "output/AudioClientConstants.h"
#include "output/CEndpointEnumerator.h"
#include "output/virtual/VirtualDeviceStream.h"

#include <new>
#include <utility>

VirtualRecordingLayer::VirtualRecordingLayer(std::u16string RecordingPath)
    : pDevice(std::make_shared<VirtualOutputDevice>(std::move(RecordingPath)))
{
}

// The one virtual output is the default endpoint and the whole list.
int32_t VirtualRecordingLayer::CreateDeviceEnumerator(std::unique_ptr<SAudioDeviceEnumerator>& pEnumerator)
{
    const auto MakeEndpoint = [Device = pDevice]
    {
        return VirtualDeviceStream::MakeEndpoint(Device, VirtualOutputDevice::FRIENDLY_NAME,
                                                 VirtualOutputDevice::ENDPOINT_ID);
    };
    pEnumerator.reset(new (std::nothrow) CEndpointEnumerator(
        [MakeEndpoint](std::unique_ptr<SAudioEndpoint>& pEndpoint)
        {
            pEndpoint = MakeEndpoint();
            return AUDIO_OK;
        },
        [MakeEndpoint] { return std::vector<CEndpointCollection::EndpointMaker>{MakeEndpoint}; }));
    return pEnumerator != nullptr ? AUDIO_OK : AUDIO_E_OUTOFMEMORY;
}
