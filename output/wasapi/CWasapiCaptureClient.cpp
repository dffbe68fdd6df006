#include "output/wasapi/CWasapiCaptureClient.h"

#include "output/AudioClientConstants.h"

#include <utility>

CWasapiCaptureClient::CWasapiCaptureClient(ComPointer<IAudioCaptureClient> pService)
    : pNative(std::move(pService))
{
}

int32_t CWasapiCaptureClient::GetBuffer(uint8_t** ppData, uint32_t* puiFrames, uint32_t* puiFlags)
{
    if (ppData == nullptr || puiFrames == nullptr || puiFlags == nullptr)
    {
        return AUDIO_E_POINTER;
    }
    BYTE* pData = nullptr;
    UINT32 uiFrames = 0;
    DWORD dwFlags = 0;
    const HRESULT hResult = pNative->GetBuffer(&pData, &uiFrames, &dwFlags, nullptr, nullptr);
    const bool bPacket = SUCCEEDED(hResult) && hResult != AUDCLNT_S_BUFFER_EMPTY;
    *ppData = bPacket ? pData : nullptr;
    *puiFrames = bPacket ? uiFrames : 0;
    *puiFlags = bPacket ? dwFlags : 0;
    return hResult;
}

int32_t CWasapiCaptureClient::ReleaseBuffer(uint32_t uiFrames)
{
    return pNative->ReleaseBuffer(uiFrames);
}
