#include "runtime/CCriticalSection.h"

CCriticalSection::CCriticalSection() : pCriticalSection(&CriticalSection)
{
    InitializeCriticalSection(&CriticalSection);
}

CCriticalSection::~CCriticalSection()
{
    if (pCriticalSection == &CriticalSection)
    {
        DeleteCriticalSection(&CriticalSection);
    }
    pCriticalSection = nullptr;
}

int32_t CCriticalSection::Enter()
{
    if (pCriticalSection == nullptr)
    {
        return -1;
    }
    EnterCriticalSection(pCriticalSection);
    return 1;
}

int32_t CCriticalSection::Leave()
{
    if (pCriticalSection == nullptr)
    {
        return -1;
    }
    LeaveCriticalSection(pCriticalSection);
    return 1;
}
