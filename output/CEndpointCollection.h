#pragma once
#include "output/SAudioEndpointCollection.h"

#include <functional>
#include <memory>
#include <vector>

// The endpoints of a back end as they were listed when the collection was made: each item makes its
// endpoint object when it is asked for.
class CEndpointCollection : public SAudioEndpointCollection
{
public:
    // Null only when the object could not be made.
    using EndpointMaker = std::function<std::unique_ptr<SAudioEndpoint>()>;

    explicit CEndpointCollection(std::vector<EndpointMaker> Endpoints);

    int32_t GetCount(uint32_t* puiCount) override;
    int32_t Item(uint32_t uiIndex, std::unique_ptr<SAudioEndpoint>& pEndpoint) override;

private:
    const std::vector<EndpointMaker> Items;
};
