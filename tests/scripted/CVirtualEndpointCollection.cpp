#include "tests/scripted/CVirtualEndpointCollection.h"

#include "tests/scripted/CVirtualAudioLayer.h"
#include "tests/scripted/CVirtualEndpoint.h"

#include <new>
#include <utility>

CVirtualEndpointCollection::CVirtualEndpointCollection(
    CVirtualAudioLayer* pOwner, std::vector<std::shared_ptr<VirtualAudioDevice>> Active)
    : pLayer(pOwner), Devices(std::move(Active))
{
}

int32_t CVirtualEndpointCollection::GetCount(uint32_t* puiCount)
{
    const int32_t iResult = pLayer->EnterOperation(VirtualOperation::GetCount);
    if (iResult < 0)
    {
        return iResult;
    }
    if (puiCount == nullptr)
    {
        return AUDIO_E_POINTER;
    }
    *puiCount = static_cast<uint32_t>(Devices.size());
    return AUDIO_OK;
}

int32_t CVirtualEndpointCollection::Item(uint32_t uiIndex, std::unique_ptr<SAudioEndpoint>& pEndpoint)
{
    pEndpoint.reset();
    const int32_t iResult = pLayer->EnterOperation(VirtualOperation::Item);
    if (iResult < 0)
    {
        return iResult;
    }
    if (uiIndex >= Devices.size())
    {
        return AUDIO_E_INVALIDARG;
    }
    pEndpoint.reset(new (std::nothrow) CVirtualEndpoint(Devices[uiIndex]));
    return pEndpoint != nullptr ? AUDIO_OK : AUDIO_E_OUTOFMEMORY;
}
