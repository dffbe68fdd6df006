#include "output/virtual/CVirtualOutputRenderClient.h"

#include <utility>

CVirtualOutputRenderClient::CVirtualOutputRenderClient(std::shared_ptr<VirtualOutputDevice> pTarget,
                                                       uint64_t ullSerial)
    : pDevice(std::move(pTarget)), ullClient(ullSerial)
{
}

int32_t CVirtualOutputRenderClient::GetBuffer(uint32_t uiFrames, uint8_t** ppData)
{
    return pDevice->GetBuffer(ullClient, uiFrames, ppData);
}

int32_t CVirtualOutputRenderClient::ReleaseBuffer(uint32_t uiFrames, uint32_t uiFlags)
{
    return pDevice->ReleaseBuffer(ullClient, uiFrames, uiFlags);
}
