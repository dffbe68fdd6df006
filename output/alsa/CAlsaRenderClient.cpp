#include "output/alsa/CAlsaRenderClient.h"

#include <utility>

CAlsaRenderClient::CAlsaRenderClient(std::shared_ptr<AlsaPcmStream> pStream) : pPcmStream(std::move(pStream))
{
}

int32_t CAlsaRenderClient::GetBuffer(uint32_t uiFrames, uint8_t** ppData)
{
    return pPcmStream->GetBuffer(uiFrames, ppData);
}

int32_t CAlsaRenderClient::ReleaseBuffer(uint32_t uiFrames, uint32_t uiFlags)
{
    return pPcmStream->ReleaseBuffer(uiFrames, uiFlags);
}
