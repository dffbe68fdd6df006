#include "runtime/CMultimediaTimer.h"

// The platform-independent operations; the periodic timer, the sleep and the sleep event live in the
// platform folders.

CMultimediaTimer::CMultimediaTimer()
{
    CreateSleepEvent();
}

CMultimediaTimer::~CMultimediaTimer()
{
    KillPeriodicTimer();
    CloseSleepEvent();
    bRunning = 0;
    bStopped = 0;
    ullStartCount = 0;
    ullStopCount = 0;
    ullTickCounter.store(0, std::memory_order_relaxed);
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
    if (!StartPeriodicTimer())
    {
        return -1;
    }
    // The stopwatch bookkeeping is the base's.
    if (STimer::Start() < 0)
    {
        KillPeriodicTimer();
        return -1;
    }
    return 1;
}

int32_t CMultimediaTimer::Stop()
{
    KillPeriodicTimer();
    return STimer::Stop();
}

int32_t CMultimediaTimer::Sleep(uint32_t uiMilliseconds)
{
    if (uiMilliseconds < MIN_SLEEP_MS || uiMilliseconds > MAX_SLEEP_MS)
    {
        return -1;
    }
    return SleepPlatform(uiMilliseconds);
}
