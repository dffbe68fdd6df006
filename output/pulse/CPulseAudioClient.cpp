#include "output/pulse/CPulseAudioClient.h"

#include "output/AudioClientConstants.h"
#include "output/pulse/CPulseRenderClient.h"

#include <utility>

CPulseAudioClient::CPulseAudioClient(std::shared_ptr<PulseServerConnection> pConnection,
                                     const PulseSinkInfo& Sink, std::unique_ptr<SAudioClient> pHardwareClient)
    : pSinkStream(std::make_shared<PulseSinkStream>(std::move(pConnection), Sink)),
      pHardware(std::move(pHardwareClient))
{
}

// The client library runs its own thread; the calling threads need no set-up.
int32_t CPulseAudioClient::InitializeThread()
{
    return AUDIO_OK;
}

void CPulseAudioClient::UninitializeThread() {}

int32_t CPulseAudioClient::GetDevicePeriod(int64_t* phnsDefaultPeriod, int64_t* phnsMinimumPeriod)
{
    return pSinkStream->GetDevicePeriod(phnsDefaultPeriod, phnsMinimumPeriod);
}

int32_t CPulseAudioClient::IsFormatSupported(uint32_t uiShareMode, const AudioStreamFormat* pFormat,
                                             AudioStreamFormat* pClosestMatch)
{
    if (uiShareMode == AUDIO_SHAREMODE_SHARED)
    {
        return pSinkStream->IsFormatSupported(pFormat, pClosestMatch);
    }
    if (uiShareMode != AUDIO_SHAREMODE_EXCLUSIVE || pClosestMatch != nullptr)
    {
        return AUDIO_E_INVALIDARG;
    }
    if (pFormat == nullptr)
    {
        return AUDIO_E_POINTER;
    }
    // A sink without a card of its own (Bluetooth, network, null) is never the hardware alone.
    return pHardware != nullptr ? pHardware->IsFormatSupported(uiShareMode, pFormat, nullptr)
                                : AUDIO_E_UNSUPPORTED_FORMAT;
}

int32_t CPulseAudioClient::Initialize(uint32_t uiShareMode, uint32_t uiStreamFlags, int64_t hnsBufferDuration,
                                      int64_t hnsPeriodicity, const AudioStreamFormat* pFormat)
{
    if (Initialized != Route::None)
    {
        return AUDIO_E_ALREADY_INITIALIZED;
    }
    if (hnsPeriodicity < 0)
    {
        return AUDIO_E_INVALIDARG;
    }
    int32_t iResult = AUDIO_E_INVALIDARG;
    if (uiShareMode == AUDIO_SHAREMODE_SHARED)
    {
        iResult = pSinkStream->Initialize(uiStreamFlags, hnsBufferDuration, pFormat);
        Initialized = iResult >= 0 ? Route::Sink : Route::None;
    }
    else if (uiShareMode == AUDIO_SHAREMODE_EXCLUSIVE)
    {
        iResult = pHardware != nullptr ? pHardware->Initialize(uiShareMode, uiStreamFlags, hnsBufferDuration,
                                                               hnsPeriodicity, pFormat)
                                       : AUDIO_E_UNSUPPORTED_FORMAT;
        Initialized = iResult >= 0 ? Route::Hardware : Route::None;
    }
    return iResult;
}

int32_t CPulseAudioClient::SetEventHandle(SEvent* pEvent)
{
    switch (Initialized)
    {
    case Route::Hardware:
        return pHardware->SetEventHandle(pEvent);
    case Route::Sink:
        return AUDIO_E_EVENTHANDLE_NOT_SET; // never initialised event-driven
    default:
        return AUDIO_E_NOT_INITIALIZED;
    }
}

int32_t CPulseAudioClient::GetBufferSize(uint32_t* puiBufferFrames)
{
    return Initialized == Route::Hardware ? pHardware->GetBufferSize(puiBufferFrames)
                                          : pSinkStream->GetBufferSize(puiBufferFrames);
}

int32_t CPulseAudioClient::GetCurrentPadding(uint32_t* puiPaddingFrames)
{
    return Initialized == Route::Hardware ? pHardware->GetCurrentPadding(puiPaddingFrames)
                                          : pSinkStream->GetCurrentPadding(puiPaddingFrames);
}

int32_t CPulseAudioClient::GetRenderClient(std::unique_ptr<SAudioRenderClient>& pRenderClient)
{
    pRenderClient.reset();
    if (Initialized == Route::Hardware)
    {
        return pHardware->GetRenderClient(pRenderClient);
    }
    const int32_t iResult = pSinkStream->CheckInitialized();
    if (iResult < 0)
    {
        return iResult;
    }
    pRenderClient = std::make_unique<CPulseRenderClient>(pSinkStream);
    return AUDIO_OK;
}

int32_t CPulseAudioClient::GetCaptureClient(std::unique_ptr<SAudioCaptureClient>& pCaptureClient)
{
    pCaptureClient.reset();
    if (Initialized == Route::Hardware)
    {
        return pHardware->GetCaptureClient(pCaptureClient);
    }
    const int32_t iResult = pSinkStream->CheckInitialized();
    return iResult < 0 ? iResult : AUDIO_E_WRONG_ENDPOINT_TYPE;
}

int32_t CPulseAudioClient::Start()
{
    return Initialized == Route::Hardware ? pHardware->Start() : pSinkStream->Start();
}

int32_t CPulseAudioClient::Stop()
{
    return Initialized == Route::Hardware ? pHardware->Stop() : pSinkStream->Stop();
}
