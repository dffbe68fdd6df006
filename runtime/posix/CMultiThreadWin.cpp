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

CMultiThreadWin::CMultiThreadWin()
{
    StopEvent.Create(0, 0);
    const long lProcessors = sysconf(_SC_NPROCESSORS_ONLN);
    ullProcessorCount = lProcessors > 0 ? static_cast<uint64_t>(lProcessors) : 1;
    pStopEvent = &StopEvent;
}

CMultiThreadWin::~CMultiThreadWin()
{
    const int32_t iCurrent = GetState();
    if (iCurrent == THREAD_STATE_RUNNING || iCurrent == 3)
    {
        std::fputs("Error: Thread is still running.\n", stderr);
        std::fflush(stderr);
    }
    // Nothing the threads use may go away under them: stop and join them first.
    if (ThreadsMayRun(iCurrent))
    {
        pStopEvent->Set();
        iState.store(THREAD_STATE_STOPPING, std::memory_order_release);
        WaitForExit();
    }
    Release();
    // An object filled through SetParameter without Create still owns its buffers.
    ReleaseTables();
    ullThreadCount = 0;
    ullProcessorCount = 0;
    StopEvent.Close();
}

int32_t CMultiThreadWin::Initialize(uint64_t ullCount)
{
    if (GetState() >= THREAD_STATE_RUNNING)
    {
        return -1;
    }
    if (ullCount > 0xFFFFFFFFu)
    {
        return -4;
    }
    if (ullCount == 0)
    {
        ullCount = ullProcessorCount;
    }
    std::unique_ptr<uint32_t[]> pNewIds(new (std::nothrow) uint32_t[ullCount]());
    std::unique_ptr<PlatformThread[]> pNewThreads(new (std::nothrow) PlatformThread[ullCount]);
    std::unique_ptr<uint32_t[]> pNewExitCodes(new (std::nothrow) uint32_t[ullCount]());
    if (pNewIds == nullptr || pNewThreads == nullptr || pNewExitCodes == nullptr || !PrepareGroup(ullCount))
    {
        return -2;
    }
    pThreadIds = std::move(pNewIds);
    phThreads = std::move(pNewThreads);
    pExitCodes = std::move(pNewExitCodes);
    iState.store(THREAD_STATE_READY, std::memory_order_release);
    return 1;
}

int32_t CMultiThreadWin::SetPriority(int32_t iLevel)
{
    iPriority = iLevel;
    if (iLevel == 0 || GetState() != THREAD_STATE_RUNNING || phThreads == nullptr || ullThreadCount == 0)
    {
        return 1;
    }
    bool bApplied = true;
    for (uint64_t i = 0; i < ullThreadCount; ++i)
    {
        // Every thread is tried even after a refusal.
        bApplied = phThreads[i].ApplyPriority(iLevel) && bApplied;
    }
    return bApplied ? 1 : -1;
}

int32_t CMultiThreadWin::Start(ThreadBody pBody)
{
    if (pBody == nullptr)
    {
        return -4;
    }
    if (GetState() != THREAD_STATE_READY || phThreads == nullptr)
    {
        return -1;
    }
    pStopEvent->Reset();
    pThreadBody = pBody;
    for (uint64_t i = 0; i < ullThreadCount; ++i)
    {
        pContexts[i].ullReserved = 0;
        if (!phThreads[i].Launch(&pContexts[i]))
        {
            pStopEvent->Set();
            AbandonThreads(i);
            return -1;
        }
        pThreadIds[i] = static_cast<uint32_t>(phThreads[i].iTid);
    }
    iState.store(THREAD_STATE_RUNNING, std::memory_order_release);
    // A refused priority leaves the threads at normal priority; they start all the same.
    SetPriority(iPriority);
    for (uint64_t i = 0; i < ullThreadCount; ++i)
    {
        phThreads[i].OpenGate(GATE_OPEN);
    }
    return 1;
}

void CMultiThreadWin::AbandonThreads(uint64_t ullCreated)
{
    for (uint64_t i = 0; i < ullCreated; ++i)
    {
        phThreads[i].OpenGate(GATE_ABANDONED);
        phThreads[i].Thread.join();
        pThreadIds[i] = 0;
    }
}

int32_t CMultiThreadWin::WaitForExit()
{
    const int32_t iCurrent = GetState();
    if (iCurrent != THREAD_STATE_RUNNING && iCurrent != THREAD_STATE_STOPPING)
    {
        return 0;
    }
    for (uint64_t i = 0; i < ullThreadCount; ++i)
    {
        if (phThreads[i].Thread.joinable())
        {
            phThreads[i].Thread.join();
        }
        // The entry routine always ends with 0.
        pExitCodes[i] = 0;
    }
    iState.store(THREAD_STATE_FINISHED, std::memory_order_release);
    return 1;
}

int32_t CMultiThreadWin::Release()
{
    if (bCreated == 0)
    {
        return 0;
    }
    const int32_t iCurrent = GetState();
    if (iCurrent == THREAD_STATE_EMPTY)
    {
        return 1;
    }
    if (iCurrent != THREAD_STATE_READY && iCurrent != THREAD_STATE_FINISHED && iCurrent != 4)
    {
        return -1;
    }
    pStopEvent->Set();
    phThreads.reset();
    pStopEvent->Close();
    pThreadIds.reset();
    pExitCodes.reset();
    DiscardGroup();
    iState.store(THREAD_STATE_EMPTY, std::memory_order_release);
    ReleaseTables();
    bCreated = 0;
    return 1;
}

uint32_t CMultiThreadWin::GetThreadId(uint64_t ullIndex) const
{
    return pThreadIds != nullptr && ullIndex < ullThreadCount ? pThreadIds[ullIndex] : 0;
}

uint32_t CMultiThreadWin::GetExitCode(uint64_t ullIndex) const
{
    return pExitCodes != nullptr && ullIndex < ullThreadCount ? pExitCodes[ullIndex] : 0;
}
