#pragma once
#include <cstdint>

// Mutual exclusion inside one process. Recursive for the owning thread; leave as often as entered.
class SCriticalSection
{
public:
    virtual ~SCriticalSection() = default;
    virtual int32_t Enter() = 0;
    virtual int32_t Leave() = 0;
};
