#include "runtime/CCriticalSection.h"

CCriticalSection::CCriticalSection() : pCriticalSection(&CriticalSection) {}

CCriticalSection::~CCriticalSection()
{
    // The std::recursive_mutex member is destroyed with the object.
    pCriticalSection = nullptr;
}

int32_t CCriticalSection::Enter()
{
    if (pCriticalSection == nullptr)
    {
        return -1;
    }
    pCriticalSection->lock();
    return 1;
}

int32_t CCriticalSection::Leave()
{
    if (pCriticalSection == nullptr)
    {
        return -1;
    }
    pCriticalSection->unlock();
    return 1;
}
