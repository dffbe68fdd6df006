#include "output/virtual/VirtualOutputStream.h"

#include "output/AudioClientConstants.h"
#include "output/CStreamEndpoint.h"

#include <new>
#include <utility>

VirtualOutputStream::VirtualOutputStream(std::shared_ptr<VirtualOutputDevice> pTarget, uint64_t ullSerial)
    : pDevice(std::move(pTarget)), ullClient(ullSerial)
{
}

std::unique_ptr<SAudioEndpoint>
VirtualOutputStream::MakeEndpoint(const std::shared_ptr<VirtualOutputDevice>& pDevice)
{
    return std::unique_ptr<SAudioEndpoint>(new (std::nothrow) CStreamEndpoint(
        VirtualOutputDevice::FRIENDLY_NAME, 1, VirtualOutputDevice::ENDPOINT_ID,
        [pDevice](std::shared_ptr<SAudioStream>& pStream)
        {
            pStream.reset(new (std::nothrow) VirtualOutputStream(pDevice, pDevice->Activate()));
            return pStream != nullptr ? AUDIO_OK : AUDIO_E_OUTOFMEMORY;
        }));
}

int32_t VirtualOutputStream::GetDevicePeriod(int64_t* phnsDefaultPeriod, int64_t* phnsMinimumPeriod)
{
    if (phnsDefaultPeriod == nullptr && phnsMinimumPeriod == nullptr)
    {
        return AUDIO_E_POINTER;
    }
    if (phnsDefaultPeriod != nullptr)
    {
        *phnsDefaultPeriod = AUDIO_DEFAULT_PERIOD_HNS;
    }
    if (phnsMinimumPeriod != nullptr)
    {
        *phnsMinimumPeriod = AUDIO_MINIMUM_PERIOD_HNS;
    }
    return AUDIO_OK;
}

int32_t VirtualOutputStream::IsFormatSupported(uint32_t uiShareMode, const AudioStreamFormat* pFormat,
                                               AudioStreamFormat* pClosestMatch)
{
    return pDevice->IsFormatSupported(uiShareMode, pFormat, pClosestMatch);
}

int32_t VirtualOutputStream::Initialize(uint32_t uiShareMode, uint32_t uiStreamFlags,
                                        int64_t hnsBufferDuration, int64_t, const AudioStreamFormat* pFormat)
{
    return pDevice->Initialize(ullClient, uiShareMode, uiStreamFlags, hnsBufferDuration, pFormat);
}

int32_t VirtualOutputStream::SetEventHandle(SEvent* pEvent)
{
    return pDevice->SetEventHandle(ullClient, pEvent);
}

int32_t VirtualOutputStream::GetBufferSize(uint32_t* puiBufferFrames)
{
    return pDevice->GetBufferSize(ullClient, puiBufferFrames);
}

int32_t VirtualOutputStream::GetCurrentPadding(uint32_t* puiPaddingFrames)
{
    return pDevice->GetCurrentPadding(ullClient, puiPaddingFrames);
}

int32_t VirtualOutputStream::CheckInitialized()
{
    return pDevice->CheckStream(ullClient);
}

int32_t VirtualOutputStream::GetService(AudioStreamView View)
{
    return View == AudioStreamView::Render ? CheckInitialized() : AUDIO_E_WRONG_ENDPOINT_TYPE;
}

int32_t VirtualOutputStream::Start()
{
    return pDevice->Start(ullClient);
}

int32_t VirtualOutputStream::Stop()
{
    return pDevice->Stop(ullClient);
}

int32_t VirtualOutputStream::GetBuffer(uint32_t uiFrames, uint8_t** ppData)
{
    return pDevice->GetBuffer(ullClient, uiFrames, ppData);
}

int32_t VirtualOutputStream::ReleaseBuffer(uint32_t uiFrames, uint32_t uiFlags)
{
    return pDevice->ReleaseBuffer(ullClient, uiFrames, uiFlags);
}

void VirtualOutputStream::ViewClosed(AudioStreamView View)
{
    if (View == AudioStreamView::Client)
    {
        pDevice->ClientDestroyed(ullClient);
    }
}
