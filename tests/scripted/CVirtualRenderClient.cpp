#include "tests/scripted/CVirtualRenderClient.h"

#include <utility>

CVirtualRenderClient::CVirtualRenderClient(std::shared_ptr<VirtualAudioDevice> pTarget, uint64_t ullSerial)
    : pDevice(std::move(pTarget)), ullClient(ullSerial)
{
    pDevice->ObjectCreated();
}

CVirtualRenderClient::~CVirtualRenderClient()
{
    pDevice->ObjectDestroyed();
}

int32_t CVirtualRenderClient::GetBuffer(uint32_t uiFrames, uint8_t** ppData)
{
    return pDevice->RenderGetBuffer(ullClient, uiFrames, ppData);
}

int32_t CVirtualRenderClient::ReleaseBuffer(uint32_t uiFrames, uint32_t uiFlags)
{
    return pDevice->RenderReleaseBuffer(ullClient, uiFrames, uiFlags);
}
