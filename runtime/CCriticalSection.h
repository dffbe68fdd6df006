#pragma once
#include "runtime/CNonCopyable.h"
#include "runtime/SCriticalSection.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <mutex>
#endif

class CCriticalSection : public SCriticalSection, private CNonCopyable
{
public:
    CCriticalSection();
    ~CCriticalSection() override;

    int32_t Enter() override;
    int32_t Leave() override;

private:
#ifdef _WIN32
    CRITICAL_SECTION CriticalSection;
    CRITICAL_SECTION* pCriticalSection;
#else
    std::recursive_mutex CriticalSection;
    std::recursive_mutex* pCriticalSection;
#endif
};
