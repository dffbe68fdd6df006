#include "output/CStreamAudioClient.h"

#include "output/CStreamCaptureClient.h"
#include "output/CStreamRenderClient.h"

#include <utility>

CStreamAudioClient::CStreamAudioClient(std::shared_ptr<SAudioStream> pStream)
    : pAudioStream(std::move(pStream)), pRoute(pAudioStream)
{
    pAudioStream->ViewOpened(AudioStreamView::Client);
}

CStreamAudioClient::~CStreamAudioClient()
{
    pAudioStream->ViewClosed(AudioStreamView::Client);
}

int32_t CStreamAudioClient::InitializeThread()
{
    return pAudioStream->InitializeThread();
}

void CStreamAudioClient::UninitializeThread()
{
    pAudioStream->UninitializeThread();
}

int32_t CStreamAudioClient::GetDevicePeriod(int64_t* phnsDefaultPeriod, int64_t* phnsMinimumPeriod)
{
    return pAudioStream->GetDevicePeriod(phnsDefaultPeriod, phnsMinimumPeriod);
}

int32_t CStreamAudioClient::IsFormatSupported(uint32_t uiShareMode, const AudioStreamFormat* pFormat,
                                              AudioStreamFormat* pClosestMatch)
{
    return pAudioStream->ProbeRoute(uiShareMode, pFormat, pClosestMatch)
        .IsFormatSupported(uiShareMode, pFormat, pClosestMatch);
}

int32_t CStreamAudioClient::Initialize(uint32_t uiShareMode, uint32_t uiStreamFlags,
                                       int64_t hnsBufferDuration, int64_t hnsPeriodicity,
                                       const AudioStreamFormat* pFormat)
{
    SAudioStream& Chosen =
        bRouted != 0 ? *pRoute : pAudioStream->InitializeRoute(uiShareMode, hnsPeriodicity);
    const int32_t iResult =
        Chosen.Initialize(uiShareMode, uiStreamFlags, hnsBufferDuration, hnsPeriodicity, pFormat);
    if (iResult >= 0 && bRouted == 0)
    {
        pRoute = std::shared_ptr<SAudioStream>(pAudioStream, &Chosen);
        bRouted = 1;
    }
    return iResult;
}

int32_t CStreamAudioClient::SetEventHandle(SEvent* pEvent)
{
    return pRoute->SetEventHandle(pEvent);
}

int32_t CStreamAudioClient::GetBufferSize(uint32_t* puiBufferFrames)
{
    return pRoute->GetBufferSize(puiBufferFrames);
}

int32_t CStreamAudioClient::GetCurrentPadding(uint32_t* puiPaddingFrames)
{
    return pRoute->GetCurrentPadding(puiPaddingFrames);
}

int32_t CStreamAudioClient::GetRenderClient(std::unique_ptr<SAudioRenderClient>& pRenderClient)
{
    return MakeService<CStreamRenderClient>(AudioStreamView::Render, pRenderClient);
}

int32_t CStreamAudioClient::GetCaptureClient(std::unique_ptr<SAudioCaptureClient>& pCaptureClient)
{
    return MakeService<CStreamCaptureClient>(AudioStreamView::Capture, pCaptureClient);
}

int32_t CStreamAudioClient::Start()
{
    return pRoute->Start();
}

int32_t CStreamAudioClient::Stop()
{
    return pRoute->Stop();
}
