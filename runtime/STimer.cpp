#include "runtime/STimer.h"

int32_t STimer::Start()
{
    const int32_t iResult = GetCount(&ullStartCount);
    if (iResult < 0)
    {
        return iResult;
    }
    bRunning = 1;
    bStopped = 0;
    return 1;
}

int32_t STimer::Stop()
{
    if (bRunning != 1)
    {
        return -1;
    }
    GetCount(&ullStopCount);
    bRunning = 0;
    bStopped = 1;
    return 1;
}

int32_t STimer::GetElapsedCount(uint64_t* pullCount)
{
    if (pullCount == nullptr)
    {
        return -4;
    }
    uint64_t ullNow = 0;
    GetCount(&ullNow);
    if (bStopped == 1)
    {
        *pullCount = ullStopCount - ullStartCount;
        return 1;
    }
    if (bRunning == 1)
    {
        *pullCount = ullNow - ullStartCount;
        return 1;
    }
    *pullCount = 0;
    return -1;
}

int32_t STimer::GetElapsedTime(uint64_t* pullMilliseconds)
{
    if (pullMilliseconds == nullptr)
    {
        return -4;
    }
    *pullMilliseconds = 0;
    uint64_t ullFrequency = 0;
    int32_t iResult = GetFrequency(&ullFrequency);
    if (iResult < 0)
    {
        return iResult;
    }
    uint64_t ullElapsed = 0;
    iResult = GetElapsedCount(&ullElapsed);
    if (iResult < 0)
    {
        return iResult;
    }
    if (ullFrequency == 0)
    {
        return -1;
    }
    *pullMilliseconds = ullElapsed * 1000 / ullFrequency;
    return 1;
}
