#pragma once
#include "output/SAudioEndpointCollection.h"
#include "output/alsa/AlsaEndpointInfo.h"

#include <vector>

// The ALSA output endpoints as they were listed when the collection was made.
class CAlsaEndpointCollection : public SAudioEndpointCollection
{
public:
    explicit CAlsaEndpointCollection(std::vector<AlsaEndpointInfo> Endpoints);

    int32_t GetCount(uint32_t* puiCount) override;
    int32_t Item(uint32_t uiIndex, std::unique_ptr<SAudioEndpoint>& pEndpoint) override;

private:
    std::vector<AlsaEndpointInfo> Items;
};
