#pragma once
#include <cstdint>

class SMemory
{
public:
    virtual ~SMemory() = default;
    // 1 with zero-filled memory in *ppOut; -2 when none is available (*ppOut null).
    virtual int32_t Allocate(void** ppOut, uint64_t ullSize) = 0;
    // 1; -4 for a null pointer.
    virtual int32_t Free(void* pMemory) = 0;
};
