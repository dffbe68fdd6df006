#pragma once
#include "output/CEndpointCollection.h"
#include "output/SAudioDeviceEnumerator.h"

#include <functional>
#include <memory>
#include <vector>

// The endpoint enumerator of a back end that finds its endpoints with two functions: the default
// endpoint, and the active endpoints as they are now, in enumeration order.
class CEndpointEnumerator : public SAudioDeviceEnumerator
{
public:
    using DefaultFinder = std::function<int32_t(std::unique_ptr<SAudioEndpoint>& pEndpoint)>;
    using ListFinder = std::function<std::vector<CEndpointCollection::EndpointMaker>()>;

    CEndpointEnumerator(DefaultFinder FindDefault, ListFinder ListActive);

    int32_t GetDefaultAudioEndpoint(std::unique_ptr<SAudioEndpoint>& pEndpoint) override;
    int32_t EnumAudioEndpoints(std::unique_ptr<SAudioEndpointCollection>& pCollection) override;

private:
    const DefaultFinder FindDefaultEndpoint;
    const ListFinder ListEndpoints;
};
