#pragma once
#include "output/SAudioEndpoint.h"
#include "output/SAudioEndpointCollection.h"
#include "runtime/CNonCopyable.h"

#include <cstdint>
#include <memory>

// Finds output endpoints. Only render endpoints exist for this layer.
class SAudioDeviceEnumerator : private CNonCopyable
{
public:
    virtual ~SAudioDeviceEnumerator() = default;

    // The default output endpoint for the console role.
    virtual int32_t GetDefaultAudioEndpoint(std::unique_ptr<SAudioEndpoint>& pEndpoint) = 0;
    // The active output endpoints, in an order that stays the same from one enumeration to the
    // next while the set of endpoints does not change (the device list and the set-up by index
    // rely on it).
    virtual int32_t EnumAudioEndpoints(std::unique_ptr<SAudioEndpointCollection>& pCollection) = 0;
};
