#pragma once
#include "runtime/CNonCopyable.h"
#include <cstdint>

// A millisecond stopwatch that can also sleep precisely. The stopwatch belongs to its owner's
// thread; Sleep serves one thread at a time.
class STimer : private CNonCopyable
{
public:
    virtual ~STimer() = default;

    // Ticks per second.
    virtual int32_t GetFrequency(uint64_t* pullFrequency) = 0;
    virtual int32_t GetCount(uint64_t* pullCount) = 0;
    // Latches the count as the start; 1, or GetCount's failure.
    virtual int32_t Start();
    // Latches the count as the stop; -1 unless running.
    virtual int32_t Stop();
    // Ticks from Start to now (running) or to Stop (stopped); -1 with 0 before any Start.
    virtual int32_t GetElapsedCount(uint64_t* pullCount);
    // The elapsed ticks in milliseconds, rounded down.
    virtual int32_t GetElapsedTime(uint64_t* pullMilliseconds);
    // 1 after about uiMilliseconds; -1 when the platform refuses the timer.
    virtual int32_t Sleep(uint32_t uiMilliseconds) = 0;

protected:
    int32_t bRunning = 0;
    int32_t bStopped = 0;
    uint64_t ullStartCount = 0;
    uint64_t ullStopCount = 0;
};
