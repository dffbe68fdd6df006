#include "output/wasapi/CWasapiEndpointCollection.h"

#include "output/AudioClientConstants.h"
#include "output/wasapi/CWasapiEndpoint.h"
#include "output/wasapi/WrapNative.h"

#include <utility>

CWasapiEndpointCollection::CWasapiEndpointCollection(ComPointer<IMMDeviceCollection> pCollection)
    : pNative(std::move(pCollection))
{
}

int32_t CWasapiEndpointCollection::GetCount(uint32_t* puiCount)
{
    if (puiCount == nullptr)
    {
        return AUDIO_E_POINTER;
    }
    UINT uiCount = 0;
    const HRESULT hResult = pNative->GetCount(&uiCount);
    *puiCount = SUCCEEDED(hResult) ? uiCount : 0;
    return hResult;
}

int32_t CWasapiEndpointCollection::Item(uint32_t uiIndex, std::unique_ptr<SAudioEndpoint>& pEndpoint)
{
    ComPointer<IMMDevice> pDevice;
    return WrapNative<CWasapiEndpoint>(pNative->Item(uiIndex, pDevice.Receive()), pDevice, pEndpoint);
}
