#pragma once
#include "runtime/win32/ComPointer.h"

#include <windows.h>

#include <audioclient.h>
#include <mmdeviceapi.h>

#include <string>

// The platform's own objects for an endpoint, reached without the layer, so that a test can compare
// the layer's results with the platform's for the same call.
ComPointer<IMMDeviceEnumerator> RawEnumerator();
ComPointer<IMMDevice> RawEndpoint(const std::u16string& Id);
ComPointer<IAudioClient> RawClient(const std::u16string& Id);
