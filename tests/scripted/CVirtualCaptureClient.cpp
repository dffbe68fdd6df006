#include "tests/scripted/CVirtualCaptureClient.h"

#include <utility>

CVirtualCaptureClient::CVirtualCaptureClient(std::shared_ptr<VirtualAudioDevice> pTarget, uint64_t ullSerial)
    : pDevice(std::move(pTarget)), ullClient(ullSerial)
{
    pDevice->ObjectCreated();
}

CVirtualCaptureClient::~CVirtualCaptureClient()
{
    pDevice->ObjectDestroyed();
}

int32_t CVirtualCaptureClient::GetBuffer(uint8_t** ppData, uint32_t* puiFrames, uint32_t* puiFlags)
{
    return pDevice->CaptureGetBuffer(ullClient, ppData, puiFrames, puiFlags);
}

int32_t CVirtualCaptureClient::ReleaseBuffer(uint32_t uiFrames)
{
    return pDevice->CaptureReleaseBuffer(ullClient, uiFrames);
}
