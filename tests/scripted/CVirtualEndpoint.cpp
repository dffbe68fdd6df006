#include "tests/scripted/CVirtualEndpoint.h"

#include "tests/scripted/CVirtualAudioClient.h"

#include <new>
#include <utility>

CVirtualEndpoint::CVirtualEndpoint(std::shared_ptr<VirtualAudioDevice> pTarget) : pDevice(std::move(pTarget))
{
    pDevice->ObjectCreated();
}

CVirtualEndpoint::~CVirtualEndpoint()
{
    pDevice->ObjectDestroyed();
}

int32_t CVirtualEndpoint::Activate(std::unique_ptr<SAudioClient>& pAudioClient)
{
    pAudioClient.reset();
    uint64_t ullClient = 0;
    const int32_t iResult = pDevice->EndpointActivate(&ullClient);
    if (iResult < 0)
    {
        return iResult;
    }
    pAudioClient.reset(new (std::nothrow) CVirtualAudioClient(pDevice, ullClient));
    return pAudioClient != nullptr ? AUDIO_OK : AUDIO_E_OUTOFMEMORY;
}

int32_t CVirtualEndpoint::GetFriendlyName(std::u16string& Name, int32_t& bIsText)
{
    Name.clear();
    bIsText = 0;
    return pDevice->EndpointGetFriendlyName(Name, bIsText);
}

int32_t CVirtualEndpoint::GetId(std::u16string& Id)
{
    Id.clear();
    return pDevice->EndpointGetId(Id);
}
