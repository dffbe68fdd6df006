#include "output/virtual/CVirtualOutputCollection.h"

#include "output/AudioClientConstants.h"
#include "output/virtual/CVirtualOutputEndpoint.h"

#include <new>
#include <utility>

CVirtualOutputCollection::CVirtualOutputCollection(std::shared_ptr<VirtualOutputDevice> pTarget)
    : pDevice(std::move(pTarget))
{
}

int32_t CVirtualOutputCollection::GetCount(uint32_t* puiCount)
{
    if (puiCount == nullptr)
    {
        return AUDIO_E_POINTER;
    }
    *puiCount = 1;
    return AUDIO_OK;
}

int32_t CVirtualOutputCollection::Item(uint32_t uiIndex, std::unique_ptr<SAudioEndpoint>& pEndpoint)
{
    pEndpoint.reset();
    if (uiIndex != 0)
    {
        return AUDIO_E_INVALIDARG;
    }
    pEndpoint.reset(new (std::nothrow) CVirtualOutputEndpoint(pDevice));
    return pEndpoint != nullptr ? AUDIO_OK : AUDIO_E_OUTOFMEMORY;
}
