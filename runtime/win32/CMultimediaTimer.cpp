#include "runtime/CMultimediaTimer.h"

#include <windows.h>

#include <mmsystem.h>

// On Windows the periodic timer is the winmm timer named by uiTimerId; this only hosts its callback.
struct CMultimediaTimer::PeriodicTimer
{
    static void CALLBACK Routine(UINT, UINT, DWORD_PTR dwUser, DWORD_PTR, DWORD_PTR)
    {
        reinterpret_cast<CMultimediaTimer*>(dwUser)->Tick();
    }
};

void CMultimediaTimer::PeriodicTimerDeleter::operator()(PeriodicTimer* pTimer) const
{
    delete pTimer;
}

void CMultimediaTimer::CreateSleepEvent()
{
    hSleepEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
}

void CMultimediaTimer::CloseSleepEvent()
{
    if (hSleepEvent != nullptr)
    {
        CloseHandle(static_cast<HANDLE>(hSleepEvent));
        hSleepEvent = nullptr;
    }
}

void CMultimediaTimer::KillPeriodicTimer()
{
    if (uiTimerId != 0)
    {
        // Created with TIME_KILL_SYNCHRONOUS: no callback runs once this returns.
        timeKillEvent(uiTimerId);
        uiTimerId = 0;
    }
}

bool CMultimediaTimer::StartPeriodicTimer()
{
    const MMRESULT uiId = timeSetEvent(1, 0, &PeriodicTimer::Routine, reinterpret_cast<DWORD_PTR>(this),
                                       TIME_PERIODIC | TIME_CALLBACK_FUNCTION | TIME_KILL_SYNCHRONOUS);
    if (uiId == 0)
    {
        return false;
    }
    uiTimerId = uiId;
    return true;
}

int32_t CMultimediaTimer::SleepPlatform(uint32_t uiMilliseconds)
{
    if (hSleepEvent == nullptr)
    {
        return -1;
    }
    // The one-shot timer sets the event itself when it expires.
    const MMRESULT uiId = timeSetEvent(uiMilliseconds, 0, reinterpret_cast<LPTIMECALLBACK>(hSleepEvent), 0,
                                       TIME_ONESHOT | TIME_CALLBACK_EVENT_SET);
    if (uiId == 0)
    {
        return -1;
    }
    return WaitForSingleObject(static_cast<HANDLE>(hSleepEvent), INFINITE) == WAIT_OBJECT_0 ? 1 : -1;
}
