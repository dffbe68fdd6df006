#pragma once
#include "output/SAudioRenderClient.h"
#include "runtime/win32/ComPointer.h"

#include <windows.h>

#include <audioclient.h>

// The render service of an initialised client (IAudioRenderClient).
class CWasapiRenderClient : public SAudioRenderClient
{
public:
    explicit CWasapiRenderClient(ComPointer<IAudioRenderClient> pService);

    int32_t GetBuffer(uint32_t uiFrames, uint8_t** ppData) override;
    int32_t ReleaseBuffer(uint32_t uiFrames, uint32_t uiFlags) override;

private:
    ComPointer<IAudioRenderClient> pNative;
};
