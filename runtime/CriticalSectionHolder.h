#pragma once
#include "runtime/CNonCopyable.h"
#include "runtime/SCriticalSection.h"

// Keeps a section entered for the rest of a scope, so early returns cannot leave it locked.
class CriticalSectionHolder : private CNonCopyable
{
public:
    // Enters pLock (when not null) and leaves it when the holder goes out of scope.
    explicit CriticalSectionHolder(SCriticalSection* pLock) : pLock(pLock)
    {
        if (pLock != nullptr)
        {
            pLock->Enter();
        }
    }
    ~CriticalSectionHolder() { Leave(); }

    // Leaves the section early; the destructor then does nothing.
    void Leave()
    {
        if (pLock != nullptr)
        {
            pLock->Leave();
            pLock = nullptr;
        }
    }

private:
    SCriticalSection* pLock;
};

// A copy of Value taken with pLock entered (when not null): one field that another thread may be
// writing under the same lock.
template <typename T> T ReadLocked(SCriticalSection* pLock, const T& Value)
{
    CriticalSectionHolder Holder(pLock);
    return Value;
}
