#include "tests/scripted/CVirtualAudioClient.h"

#include "tests/scripted/CVirtualCaptureClient.h"
#include "tests/scripted/CVirtualRenderClient.h"

#include <new>
#include <utility>

CVirtualAudioClient::CVirtualAudioClient(std::shared_ptr<VirtualAudioDevice> pTarget, uint64_t ullSerial)
    : pDevice(std::move(pTarget)), ullClient(ullSerial)
{
    pDevice->ObjectCreated();
}

CVirtualAudioClient::~CVirtualAudioClient()
{
    pDevice->ClientDestroyed(ullClient);
    pDevice->ObjectDestroyed();
}

int32_t CVirtualAudioClient::InitializeThread()
{
    return pDevice->ClientInitializeThread();
}

void CVirtualAudioClient::UninitializeThread()
{
    pDevice->ClientUninitializeThread();
}

int32_t CVirtualAudioClient::GetDevicePeriod(int64_t* phnsDefaultPeriod, int64_t* phnsMinimumPeriod)
{
    return pDevice->ClientGetDevicePeriod(phnsDefaultPeriod, phnsMinimumPeriod);
}

int32_t CVirtualAudioClient::IsFormatSupported(uint32_t uiShareMode, const AudioStreamFormat* pFormat,
                                               AudioStreamFormat* pClosestMatch)
{
    return pDevice->ClientIsFormatSupported(uiShareMode, pFormat, pClosestMatch);
}

int32_t CVirtualAudioClient::Initialize(uint32_t uiShareMode, uint32_t uiStreamFlags,
                                        int64_t hnsBufferDuration, int64_t hnsPeriodicity,
                                        const AudioStreamFormat* pFormat)
{
    return pDevice->ClientInitialize(ullClient, uiShareMode, uiStreamFlags, hnsBufferDuration, hnsPeriodicity,
                                     pFormat);
}

int32_t CVirtualAudioClient::SetEventHandle(SEvent* pEvent)
{
    return pDevice->ClientSetEventHandle(ullClient, pEvent);
}

int32_t CVirtualAudioClient::GetBufferSize(uint32_t* puiBufferFrames)
{
    return pDevice->ClientGetBufferSize(ullClient, puiBufferFrames);
}

int32_t CVirtualAudioClient::GetCurrentPadding(uint32_t* puiPaddingFrames)
{
    return pDevice->ClientGetCurrentPadding(ullClient, puiPaddingFrames);
}

int32_t CVirtualAudioClient::GetRenderClient(std::unique_ptr<SAudioRenderClient>& pRenderClient)
{
    pRenderClient.reset();
    const int32_t iResult = pDevice->ClientGetService(ullClient);
    if (iResult < 0)
    {
        return iResult;
    }
    pRenderClient.reset(new (std::nothrow) CVirtualRenderClient(pDevice, ullClient));
    return pRenderClient != nullptr ? AUDIO_OK : AUDIO_E_OUTOFMEMORY;
}

int32_t CVirtualAudioClient::GetCaptureClient(std::unique_ptr<SAudioCaptureClient>& pCaptureClient)
{
    pCaptureClient.reset();
    const int32_t iResult = pDevice->ClientGetService(ullClient);
    if (iResult < 0)
    {
        return iResult;
    }
    pCaptureClient.reset(new (std::nothrow) CVirtualCaptureClient(pDevice, ullClient));
    return pCaptureClient != nullptr ? AUDIO_OK : AUDIO_E_OUTOFMEMORY;
}

int32_t CVirtualAudioClient::Start()
{
    return pDevice->ClientStart(ullClient);
}

int32_t CVirtualAudioClient::Stop()
{
    return pDevice->ClientStop(ullClient);
}
