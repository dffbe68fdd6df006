#pragma once
#include "output/SAudioDeviceEnumerator.h"
#include "runtime/win32/ComPointer.h"

#include <windows.h>

#include <mmdeviceapi.h>

// The MMDevice endpoint enumerator, render endpoints only.
class CWasapiDeviceEnumerator : public SAudioDeviceEnumerator
{
public:
    explicit CWasapiDeviceEnumerator(ComPointer<IMMDeviceEnumerator> pEnumerator);

    // The default render endpoint of the console role.
    int32_t GetDefaultAudioEndpoint(std::unique_ptr<SAudioEndpoint>& pEndpoint) override;
    // The active render endpoints.
    int32_t EnumAudioEndpoints(std::unique_ptr<SAudioEndpointCollection>& pCollection) override;

private:
    ComPointer<IMMDeviceEnumerator> pNative;
};
