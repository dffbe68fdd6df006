#include "output/wasapi/CWasapiAudioClient.h"

#include "output/AudioClientConstants.h"
#include "output/wasapi/CWasapiCaptureClient.h"
#include "output/wasapi/CWasapiRenderClient.h"
#include "output/wasapi/WaveFormatTranslation.h"
#include "output/wasapi/WrapNative.h"
#include "runtime/CEvent.h"
#include "runtime/CNonCopyable.h"

#include <objbase.h>

#include <utility>

// The layer's numbers are the platform's, so results can travel unchanged.
static_assert(AUDIO_SHAREMODE_SHARED == AUDCLNT_SHAREMODE_SHARED);
static_assert(AUDIO_SHAREMODE_EXCLUSIVE == AUDCLNT_SHAREMODE_EXCLUSIVE);
static_assert(AUDIO_STREAMFLAGS_EVENTCALLBACK == AUDCLNT_STREAMFLAGS_EVENTCALLBACK);
static_assert(AUDIO_STREAMFLAGS_NOPERSIST == AUDCLNT_STREAMFLAGS_NOPERSIST);
static_assert(AUDIO_BUFFERFLAGS_DATA_DISCONTINUITY == AUDCLNT_BUFFERFLAGS_DATA_DISCONTINUITY);
static_assert(AUDIO_BUFFERFLAGS_SILENT == AUDCLNT_BUFFERFLAGS_SILENT);
static_assert(AUDIO_OK == S_OK);
static_assert(AUDIO_S_CLOSEST_MATCH == S_FALSE);
static_assert(AUDIO_S_BUFFER_EMPTY == AUDCLNT_S_BUFFER_EMPTY);
static_assert(AUDIO_E_FAIL == E_FAIL);
static_assert(AUDIO_E_POINTER == E_POINTER);
static_assert(AUDIO_E_INVALIDARG == E_INVALIDARG);
static_assert(AUDIO_E_OUTOFMEMORY == E_OUTOFMEMORY);
static_assert(AUDIO_E_NOTFOUND == static_cast<int32_t>(HRESULT_FROM_WIN32(ERROR_NOT_FOUND)));
static_assert(AUDIO_E_NOT_INITIALIZED == AUDCLNT_E_NOT_INITIALIZED);
static_assert(AUDIO_E_ALREADY_INITIALIZED == AUDCLNT_E_ALREADY_INITIALIZED);
static_assert(AUDIO_E_WRONG_ENDPOINT_TYPE == AUDCLNT_E_WRONG_ENDPOINT_TYPE);
static_assert(AUDIO_E_DEVICE_INVALIDATED == AUDCLNT_E_DEVICE_INVALIDATED);
static_assert(AUDIO_E_NOT_STOPPED == AUDCLNT_E_NOT_STOPPED);
static_assert(AUDIO_E_BUFFER_TOO_LARGE == AUDCLNT_E_BUFFER_TOO_LARGE);
static_assert(AUDIO_E_OUT_OF_ORDER == AUDCLNT_E_OUT_OF_ORDER);
static_assert(AUDIO_E_UNSUPPORTED_FORMAT == AUDCLNT_E_UNSUPPORTED_FORMAT);
static_assert(AUDIO_E_INVALID_SIZE == AUDCLNT_E_INVALID_SIZE);
static_assert(AUDIO_E_DEVICE_IN_USE == AUDCLNT_E_DEVICE_IN_USE);
static_assert(AUDIO_E_EVENTHANDLE_NOT_SET == AUDCLNT_E_EVENTHANDLE_NOT_SET);
static_assert(AUDIO_E_INVALID_DEVICE_PERIOD == AUDCLNT_E_INVALID_DEVICE_PERIOD);
static_assert(AUDIO_HNS_PER_SECOND == 10000000);

namespace
{
// Frees a format record the platform allocated for the caller, however the call ends.
class TaskMemoryFormat : private CNonCopyable
{
public:
    ~TaskMemoryFormat() { CoTaskMemFree(pFormat); }

    WAVEFORMATEX* pFormat = nullptr;
};
} // namespace

CWasapiAudioClient::CWasapiAudioClient(ComPointer<IAudioClient> pClient) : pNative(std::move(pClient)) {}

int32_t CWasapiAudioClient::InitializeThread()
{
    return CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
}

void CWasapiAudioClient::UninitializeThread()
{
    CoUninitialize();
}

int32_t CWasapiAudioClient::GetDevicePeriod(int64_t* phnsDefaultPeriod, int64_t* phnsMinimumPeriod)
{
    REFERENCE_TIME hnsDefault = 0;
    REFERENCE_TIME hnsMinimum = 0;
    const HRESULT hResult = pNative->GetDevicePeriod(phnsDefaultPeriod != nullptr ? &hnsDefault : nullptr,
                                                     phnsMinimumPeriod != nullptr ? &hnsMinimum : nullptr);
    if (SUCCEEDED(hResult))
    {
        if (phnsDefaultPeriod != nullptr)
        {
            *phnsDefaultPeriod = hnsDefault;
        }
        if (phnsMinimumPeriod != nullptr)
        {
            *phnsMinimumPeriod = hnsMinimum;
        }
    }
    return hResult;
}

int32_t CWasapiAudioClient::IsFormatSupported(uint32_t uiShareMode, const AudioStreamFormat* pFormat,
                                              AudioStreamFormat* pClosestMatch)
{
    WAVEFORMATEXTENSIBLE Native{};
    if (pFormat != nullptr)
    {
        ToWaveFormat(*pFormat, Native);
    }
    TaskMemoryFormat Closest;
    const HRESULT hResult = pNative->IsFormatSupported(static_cast<AUDCLNT_SHAREMODE>(uiShareMode),
                                                       pFormat != nullptr ? &Native.Format : nullptr,
                                                       pClosestMatch != nullptr ? &Closest.pFormat : nullptr);
    if (pClosestMatch != nullptr && Closest.pFormat != nullptr)
    {
        FromWaveFormat(Closest.pFormat, *pClosestMatch);
    }
    return hResult;
}

int32_t CWasapiAudioClient::Initialize(uint32_t uiShareMode, uint32_t uiStreamFlags,
                                       int64_t hnsBufferDuration, int64_t hnsPeriodicity,
                                       const AudioStreamFormat* pFormat)
{
    WAVEFORMATEXTENSIBLE Native{};
    if (pFormat != nullptr)
    {
        ToWaveFormat(*pFormat, Native);
    }
    return pNative->Initialize(static_cast<AUDCLNT_SHAREMODE>(uiShareMode), uiStreamFlags, hnsBufferDuration,
                               hnsPeriodicity, pFormat != nullptr ? &Native.Format : nullptr, nullptr);
}

int32_t CWasapiAudioClient::SetEventHandle(SEvent* pEvent)
{
    // Without a Win32 event the client gets a null handle and refuses it itself.
    auto* pNativeEvent = dynamic_cast<CEvent*>(pEvent);
    return pNative->SetEventHandle(
        pNativeEvent != nullptr ? static_cast<HANDLE>(pNativeEvent->GetNativeHandle()) : nullptr);
}

int32_t CWasapiAudioClient::GetBufferSize(uint32_t* puiBufferFrames)
{
    UINT32 uiFrames = 0;
    const HRESULT hResult = pNative->GetBufferSize(puiBufferFrames != nullptr ? &uiFrames : nullptr);
    if (puiBufferFrames != nullptr)
    {
        *puiBufferFrames = SUCCEEDED(hResult) ? uiFrames : 0;
    }
    return hResult;
}

int32_t CWasapiAudioClient::GetCurrentPadding(uint32_t* puiPaddingFrames)
{
    UINT32 uiFrames = 0;
    const HRESULT hResult = pNative->GetCurrentPadding(puiPaddingFrames != nullptr ? &uiFrames : nullptr);
    if (puiPaddingFrames != nullptr)
    {
        *puiPaddingFrames = SUCCEEDED(hResult) ? uiFrames : 0;
    }
    return hResult;
}

int32_t CWasapiAudioClient::GetRenderClient(std::unique_ptr<SAudioRenderClient>& pRenderClient)
{
    ComPointer<IAudioRenderClient> pService;
    return WrapNative<CWasapiRenderClient>(
        pNative->GetService(__uuidof(IAudioRenderClient), pService.ReceiveVoid()), pService, pRenderClient);
}

int32_t CWasapiAudioClient::GetCaptureClient(std::unique_ptr<SAudioCaptureClient>& pCaptureClient)
{
    ComPointer<IAudioCaptureClient> pService;
    return WrapNative<CWasapiCaptureClient>(
        pNative->GetService(__uuidof(IAudioCaptureClient), pService.ReceiveVoid()), pService, pCaptureClient);
}

int32_t CWasapiAudioClient::Start()
{
    return pNative->Start();
}

int32_t CWasapiAudioClient::Stop()
{
    return pNative->Stop();
}
