#include "output/CStreamRenderClient.h"

#include <utility>

CStreamRenderClient::CStreamRenderClient(std::shared_ptr<SAudioStream> pStream)
    : pAudioStream(std::move(pStream))
{
    pAudioStream->ViewOpened(AudioStreamView::Render);
}

CStreamRenderClient::~CStreamRenderClient()
{
    pAudioStream->ViewClosed(AudioStreamView::Render);
}

int32_t CStreamRenderClient::GetBuffer(uint32_t uiFrames, uint8_t** ppData)
{
    return pAudioStream->GetBuffer(uiFrames, ppData);
}

int32_t CStreamRenderClient::ReleaseBuffer(uint32_t uiFrames, uint32_t uiFlags)
{
    return pAudioStream->ReleaseBuffer(uiFrames, uiFlags);
}
