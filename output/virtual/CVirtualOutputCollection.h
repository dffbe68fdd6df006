#pragma once
#include "output/SAudioEndpointCollection.h"
#include "output/virtual/VirtualOutputDevice.h"

#include <memory>

// The endpoint list of the virtual output: the one endpoint.
class CVirtualOutputCollection : public SAudioEndpointCollection
{
public:
    explicit CVirtualOutputCollection(std::shared_ptr<VirtualOutputDevice> pDevice);

    int32_t GetCount(uint32_t* puiCount) override;
    int32_t Item(uint32_t uiIndex, std::unique_ptr<SAudioEndpoint>& pEndpoint) override;

private:
    std::shared_ptr<VirtualOutputDevice> pDevice;
};
