#include "output/wasapi/CWasapiRenderClient.h"

#include "output/AudioClientConstants.h"

#include <utility>

CWasapiRenderClient::CWasapiRenderClient(ComPointer<IAudioRenderClient> pService)
    : pNative(std::move(pService))
{
}

int32_t CWasapiRenderClient::GetBuffer(uint32_t uiFrames, uint8_t** ppData)
{
    if (ppData == nullptr)
    {
        return AUDIO_E_POINTER;
    }
    BYTE* pData = nullptr;
    const HRESULT hResult = pNative->GetBuffer(uiFrames, &pData);
    *ppData = SUCCEEDED(hResult) ? pData : nullptr;
    return hResult;
}

int32_t CWasapiRenderClient::ReleaseBuffer(uint32_t uiFrames, uint32_t uiFlags)
{
    return pNative->ReleaseBuffer(uiFrames, uiFlags);
}
