#include "runtime/CMultiThreadWin.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <new>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace
{
constexpr int GATE_CLOSED = 0;
constexpr int GATE_OPEN = 1;
constexpr int GATE_ABANDONED = 2;

// Real-time priority for time-critical threads: above every normal thread, below the top of the
// range so the system's own real-time work can still preempt it.
int TimeCriticalPriority()
{
    return std::clamp(50, sched_get_priority_min(SCHED_FIFO), sched_get_priority_max(SCHED_FIFO));
}

// Nice steps of levels 2 ... 7 relative to the nice the thread inherited (level 4 and unknown
// levels keep it).
int NiceOffset(int32_t iLevel)
{
    switch (iLevel)
    {
    case 2:
        return -10;
    case 3:
        return -5;
    case 5:
        return 5;
    case 6:
        return 10;
    case 7:
        return 39; // clamped to the idlest nice, 19
    default:
        return 0;
    }
}
} // namespace

// A std::thread that waits behind its gate until Start opens it (the "created suspended" state).
struct CMultiThreadWin::PlatformThread
{
    std::thread Thread;
    std::mutex Mutex;
    std::condition_variable Condition;
    int iGate = GATE_CLOSED;
    bool bAnnounced = false;
    pid_t iTid = 0;
    int iBaseNice = 0;

    ~PlatformThread()
    {
        if (Thread.joinable())
        {
            OpenGate(GATE_ABANDONED);
            Thread.join();
        }
    }

    bool Launch(ThreadContext* pContext)
    {
        iGate = GATE_CLOSED;
        bAnnounced = false;
        try
        {
            Thread = std::thread(&PlatformThread::Run, this, pContext);
        }
        catch (const std::system_error&)
        {
            return false;
        }
        // The thread's kernel id and nice are needed for its priority before it may run.
        std::unique_lock<std::mutex> Lock(Mutex);
        Condition.wait(Lock, [this] { return bAnnounced; });
        return true;
    }

    void OpenGate(int iState)
    {
        {
            std::lock_guard<std::mutex> Lock(Mutex);
            iGate = iState;
        }
        Condition.notify_all();
    }

    void Run(ThreadContext* pContext)
    {
        int iState = GATE_CLOSED;
        {
            std::unique_lock<std::mutex> Lock(Mutex);
            iTid = gettid();
            errno = 0;
            const int iNice = getpriority(PRIO_PROCESS, static_cast<id_t>(iTid));
            iBaseNice = errno == 0 ? iNice : 0;
            bAnnounced = true;
            Condition.notify_all();
            Condition.wait(Lock, [this] { return iGate != GATE_CLOSED; });
            iState = iGate;
        }
        if (iState == GATE_OPEN)
        {
            static_cast<CMultiThreadWin*>(pContext->pOwner)->RunThreadBody(pContext);
        }
    }

    bool ApplyPriority(int32_t iLevel)
    {
        const pthread_t hThread = Thread.native_handle();
        sched_param Param{};
        if (iLevel == 1)
        {
            Param.sched_priority = TimeCriticalPriority();
            return pthread_setschedparam(hThread, SCHED_FIFO, &Param) == 0;
        }
        int iPolicy = SCHED_OTHER;
        sched_param Current{};
        if (pthread_getschedparam(hThread, &iPolicy, &Current) == 0 && iPolicy != SCHED_OTHER &&
            pthread_setschedparam(hThread, SCHED_OTHER, &Param) != 0)
        {
            return false;
        }
        const int iNice = std::clamp(iBaseNice + NiceOffset(iLevel), -20, 19);
        return setpriority(PRIO_PROCESS, static_cast<id_t>(iTid), iNice) == 0;
    }
};

void CMultiThreadWin::PlatformThreadDeleter::operator()(PlatformThread* pThreads) const
{
    delete[] pThreads;
}

uint64_t CMultiThreadWin::PlatformProcessorCount()
{
    const long lProcessors = sysconf(_SC_NPROCESSORS_ONLN);
    return lProcessors > 0 ? static_cast<uint64_t>(lProcessors) : 1;
}

void CMultiThreadWin::WarnStillRunning()
{
    std::fputs("Error: Thread is still running.\n", stderr);
    std::fflush(stderr);
}

CMultiThreadWin::PlatformThread* CMultiThreadWin::NewPlatformThreads(uint64_t ullCount)
{
    return new (std::nothrow) PlatformThread[ullCount];
}

bool CMultiThreadWin::LaunchThread(uint64_t ullIndex)
{
    if (!phThreads[ullIndex].Launch(&pContexts[ullIndex]))
    {
        return false;
    }
    pThreadIds[ullIndex] = static_cast<uint32_t>(phThreads[ullIndex].iTid);
    return true;
}

bool CMultiThreadWin::ApplyPriority(uint64_t ullIndex, int32_t iLevel)
{
    return phThreads[ullIndex].ApplyPriority(iLevel);
}

void CMultiThreadWin::LetThreadRun(uint64_t ullIndex)
{
    phThreads[ullIndex].OpenGate(GATE_OPEN);
}

void CMultiThreadWin::AbandonThread(uint64_t ullIndex)
{
    phThreads[ullIndex].OpenGate(GATE_ABANDONED);
    phThreads[ullIndex].Thread.join();
}

int32_t CMultiThreadWin::JoinThreads()
{
    for (uint64_t i = 0; i < ullThreadCount; ++i)
    {
        if (phThreads[i].Thread.joinable())
        {
            phThreads[i].Thread.join();
        }
        // The entry routine always ends with 0.
        pExitCodes[i] = 0;
    }
    return 1;
}
