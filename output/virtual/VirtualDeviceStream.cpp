#include "output/virtual/VirtualDeviceStream.h"

#include "output/AudioClientConstants.h"
#include "output/CStreamEndpoint.h"

#include <new>
#include <utility>

VirtualDeviceStream::VirtualDeviceStream(std::shared_ptr<VirtualDeviceCore> pTarget, uint64_t ullSerial)
    : pDevice(std::move(pTarget)), ullClient(ullSerial)
{
}

std::unique_ptr<SAudioEndpoint>
VirtualDeviceStream::MakeEndpoint(const std::shared_ptr<VirtualDeviceCore>& pDevice,
                                  const std::u16string& Name, const std::u16string& Id)
{
    return std::unique_ptr<SAudioEndpoint>(new (std::nothrow) CStreamEndpoint(
        Name, 1, Id, [pDevice](std::shared_ptr<SAudioStream>& pStream) { return Open(pDevice, pStream); }));
}

int32_t VirtualDeviceStream::Open(const std::shared_ptr<VirtualDeviceCore>& pDevice,
                                  std::shared_ptr<SAudioStream>& pStream)
{
    pStream.reset();
    uint64_t ullSerial = 0;
    const int32_t iResult = pDevice->Activate(ullSerial);
    if (iResult < 0)
    {
        return iResult;
    }
    pStream.reset(new (std::nothrow) VirtualDeviceStream(pDevice, ullSerial));
    return pStream != nullptr ? AUDIO_OK : AUDIO_E_OUTOFMEMORY;
}

int32_t VirtualDeviceStream::InitializeThread()
{
    return pDevice->InitializeThread();
}

void VirtualDeviceStream::UninitializeThread()
{
    pDevice->UninitializeThread();
}

int32_t VirtualDeviceStream::GetDevicePeriod(int64_t* phnsDefaultPeriod, int64_t* phnsMinimumPeriod)
{
    return pDevice->GetDevicePeriod(phnsDefaultPeriod, phnsMinimumPeriod);
}

int32_t VirtualDeviceStream::IsFormatSupported(uint32_t uiShareMode, const AudioStreamFormat* pFormat,
                                               AudioStreamFormat* pClosestMatch)
{
    return pDevice->IsFormatSupported(uiShareMode, pFormat, pClosestMatch);
}

int32_t VirtualDeviceStream::Initialize(uint32_t uiShareMode, uint32_t uiStreamFlags,
                                        int64_t hnsBufferDuration, int64_t hnsPeriodicity,
                                        const AudioStreamFormat* pFormat)
{
    return pDevice->Initialize(ullClient, uiShareMode, uiStreamFlags, hnsBufferDuration, hnsPeriodicity,
                               pFormat);
}

int32_t VirtualDeviceStream::SetEventHandle(SEvent* pEvent)
{
    return pDevice->SetEventHandle(ullClient, pEvent);
}

int32_t VirtualDeviceStream::GetBufferSize(uint32_t* puiBufferFrames)
{
    return pDevice->GetBufferSize(ullClient, puiBufferFrames);
}

int32_t VirtualDeviceStream::GetCurrentPadding(uint32_t* puiPaddingFrames)
{
    return pDevice->GetCurrentPadding(ullClient, puiPaddingFrames);
}

int32_t VirtualDeviceStream::CheckInitialized()
{
    return pDevice->CheckStream(ullClient);
}

int32_t VirtualDeviceStream::GetService(AudioStreamView View)
{
    return pDevice->GetService(ullClient, View);
}

int32_t VirtualDeviceStream::Start()
{
    return pDevice->Start(ullClient);
}

int32_t VirtualDeviceStream::Stop()
{
    return pDevice->Stop(ullClient);
}

int32_t VirtualDeviceStream::GetBuffer(uint32_t uiFrames, uint8_t** ppData)
{
    return pDevice->GetBuffer(ullClient, uiFrames, ppData);
}

int32_t VirtualDeviceStream::ReleaseBuffer(uint32_t uiFrames, uint32_t uiFlags)
{
    return pDevice->ReleaseBuffer(ullClient, uiFrames, uiFlags);
}

int32_t VirtualDeviceStream::GetCaptureBuffer(uint8_t** ppData, uint32_t* puiFrames, uint32_t* puiFlags)
{
    return pDevice->GetCaptureBuffer(ullClient, ppData, puiFrames, puiFlags);
}

int32_t VirtualDeviceStream::ReleaseCaptureBuffer(uint32_t uiFrames)
{
    return pDevice->ReleaseCaptureBuffer(ullClient, uiFrames);
}

void VirtualDeviceStream::ViewOpened(AudioStreamView)
{
    pDevice->ViewOpened();
}

void VirtualDeviceStream::ViewClosed(AudioStreamView View)
{
    pDevice->ViewClosed(ullClient, View);
}
