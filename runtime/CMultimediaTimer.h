#pragma once
#include "runtime/STimer.h"

#include <atomic>
#include <cstdint>
#include <memory>

// A stopwatch counting the ticks of a periodic 1 ms timer, and a precise one-shot Sleep.
class CMultimediaTimer : public STimer
{
public:
    CMultimediaTimer();
    // Kills the periodic timer; no tick arrives after it returns.
    ~CMultimediaTimer() override;

    int32_t GetFrequency(uint64_t* pullFrequency) override;
    int32_t GetCount(uint64_t* pullCount) override;
    // Restarts the counter from 0; a periodic timer that still runs is killed first.
    int32_t Start() override;
    int32_t Stop() override;
    // Sleeps 1 ... 1000000 ms; other lengths are refused with -1 on every platform.
    int32_t Sleep(uint32_t uiMilliseconds) override;

    static constexpr uint32_t MIN_SLEEP_MS = 1;
    static constexpr uint32_t MAX_SLEEP_MS = 1000000;

private:
    // Counts one millisecond; runs on the platform's timer thread.
    void Tick() { ullTickCounter.fetch_add(1, std::memory_order_relaxed); }

    // Platform hooks, defined per platform.
    // Starts the periodic timer and records its id in uiTimerId; false when it cannot be started.
    bool StartPeriodicTimer();
    void KillPeriodicTimer();
    // Sleeps a length already checked. 1, or -1 when the platform failed.
    int32_t SleepPlatform(uint32_t uiMilliseconds);
    void CreateSleepEvent();
    void CloseSleepEvent();

    // The periodic timer's platform part; defined per platform.
    struct PeriodicTimer;
    // Frees it where the type is complete.
    struct PeriodicTimerDeleter
    {
        void operator()(PeriodicTimer* pTimer) const;
    };

    uint32_t uiTimerId = 0;
    // Written by the timer thread and read by the owner's threads.
    std::atomic<uint64_t> ullTickCounter{0};
    // Windows: the auto-reset event the one-shot timer sets. POSIX sleeps need none.
    void* hSleepEvent = nullptr;
    std::unique_ptr<PeriodicTimer, PeriodicTimerDeleter> pPeriodicTimer;
};
