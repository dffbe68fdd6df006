#include "runtime/CMultimediaTimer.h"

#include <cerrno>
#include <ctime>
#include <system_error>
#include <thread>

namespace
{
void AddMilliseconds(timespec& Time, uint32_t uiMilliseconds)
{
    Time.tv_sec += static_cast<time_t>(uiMilliseconds / 1000);
    Time.tv_nsec += static_cast<long>(uiMilliseconds % 1000) * 1000000L;
    if (Time.tv_nsec >= 1000000000L)
    {
        Time.tv_nsec -= 1000000000L;
        ++Time.tv_sec;
    }
}

// Sleeps until an absolute point of the monotonic clock, through any signal; 0 on success.
int SleepUntil(const timespec& Deadline)
{
    int iResult = 0;
    do
    {
        iResult = clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &Deadline, nullptr);
    } while (iResult == EINTR);
    return iResult;
}

std::atomic<uint32_t> NextTimerId{1};
} // namespace

// A thread that ticks on absolute 1 ms deadlines, so a late wake-up catches up instead of drifting.
struct CMultimediaTimer::PeriodicTimer
{
    std::thread Thread;
    std::atomic<bool> bStop{false};

    ~PeriodicTimer()
    {
        bStop.store(true, std::memory_order_relaxed);
        if (Thread.joinable())
        {
            Thread.join();
        }
    }

    void Run(CMultimediaTimer* pOwner)
    {
        timespec Next{};
        clock_gettime(CLOCK_MONOTONIC, &Next);
        while (!bStop.load(std::memory_order_relaxed))
        {
            AddMilliseconds(Next, 1);
            if (SleepUntil(Next) != 0 || bStop.load(std::memory_order_relaxed))
            {
                break;
            }
            pOwner->Tick();
        }
    }
};

void CMultimediaTimer::PeriodicTimerDeleter::operator()(PeriodicTimer* pTimer) const
{
    delete pTimer;
}

// POSIX sleeps need no event.
void CMultimediaTimer::CreateSleepEvent() {}

void CMultimediaTimer::CloseSleepEvent() {}

void CMultimediaTimer::KillPeriodicTimer()
{
    // Joins the tick thread: no tick arrives afterwards.
    pPeriodicTimer.reset();
    uiTimerId = 0;
}

bool CMultimediaTimer::StartPeriodicTimer()
{
    std::unique_ptr<PeriodicTimer, PeriodicTimerDeleter> pTimer(new PeriodicTimer);
    try
    {
        pTimer->Thread = std::thread(&PeriodicTimer::Run, pTimer.get(), this);
    }
    catch (const std::system_error&)
    {
        return false;
    }
    pPeriodicTimer = std::move(pTimer);
    uint32_t uiId = NextTimerId.fetch_add(1, std::memory_order_relaxed);
    if (uiId == 0)
    {
        uiId = NextTimerId.fetch_add(1, std::memory_order_relaxed);
    }
    uiTimerId = uiId;
    return true;
}

int32_t CMultimediaTimer::SleepPlatform(uint32_t uiMilliseconds)
{
    // An absolute deadline: time lost to a signal or to scheduling is not slept again.
    timespec Deadline{};
    if (clock_gettime(CLOCK_MONOTONIC, &Deadline) != 0)
    {
        return -1;
    }
    AddMilliseconds(Deadline, uiMilliseconds);
    return SleepUntil(Deadline) == 0 ? 1 : -1;
}
