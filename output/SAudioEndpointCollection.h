#pragma once
#include "output/SAudioEndpoint.h"
#include "runtime/CNonCopyable.h"

#include <cstdint>
#include <memory>

// A snapshot of the active output endpoints, in enumeration order.
class SAudioEndpointCollection : private CNonCopyable
{
public:
    virtual ~SAudioEndpointCollection() = default;

    virtual int32_t GetCount(uint32_t* puiCount) = 0;
    // Endpoint uiIndex of 0 ... count - 1; an index outside fails.
    virtual int32_t Item(uint32_t uiIndex, std::unique_ptr<SAudioEndpoint>& pEndpoint) = 0;
};
