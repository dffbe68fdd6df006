#include "output/virtual/CVirtualOutputClient.h"

#include "output/AudioClientConstants.h"
#include "output/virtual/CVirtualOutputRenderClient.h"

#include <new>
#include <utility>

CVirtualOutputClient::CVirtualOutputClient(std::shared_ptr<VirtualOutputDevice> pTarget, uint64_t ullSerial)
    : pDevice(std::move(pTarget)), ullClient(ullSerial)
{
}

CVirtualOutputClient::~CVirtualOutputClient()
{
    pDevice->ClientDestroyed(ullClient);
}

int32_t CVirtualOutputClient::GetDevicePeriod(int64_t* phnsDefaultPeriod, int64_t* phnsMinimumPeriod)
{
    if (phnsDefaultPeriod == nullptr && phnsMinimumPeriod == nullptr)
    {
        return AUDIO_E_POINTER;
    }
    if (phnsDefaultPeriod != nullptr)
    {
        *phnsDefaultPeriod = VirtualOutputDevice::DEFAULT_PERIOD;
    }
    if (phnsMinimumPeriod != nullptr)
    {
        *phnsMinimumPeriod = VirtualOutputDevice::MINIMUM_PERIOD;
    }
    return AUDIO_OK;
}

int32_t CVirtualOutputClient::IsFormatSupported(uint32_t uiShareMode, const AudioStreamFormat* pFormat,
                                                AudioStreamFormat* pClosestMatch)
{
    return pDevice->IsFormatSupported(uiShareMode, pFormat, pClosestMatch);
}

int32_t CVirtualOutputClient::Initialize(uint32_t uiShareMode, uint32_t uiStreamFlags,
                                         int64_t hnsBufferDuration, int64_t, const AudioStreamFormat* pFormat)
{
    return pDevice->Initialize(ullClient, uiShareMode, uiStreamFlags, hnsBufferDuration, pFormat);
}

int32_t CVirtualOutputClient::SetEventHandle(SEvent* pEvent)
{
    return pDevice->SetEventHandle(ullClient, pEvent);
}

int32_t CVirtualOutputClient::GetBufferSize(uint32_t* puiBufferFrames)
{
    return pDevice->GetBufferSize(ullClient, puiBufferFrames);
}

int32_t CVirtualOutputClient::GetCurrentPadding(uint32_t* puiPaddingFrames)
{
    return pDevice->GetCurrentPadding(ullClient, puiPaddingFrames);
}

int32_t CVirtualOutputClient::GetRenderClient(std::unique_ptr<SAudioRenderClient>& pRenderClient)
{
    pRenderClient.reset();
    const int32_t iResult = pDevice->CheckStream(ullClient);
    if (iResult < 0)
    {
        return iResult;
    }
    pRenderClient.reset(new (std::nothrow) CVirtualOutputRenderClient(pDevice, ullClient));
    return pRenderClient != nullptr ? AUDIO_OK : AUDIO_E_OUTOFMEMORY;
}

int32_t CVirtualOutputClient::GetCaptureClient(std::unique_ptr<SAudioCaptureClient>& pCaptureClient)
{
    pCaptureClient.reset();
    return AUDIO_E_WRONG_ENDPOINT_TYPE;
}

int32_t CVirtualOutputClient::Start()
{
    return pDevice->Start(ullClient);
}

int32_t CVirtualOutputClient::Stop()
{
    return pDevice->Stop(ullClient);
}
