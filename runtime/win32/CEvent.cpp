#include "runtime/CEvent.h"

#include <windows.h>

int32_t CEvent::Create(int32_t iManualReset, int32_t iInitialState)
{
    Close();
    DWORD dwFlags = 0;
    if (iManualReset != 0)
    {
        dwFlags |= CREATE_EVENT_MANUAL_RESET;
        bManualReset = 1;
    }
    if (iInitialState == 1)
    {
        dwFlags |= CREATE_EVENT_INITIAL_SET;
        bSignalled.store(1, std::memory_order_relaxed);
    }
    HANDLE hNew = CreateEventExW(nullptr, nullptr, dwFlags, EVENT_MODIFY_STATE | SYNCHRONIZE);
    if (hNew == nullptr)
    {
        bManualReset = 0;
        bSignalled.store(0, std::memory_order_relaxed);
        return -1;
    }
    hEvent = hNew;
    bCreated = 1;
    return 1;
}

void* CEvent::GetNativeHandle() const
{
    return bCreated != 0 ? hEvent : nullptr;
}

void CEvent::DestroyPlatformEvent()
{
    CloseHandle(static_cast<HANDLE>(hEvent));
}

int32_t CEvent::Set()
{
    if (bCreated == 0)
    {
        return -1;
    }
    if (!SetEvent(static_cast<HANDLE>(hEvent)))
    {
        bSignalled.store(0, std::memory_order_relaxed);
        return -1;
    }
    bSignalled.store(1, std::memory_order_relaxed);
    return 1;
}

int32_t CEvent::Reset()
{
    if (bCreated == 0 || !ResetEvent(static_cast<HANDLE>(hEvent)))
    {
        return -1;
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
    switch (WaitForSingleObject(static_cast<HANDLE>(hEvent), uiMilliseconds))
    {
    case WAIT_OBJECT_0:
        if (bManualReset == 0)
        {
            bSignalled.store(0, std::memory_order_relaxed);
        }
        return 1;
    case WAIT_TIMEOUT:
        return 0;
    default:
        return -1;
    }
}
