#include "tests/scripted/CVirtualDeviceEnumerator.h"

#include "tests/scripted/CVirtualAudioLayer.h"
#include "tests/scripted/CVirtualEndpoint.h"
#include "tests/scripted/CVirtualEndpointCollection.h"

#include <new>

CVirtualDeviceEnumerator::CVirtualDeviceEnumerator(CVirtualAudioLayer* pOwner) : pLayer(pOwner) {}

int32_t CVirtualDeviceEnumerator::GetDefaultAudioEndpoint(std::unique_ptr<SAudioEndpoint>& pEndpoint)
{
    pEndpoint.reset();
    const int32_t iResult = pLayer->EnterOperation(VirtualOperation::GetDefaultAudioEndpoint);
    if (iResult < 0)
    {
        return iResult;
    }
    std::shared_ptr<VirtualAudioDevice> pDevice = pLayer->GetDefaultDevice();
    if (pDevice == nullptr)
    {
        return AUDIO_E_NOTFOUND;
    }
    pEndpoint.reset(new (std::nothrow) CVirtualEndpoint(pDevice));
    return pEndpoint != nullptr ? AUDIO_OK : AUDIO_E_OUTOFMEMORY;
}

int32_t CVirtualDeviceEnumerator::EnumAudioEndpoints(std::unique_ptr<SAudioEndpointCollection>& pCollection)
{
    pCollection.reset();
    const int32_t iResult = pLayer->EnterOperation(VirtualOperation::EnumAudioEndpoints);
    if (iResult < 0)
    {
        return iResult;
    }
    pCollection.reset(new (std::nothrow) CVirtualEndpointCollection(pLayer, pLayer->GetActiveDevices()));
    return pCollection != nullptr ? AUDIO_OK : AUDIO_E_OUTOFMEMORY;
}
