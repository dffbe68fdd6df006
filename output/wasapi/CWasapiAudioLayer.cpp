#include "output/wasapi/CWasapiAudioLayer.h"

#include "output/AudioClientConstants.h"
#include "output/CreatePlatformAudioLayer.h"
#include "output/wasapi/CWasapiDeviceEnumerator.h"
#include "output/wasapi/WrapNative.h"
#include "runtime/win32/ComPointer.h"

#include <windows.h>

#include <mmdeviceapi.h>
#include <objbase.h>

int32_t CWasapiAudioLayer::InitializeThread()
{
    // S_FALSE (already initialised here) is a success that still needs its CoUninitialize.
    return CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
}

void CWasapiAudioLayer::UninitializeThread()
{
    CoUninitialize();
}

int32_t CWasapiAudioLayer::CreateDeviceEnumerator(std::unique_ptr<SAudioDeviceEnumerator>& pEnumerator)
{
    ComPointer<IMMDeviceEnumerator> pNative;
    return WrapNative<CWasapiDeviceEnumerator>(
        CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_INPROC_SERVER,
                         __uuidof(IMMDeviceEnumerator), pNative.ReceiveVoid()),
        pNative, pEnumerator);
}

// The layer the programs use on this platform.
std::unique_ptr<SAudioClientLayer> CreatePlatformAudioLayer()
{
    return std::make_unique<CWasapiAudioLayer>();
}
