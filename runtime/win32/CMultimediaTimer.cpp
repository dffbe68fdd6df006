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

CMultimediaTimer::CMultimediaTimer()
{
    hSleepEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
}

CMultimediaTimer::~CMultimediaTimer()
{
    KillPeriodicTimer();
    if (hSleepEvent != nullptr)
    {
        CloseHandle(static_cast<HANDLE>(hSleepEvent));
        hSleepEvent = nullptr;
    }
    bRunning = 0;
    bStopped = 0;
    ullStartCount = 0;
    ullStopCount = 0;
    ullTickCounter.store(0, std::memory_order_relaxed);
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

int32_t CMultimediaTimer::GetFrequency(uint64_t* pullFrequency)
{
    if (pullFrequency == nullptr)
    {
        return -4;
    }
    *pullFrequency = 1000;
    return 1;
}

int32_t CMultimediaTimer::GetCount(uint64_t* pullCount)
{
    if (pullCount == nullptr)
    {
        return -4;
    }
    *pullCount = ullTickCounter.load(std::memory_order_relaxed);
    return 1;
}

int32_t CMultimediaTimer::Start()
{
    KillPeriodicTimer();
    ullTickCounter.store(0, std::memory_order_relaxed);
    const MMRESULT uiId = timeSetEvent(1, 0, &PeriodicTimer::Routine, reinterpret_cast<DWORD_PTR>(this),
                                       TIME_PERIODIC | TIME_CALLBACK_FUNCTION | TIME_KILL_SYNCHRONOUS);
    if (uiId == 0)
    {
        return -1;
    }
    if (GetCount(&ullStartCount) < 0)
    {
        timeKillEvent(uiId);
        return -1;
    }
    bRunning = 1;
    bStopped = 0;
    uiTimerId = uiId;
    return 1;
}

int32_t CMultimediaTimer::Stop()
{
    KillPeriodicTimer();
    if (bRunning != 1)
    {
        return -1;
    }
    GetCount(&ullStopCount);
    bRunning = 0;
    bStopped = 1;
    return 1;
}

int32_t CMultimediaTimer::Sleep(uint32_t uiMilliseconds)
{
    if (uiMilliseconds < MIN_SLEEP_MS || uiMilliseconds > MAX_SLEEP_MS || hSleepEvent == nullptr)
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
