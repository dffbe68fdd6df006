#pragma once
#include "runtime/SMemory.h"

// The C runtime's allocator.
class CMemoryANSI : public SMemory
{
public:
    int32_t Allocate(void** ppOut, uint64_t ullSize) override;
    int32_t Free(void* pMemory) override;
};
