#include "output/alsa/CAlsaAudioClient.h"

#include "output/AudioClientConstants.h"
#include "output/alsa/CAlsaRenderClient.h"

CAlsaAudioClient::CAlsaAudioClient(const AlsaEndpointInfo& Endpoint)
    : pPcmStream(std::make_shared<AlsaPcmStream>(Endpoint))
{
}

// ALSA needs no per-thread set-up.
int32_t CAlsaAudioClient::InitializeThread()
{
    return AUDIO_OK;
}

void CAlsaAudioClient::UninitializeThread() {}

int32_t CAlsaAudioClient::GetDevicePeriod(int64_t* phnsDefaultPeriod, int64_t* phnsMinimumPeriod)
{
    return pPcmStream->GetDevicePeriod(phnsDefaultPeriod, phnsMinimumPeriod);
}

int32_t CAlsaAudioClient::IsFormatSupported(uint32_t uiShareMode, const AudioStreamFormat* pFormat,
                                            AudioStreamFormat* pClosestMatch)
{
    return pPcmStream->IsFormatSupported(uiShareMode, pFormat, pClosestMatch);
}

int32_t CAlsaAudioClient::Initialize(uint32_t uiShareMode, uint32_t uiStreamFlags, int64_t hnsBufferDuration,
                                     int64_t hnsPeriodicity, const AudioStreamFormat* pFormat)
{
    return pPcmStream->Initialize(uiShareMode, uiStreamFlags, hnsBufferDuration, hnsPeriodicity, pFormat);
}

int32_t CAlsaAudioClient::SetEventHandle(SEvent*)
{
    // Only event-driven streams take an event, and ALSA streams are never initialised so.
    const int32_t iResult = pPcmStream->CheckInitialized();
    return iResult < 0 ? iResult : AUDIO_E_EVENTHANDLE_NOT_SET;
}

int32_t CAlsaAudioClient::GetBufferSize(uint32_t* puiBufferFrames)
{
    return pPcmStream->GetBufferSize(puiBufferFrames);
}

int32_t CAlsaAudioClient::GetCurrentPadding(uint32_t* puiPaddingFrames)
{
    return pPcmStream->GetCurrentPadding(puiPaddingFrames);
}

int32_t CAlsaAudioClient::GetRenderClient(std::unique_ptr<SAudioRenderClient>& pRenderClient)
{
    pRenderClient.reset();
    const int32_t iResult = pPcmStream->CheckInitialized();
    if (iResult < 0)
    {
        return iResult;
    }
    pRenderClient = std::make_unique<CAlsaRenderClient>(pPcmStream);
    return AUDIO_OK;
}

int32_t CAlsaAudioClient::GetCaptureClient(std::unique_ptr<SAudioCaptureClient>& pCaptureClient)
{
    pCaptureClient.reset();
    const int32_t iResult = pPcmStream->CheckInitialized();
    return iResult < 0 ? iResult : AUDIO_E_WRONG_ENDPOINT_TYPE;
}

int32_t CAlsaAudioClient::Start()
{
    return pPcmStream->Start();
}

int32_t CAlsaAudioClient::Stop()
{
    return pPcmStream->Stop();
}
