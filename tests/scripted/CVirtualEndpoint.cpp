#include "tests/scripted/CVirtualEndpoint.h"

#include "output/CStreamAudioClient.h"
#include "output/virtual/VirtualDeviceStream.h"

#include <new>
#include <utility>

CVirtualEndpoint::CVirtualEndpoint(std::shared_ptr<VirtualAudioDevice> pTarget) : pDevice(std::move(pTarget))
{
    pDevice->ViewOpened();
}

CVirtualEndpoint::~CVirtualEndpoint()
{
    pDevice->ViewClosed(0, AudioStreamView::Client);
}

int32_t CVirtualEndpoint::Activate(std::unique_ptr<SAudioClient>& pAudioClient)
{
    pAudioClient.reset();
    std::shared_ptr<SAudioStream> pStream;
    const int32_t iResult = VirtualDeviceStream::Open(pDevice, pStream);
    if (iResult < 0)
    {
        return iResult;
    }
    pAudioClient.reset(new (std::nothrow) CStreamAudioClient(std::move(pStream)));
    return pAudioClient != nullptr ? AUDIO_OK : AUDIO_E_OUTOFMEMORY;
}

int32_t CVirtualEndpoint::GetFriendlyName(std::u16string& Name, int32_t& bIsText)
{
    Name.clear();
    bIsText = 0;
    return pDevice->GetEndpointName(Name, bIsText);
}

int32_t CVirtualEndpoint::GetId(std::u16string& Id)
{
    Id.clear();
    return pDevice->GetEndpointId(Id);
}
