#include "output/CStreamCaptureClient.h"

#include <utility>

CStreamCaptureClient::CStreamCaptureClient(std::shared_ptr<SAudioStream> pStream)
    : pAudioStream(std::move(pStream))
{
    pAudioStream->ViewOpened(AudioStreamView::Capture);
}

CStreamCaptureClient::~CStreamCaptureClient()
{
    pAudioStream->ViewClosed(AudioStreamView::Capture);
}

int32_t CStreamCaptureClient::GetBuffer(uint8_t** ppData, uint32_t* puiFrames, uint32_t* puiFlags)
{
    return pAudioStream->GetCaptureBuffer(ppData, puiFrames, puiFlags);
}

int32_t CStreamCaptureClient::ReleaseBuffer(uint32_t uiFrames)
{
    return pAudioStream->ReleaseCaptureBuffer(uiFrames);
}
