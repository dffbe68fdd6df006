#include "runtime/CEvent.h"

// The platform-independent operations; creating, setting, resetting and waiting live in the
// platform folders.

CEvent::~CEvent()
{
    Close();
}

int32_t CEvent::Close()
{
    if (bCreated == 0)
    {
        return 0;
    }
    bManualReset = 0;
    bSignalled.store(0, std::memory_order_relaxed);
    DestroyPlatformEvent();
    hEvent = nullptr;
    bCreated = 0;
    return 1;
}

int32_t CEvent::Wait()
{
    return Wait(INFINITE_WAIT);
}
