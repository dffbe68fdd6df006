#include "output/pulse/CPulseRenderClient.h"

#include <utility>

CPulseRenderClient::CPulseRenderClient(std::shared_ptr<PulseSinkStream> pStream)
    : pSinkStream(std::move(pStream))
{
}

int32_t CPulseRenderClient::GetBuffer(uint32_t uiFrames, uint8_t** ppData)
{
    return pSinkStream->GetBuffer(uiFrames, ppData);
}

int32_t CPulseRenderClient::ReleaseBuffer(uint32_t uiFrames, uint32_t uiFlags)
{
    return pSinkStream->ReleaseBuffer(uiFrames, uiFlags);
}
