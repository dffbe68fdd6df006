#include "output/virtual/CVirtualOutputEndpoint.h"

#include "output/AudioClientConstants.h"
#include "output/virtual/CVirtualOutputClient.h"

#include <new>
#include <utility>

CVirtualOutputEndpoint::CVirtualOutputEndpoint(std::shared_ptr<VirtualOutputDevice> pTarget)
    : pDevice(std::move(pTarget))
{
}

int32_t CVirtualOutputEndpoint::Activate(std::unique_ptr<SAudioClient>& pAudioClient)
{
    pAudioClient.reset(new (std::nothrow) CVirtualOutputClient(pDevice, pDevice->Activate()));
    return pAudioClient != nullptr ? AUDIO_OK : AUDIO_E_OUTOFMEMORY;
}

int32_t CVirtualOutputEndpoint::GetFriendlyName(std::u16string& Name, int32_t& bIsText)
{
    Name = VirtualOutputDevice::FRIENDLY_NAME;
    bIsText = 1;
    return AUDIO_OK;
}

int32_t CVirtualOutputEndpoint::GetId(std::u16string& Id)
{
    Id = VirtualOutputDevice::ENDPOINT_ID;
    return AUDIO_OK;
}
