#include "output/wasapi/CWasapiDeviceEnumerator.h"

#include "output/AudioClientConstants.h"
#include "output/wasapi/CWasapiEndpoint.h"
#include "output/wasapi/CWasapiEndpointCollection.h"
#include "output/wasapi/WrapNative.h"

#include <utility>

CWasapiDeviceEnumerator::CWasapiDeviceEnumerator(ComPointer<IMMDeviceEnumerator> pEnumerator)
    : pNative(std::move(pEnumerator))
{
}

int32_t CWasapiDeviceEnumerator::GetDefaultAudioEndpoint(std::unique_ptr<SAudioEndpoint>& pEndpoint)
{
    ComPointer<IMMDevice> pDevice;
    return WrapNative<CWasapiEndpoint>(pNative->GetDefaultAudioEndpoint(eRender, eConsole, pDevice.Receive()),
                                       pDevice, pEndpoint);
}

int32_t CWasapiDeviceEnumerator::EnumAudioEndpoints(std::unique_ptr<SAudioEndpointCollection>& pCollection)
{
    ComPointer<IMMDeviceCollection> pDevices;
    return WrapNative<CWasapiEndpointCollection>(
        pNative->EnumAudioEndpoints(eRender, DEVICE_STATE_ACTIVE, pDevices.Receive()), pDevices, pCollection);
}
