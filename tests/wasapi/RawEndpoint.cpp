#include "tests/wasapi/RawEndpoint.h"

ComPointer<IMMDeviceEnumerator> RawEnumerator()
{
    ComPointer<IMMDeviceEnumerator> pEnumerator;
    CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_INPROC_SERVER,
                     __uuidof(IMMDeviceEnumerator), pEnumerator.ReceiveVoid());
    return pEnumerator;
}

ComPointer<IMMDevice> RawEndpoint(const std::u16string& Id)
{
    ComPointer<IMMDevice> pDevice;
    ComPointer<IMMDeviceEnumerator> pEnumerator = RawEnumerator();
    if (pEnumerator)
    {
        pEnumerator->GetDevice(reinterpret_cast<const wchar_t*>(Id.c_str()), pDevice.Receive());
    }
    return pDevice;
}

ComPointer<IAudioClient> RawClient(const std::u16string& Id)
{
    ComPointer<IAudioClient> pClient;
    ComPointer<IMMDevice> pDevice = RawEndpoint(Id);
    if (pDevice)
    {
        pDevice->Activate(__uuidof(IAudioClient), CLSCTX_INPROC_SERVER, nullptr, pClient.ReceiveVoid());
    }
    return pClient;
}
