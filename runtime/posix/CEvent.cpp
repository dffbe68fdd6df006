#include "runtime/CEvent.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace
{
// A Win32-style event: a flag guarded by a mutex, waited on through a condition variable.
struct PosixEvent
{
    std::mutex Mutex;
    std::condition_variable Condition;
    bool bState = false;
    bool bManual = false;
};

PosixEvent* AsEvent(void* hEvent)
{
    return static_cast<PosixEvent*>(hEvent);
}
} // namespace

int32_t CEvent::Create(int32_t iManualReset, int32_t iInitialState)
{
    Close();
    bManualReset = iManualReset != 0 ? 1 : 0;
    bSignalled.store(iInitialState == 1 ? 1 : 0, std::memory_order_relaxed);
    auto pEvent = std::make_unique<PosixEvent>();
    pEvent->bManual = bManualReset != 0;
    pEvent->bState = iInitialState == 1;
    hEvent = pEvent.release();
    bCreated = 1;
    return 1;
}

void CEvent::DestroyPlatformEvent()
{
    // Create released it into hEvent; taking it back frees it.
    const std::unique_ptr<PosixEvent> pEvent(AsEvent(hEvent));
}

int32_t CEvent::Set()
{
    if (bCreated == 0)
    {
        return -1;
    }
    PosixEvent* pEvent = AsEvent(hEvent);
    {
        std::lock_guard<std::mutex> Lock(pEvent->Mutex);
        pEvent->bState = true;
    }
    if (pEvent->bManual)
    {
        pEvent->Condition.notify_all();
    }
    else
    {
        pEvent->Condition.notify_one();
    }
    bSignalled.store(1, std::memory_order_relaxed);
    return 1;
}

int32_t CEvent::Reset()
{
    if (bCreated == 0)
    {
        return -1;
    }
    PosixEvent* pEvent = AsEvent(hEvent);
    {
        std::lock_guard<std::mutex> Lock(pEvent->Mutex);
        pEvent->bState = false;
    }
    bSignalled.store(0, std::memory_order_relaxed);
    return 1;
}

int32_t CEvent::Wait(uint32_t uiMilliseconds)
{
    if (bCreated == 0)
    {
        return -1;
    }
    PosixEvent* pEvent = AsEvent(hEvent);
    std::unique_lock<std::mutex> Lock(pEvent->Mutex);
    auto Ready = [pEvent] { return pEvent->bState; };
    if (uiMilliseconds == INFINITE_WAIT)
    {
        pEvent->Condition.wait(Lock, Ready);
    }
    else if (uiMilliseconds == 0)
    {
        // A look at the state: a timed wait that has already expired still costs a system call,
        // and the real-time threads look at their events this way on every pass.
        if (!Ready())
        {
            return 0;
        }
    }
    else if (!pEvent->Condition.wait_for(Lock, std::chrono::milliseconds(uiMilliseconds), Ready))
    {
        return 0;
    }
    if (!pEvent->bManual)
    {
        pEvent->bState = false;
        bSignalled.store(0, std::memory_order_relaxed);
    }
    return 1;
}
