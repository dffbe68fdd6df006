#include "output/wasapi/CWasapiDeviceEnumerator.h"

#include "output/AudioClientConstants.h"
#include "output/wasapi/CWasapiEndpoint.h"
#include "output/wasapi/CWasapiEndpointCollection.h"

#include <new>
#include <utility>

CWasapiDeviceEnumerator::CWasapiDeviceEnumerator(ComPointer<IMMDeviceEnumerator> pEnumerator)
    : pNative(std::move(pEnumerator))
{
}

int32_t CWasapiDeviceEnumerator::GetDefaultAudioEndpoint(std::unique_ptr<SAudioEndpoint>& pEndpoint)
{
    pEndpoint.reset();
    ComPointer<IMMDevice> pDevice;
    const HRESULT hResult = pNative->GetDefaultAudioEndpoint(eRender, eConsole, pDevice.Receive());
    if (FAILED(hResult))
    {
        return hResult;
    }
    pEndpoint.reset(new (std::nothrow) CWasapiEndpoint(std::move(pDevice)));
    return pEndpoint != nullptr ? hResult : AUDIO_E_OUTOFMEMORY;
}

int32_t CWasapiDeviceEnumerator::EnumAudioEndpoints(std::unique_ptr<SAudioEndpointCollection>& pCollection)
{
    pCollection.reset();
    ComPointer<IMMDeviceCollection> pDevices;
    const HRESULT hResult = pNative->EnumAudioEndpoints(eRender, DEVICE_STATE_ACTIVE, pDevices.Receive());
    if (FAILED(hResult))
    {
        return hResult;
    }
    pCollection.reset(new (std::nothrow) CWasapiEndpointCollection(std::move(pDevices)));
    return pCollection != nullptr ? hResult : AUDIO_E_OUTOFMEMORY;
}
