#pragma once
#include "output/SAudioEndpointCollection.h"
#include "tests/scripted/VirtualAudioDevice.h"

#include <memory>
#include <vector>

class CVirtualAudioLayer;

// The active virtual devices at the time of the enumeration, in the layer's order.
class CVirtualEndpointCollection : public SAudioEndpointCollection
{
public:
    CVirtualEndpointCollection(CVirtualAudioLayer* pLayer,
                               std::vector<std::shared_ptr<VirtualAudioDevice>> Devices);

    int32_t GetCount(uint32_t* puiCount) override;
    int32_t Item(uint32_t uiIndex, std::unique_ptr<SAudioEndpoint>& pEndpoint) override;

private:
    CVirtualAudioLayer* pLayer;
    std::vector<std::shared_ptr<VirtualAudioDevice>> Devices;
};
