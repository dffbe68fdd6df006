#include "runtime/CMemoryANSI.h"

#include <cstdlib>
#include <limits>

int32_t CMemoryANSI::Allocate(void** ppOut, uint64_t ullSize)
{
    if (ppOut == nullptr)
    {
        return -4;
    }
    *ppOut = nullptr;
    if (ullSize > std::numeric_limits<size_t>::max())
    {
        return -2;
    }
    // calloc zero-fills; a zero-byte request still yields a distinct pointer that Free accepts.
    void* pMemory = std::calloc(ullSize == 0 ? 1 : static_cast<size_t>(ullSize), 1);
    if (pMemory == nullptr)
    {
        return -2;
    }
    *ppOut = pMemory;
    return 1;
}

int32_t CMemoryANSI::Free(void* pMemory)
{
    if (pMemory == nullptr)
    {
        return -4;
    }
    std::free(pMemory);
    return 1;
}
