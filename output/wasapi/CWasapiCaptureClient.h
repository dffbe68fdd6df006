#pragma once
#include "output/SAudioCaptureClient.h"
#include "runtime/win32/ComPointer.h"

#include <windows.h>

#include <audioclient.h>

// The capture service of an initialised client (IAudioCaptureClient).
class CWasapiCaptureClient : public SAudioCaptureClient
{
public:
    explicit CWasapiCaptureClient(ComPointer<IAudioCaptureClient> pService);

    int32_t GetBuffer(uint8_t** ppData, uint32_t* puiFrames, uint32_t* puiFlags) override;
    int32_t ReleaseBuffer(uint32_t uiFrames) override;

private:
    ComPointer<IAudioCaptureClient> pNative;
};
