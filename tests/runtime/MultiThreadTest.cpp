#include "runtime/CEvent.h"
#include "runtime/CMultiThreadWin.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <set>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <linux/capability.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace
{
// What the bodies share with the test, handed over by name as the real owners do.
struct Probe
{
    Probe()
    {
        AllStarted.Create(1, 0);
        Resume.Create(1, 0);
    }
    // Makes a group of ullThreads threads in Worker that will find this probe; true when both worked.
    bool Watch(CMultiThreadWin& Worker, uint64_t ullThreads)
    {
        ullExpected = ullThreads;
        return Worker.Create(ullThreads) == 1 &&
               Worker.SetParameter(u"pProbe", reinterpret_cast<uintptr_t>(this)) == 3;
    }

    uint64_t ullExpected = 0;
    std::atomic<uint64_t> ullStarted{0};
    std::atomic<uint64_t> ullFinished{0};
    std::atomic<int> iPriorityAtStart{0};
    CEvent AllStarted;
    CEvent Resume;
};

Probe* ProbeOf(ThreadContext* pContext)
{
    uint64_t ullAddress = 0;
    if (pContext->pOwner->GetParameter(u"pProbe", &ullAddress) != 1)
    {
        return nullptr;
    }
    return reinterpret_cast<Probe*>(static_cast<uintptr_t>(ullAddress));
}

void AnnounceStart(Probe* pProbe)
{
    if (pProbe->ullStarted.fetch_add(1) + 1 == pProbe->ullExpected)
    {
        pProbe->AllStarted.Set();
    }
}

// Writes its index into the shared buffer and reports where it sits in the group.
uint64_t IndexBody(ThreadContext* pContext)
{
    void* pBuffer = nullptr;
    uint64_t ullBytes = 0;
    if (pContext->pOwner->GetBuffer(u"pdfShared", &pBuffer, &ullBytes) != 1 ||
        ullBytes < (pContext->ullIndex + 1) * sizeof(double))
    {
        return 0;
    }
    static_cast<double*>(pBuffer)[pContext->ullIndex] = static_cast<double>(pContext->ullIndex);
    return (pContext->ullIndex << 32) | pContext->ullCount;
}

// Polls the stop event the way the playback thread does.
uint64_t PollingBody(ThreadContext* pContext)
{
    Probe* pProbe = ProbeOf(pContext);
    if (pProbe == nullptr)
    {
        return 0;
    }
    AnnounceStart(pProbe);
    SEvent* pStop = pContext->pOwner->GetStopEvent();
    while (pStop->Wait(0) == 0)
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    pProbe->ullFinished.fetch_add(1);
    return 7 + pContext->ullIndex;
}

// Blocks on the stop event.
uint64_t WaitingBody(ThreadContext* pContext)
{
    Probe* pProbe = ProbeOf(pContext);
    if (pProbe == nullptr)
    {
        return 0;
    }
    AnnounceStart(pProbe);
    pContext->pOwner->GetStopEvent()->Wait();
    pProbe->ullFinished.fetch_add(1);
    return 1000 + pContext->ullIndex;
}

#ifdef _WIN32
int CurrentPriority()
{
    return GetThreadPriority(GetCurrentThread());
}
#else
constexpr int FIFO_MARK = 1000;

// FIFO_MARK for a real-time thread, otherwise its nice value.
int CurrentPriority()
{
    int iPolicy = SCHED_OTHER;
    sched_param Param{};
    pthread_getschedparam(pthread_self(), &iPolicy, &Param);
    if (iPolicy == SCHED_FIFO)
    {
        return FIFO_MARK;
    }
    return getpriority(PRIO_PROCESS, 0);
}

bool SystemGrantsRealTime()
{
    bool bGranted = false;
    std::thread Trial(
        [&bGranted]
        {
            sched_param Param{};
            Param.sched_priority = sched_get_priority_min(SCHED_FIFO);
            bGranted = pthread_setschedparam(pthread_self(), SCHED_FIFO, &Param) == 0;
        });
    Trial.join();
    return bGranted;
}

// Capabilities belong to a thread on Linux: this drops CAP_SYS_NICE from the calling thread only, and
// the threads it creates inherit the loss.
bool DropNiceCapabilityOfThisThread()
{
    __user_cap_header_struct Header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct Data[_LINUX_CAPABILITY_U32S_3]{};
    if (syscall(SYS_capget, &Header, Data) != 0)
    {
        return false;
    }
    Data[CAP_TO_INDEX(CAP_SYS_NICE)].effective &= ~CAP_TO_MASK(CAP_SYS_NICE);
    return syscall(SYS_capset, &Header, Data) == 0;
}
#endif

// Reports the priority it starts with, then the one it has when resumed.
uint64_t PriorityBody(ThreadContext* pContext)
{
    Probe* pProbe = ProbeOf(pContext);
    if (pProbe == nullptr)
    {
        return 0;
    }
    pProbe->iPriorityAtStart.store(CurrentPriority());
    AnnounceStart(pProbe);
    pProbe->Resume.Wait();
    return static_cast<uint64_t>(static_cast<int64_t>(CurrentPriority()));
}

} // namespace

TEST(MultiThread, FourThreadGroupSeesItsIndexesAndInputs)
{
    CMultiThreadWin Worker;
    ASSERT_EQ(Worker.Create(4), 1);
    EXPECT_EQ(Worker.IsCreated(), 1);
    EXPECT_EQ(Worker.GetState(), THREAD_STATE_READY);
    ASSERT_EQ(Worker.GetThreadCount(), 4u);
    for (uint64_t i = 0; i < 4; ++i)
    {
        const ThreadContext* pContext = Worker.GetContext(i);
        ASSERT_NE(pContext, nullptr);
        EXPECT_EQ(pContext->ullIndex, i);
        EXPECT_EQ(pContext->ullCount, 4u);
        EXPECT_EQ(pContext->pOwner, &Worker);
    }
    EXPECT_EQ(Worker.GetContext(4), nullptr);
    ASSERT_EQ(Worker.AllocateBuffer(u"pdfShared", 4 * sizeof(double)), 3);

    ASSERT_EQ(Worker.Start(&IndexBody), 1);
    // Without RequestStop the wait collects bodies that end by themselves.
    ASSERT_EQ(Worker.WaitForExit(), 1);
    EXPECT_EQ(Worker.GetState(), THREAD_STATE_FINISHED);
    void* pBuffer = nullptr;
    uint64_t ullBytes = 0;
    ASSERT_EQ(Worker.GetBuffer(u"pdfShared", &pBuffer, &ullBytes), 1);
    std::set<uint32_t> ThreadIds;
    for (uint64_t i = 0; i < 4; ++i)
    {
        EXPECT_EQ(Worker.GetResult(i), (i << 32) | 4u) << i;
        EXPECT_EQ(static_cast<double*>(pBuffer)[i], static_cast<double>(i));
        EXPECT_EQ(Worker.GetExitCode(i), 0u);
        ThreadIds.insert(Worker.GetThreadId(i));
    }
    EXPECT_EQ(ThreadIds.size(), 4u);
    EXPECT_EQ(ThreadIds.count(0), 0u);
    EXPECT_EQ(Worker.Release(), 1);
    EXPECT_EQ(Worker.GetState(), THREAD_STATE_EMPTY);
    EXPECT_EQ(Worker.IsCreated(), 0);
}

TEST(MultiThread, ZeroThreadsMeansOnePerProcessor)
{
    CMultiThreadWin Worker;
    ASSERT_GE(Worker.GetProcessorCount(), 1u);
    ASSERT_EQ(Worker.Create(0), 1);
    EXPECT_EQ(Worker.GetThreadCount(), Worker.GetProcessorCount());
    ASSERT_EQ(Worker.AllocateBuffer(u"pdfShared", Worker.GetThreadCount() * sizeof(double)), 3);
    ASSERT_EQ(Worker.Start(&IndexBody), 1);
    ASSERT_EQ(Worker.WaitForExit(), 1);
    for (uint64_t i = 0; i < Worker.GetThreadCount(); ++i)
    {
        EXPECT_EQ(Worker.GetResult(i) >> 32, i);
    }
}

TEST(MultiThread, LifecycleRefusesEveryOutOfTurnCall)
{
    CMultiThreadWin Worker;
    EXPECT_EQ(Worker.GetState(), THREAD_STATE_EMPTY);
    EXPECT_EQ(Worker.Release(), 0);
    EXPECT_EQ(Worker.WaitForExit(), 0);
    EXPECT_EQ(Worker.Start(&PollingBody), -1) << "nothing prepared";
    EXPECT_EQ(Worker.Initialize(0x100000000ull), -4);
    EXPECT_EQ(Worker.Create(0x100000000ull), -1);
    EXPECT_EQ(Worker.IsCreated(), 0);
    EXPECT_EQ(Worker.Reserved1(), -1);
    EXPECT_EQ(Worker.Reserved2(), -1);
    EXPECT_EQ(Worker.Reserved3(), -1);

    Probe Shared;
    ASSERT_TRUE(Shared.Watch(Worker, 2));
    Worker.RequestStop();
    EXPECT_EQ(Worker.GetState(), THREAD_STATE_READY);
    EXPECT_EQ(Worker.WaitForExit(), 0);
    EXPECT_EQ(Worker.Start(nullptr), -4);
    EXPECT_EQ(Worker.GetState(), THREAD_STATE_READY);

    ASSERT_EQ(Worker.Start(&PollingBody), 1);
    EXPECT_EQ(Worker.GetState(), THREAD_STATE_RUNNING);
    ASSERT_EQ(Shared.AllStarted.Wait(), 1);
    EXPECT_EQ(Worker.Start(&PollingBody), -1);
    EXPECT_EQ(Worker.Initialize(1), -1);
    EXPECT_EQ(Worker.GetThreadCount(), 2u);
    EXPECT_EQ(Worker.SetParameter(u"pLate", 1), -1);
    EXPECT_EQ(Worker.AllocateBuffer(u"pdfLate", 8), -1);
    EXPECT_EQ(Worker.Release(), -1);
    EXPECT_EQ(Worker.Create(1), -1);
    EXPECT_EQ(Shared.ullFinished.load(), 0u) << "the bodies run until asked to stop";

    Worker.RequestStop();
    EXPECT_EQ(Worker.GetState(), THREAD_STATE_STOPPING);
    EXPECT_EQ(Worker.Release(), -1);
    EXPECT_EQ(Worker.Initialize(1), -1);
    ASSERT_EQ(Worker.WaitForExit(), 1);
    EXPECT_EQ(Worker.GetState(), THREAD_STATE_FINISHED);
    EXPECT_EQ(Shared.ullFinished.load(), 2u);
    EXPECT_EQ(Worker.GetResult(0), 7u);
    EXPECT_EQ(Worker.GetResult(1), 8u);
    EXPECT_EQ(Worker.WaitForExit(), 0);

    EXPECT_EQ(Worker.Initialize(1), -1);
    EXPECT_EQ(Worker.SetParameter(u"pLate", 1), -1);
    Worker.RequestStop();
    EXPECT_EQ(Worker.GetState(), THREAD_STATE_FINISHED);

    // Create releases the finished group (parameters included) and prepares a new one.
    ASSERT_EQ(Worker.Create(3), 1);
    EXPECT_EQ(Worker.GetState(), THREAD_STATE_READY);
    EXPECT_EQ(Worker.GetThreadCount(), 3u);
    uint64_t ullValue = 1;
    EXPECT_EQ(Worker.GetParameter(u"pProbe", &ullValue), -10);
    EXPECT_EQ(ullValue, 0u);
    ASSERT_EQ(Worker.AllocateBuffer(u"pdfShared", 3 * sizeof(double)), 3);
    ASSERT_EQ(Worker.Start(&IndexBody), 1);
    ASSERT_EQ(Worker.WaitForExit(), 1);
    EXPECT_EQ(Worker.GetResult(2), (2ull << 32) | 3u);
    EXPECT_EQ(Worker.Release(), 1);
    EXPECT_EQ(Worker.Release(), 0);
}

TEST(MultiThread, GroupsLargerThanOneWaitAreCollected)
{
    constexpr uint64_t THREADS = 100;
    Probe Shared;
    CMultiThreadWin Worker;
    ASSERT_TRUE(Shared.Watch(Worker, THREADS));
    ASSERT_EQ(Worker.Start(&WaitingBody), 1);
    ASSERT_EQ(Shared.AllStarted.Wait(), 1);
    Worker.RequestStop();
    ASSERT_EQ(Worker.WaitForExit(), 1);
    // Every result is in place, also those beyond the first 64 threads.
    EXPECT_EQ(Shared.ullFinished.load(), THREADS);
    for (uint64_t i = 0; i < THREADS; ++i)
    {
        ASSERT_EQ(Worker.GetResult(i), 1000 + i) << i;
        ASSERT_EQ(Worker.GetExitCode(i), 0u) << i;
    }
}

TEST(MultiThread, PriorityTakesEffectWhenStarted)
{
    Probe Shared;
    CMultiThreadWin Worker;
    ASSERT_TRUE(Shared.Watch(Worker, 1));
    // Before Start the level is only stored.
    EXPECT_EQ(Worker.SetPriority(1), 1);
    EXPECT_EQ(Worker.GetPriority(), 1);
    // Start succeeds whether or not the system grants the priority.
    ASSERT_EQ(Worker.Start(&PriorityBody), 1);
    ASSERT_EQ(Shared.AllStarted.Wait(), 1);
#ifdef _WIN32
    EXPECT_EQ(Shared.iPriorityAtStart.load(), THREAD_PRIORITY_TIME_CRITICAL);
    EXPECT_EQ(Worker.SetPriority(1), 1);
    const int iLowest = THREAD_PRIORITY_LOWEST;
#else
    const bool bGranted = SystemGrantsRealTime();
    EXPECT_EQ(Shared.iPriorityAtStart.load() == FIFO_MARK, bGranted);
    EXPECT_EQ(Worker.SetPriority(1), bGranted ? 1 : -1);
    // Level 6 is ten nice steps below what the thread inherited; lowering is always allowed.
    const int iLowest = std::min(getpriority(PRIO_PROCESS, 0) + 10, 19);
#endif
    EXPECT_EQ(Worker.SetPriority(6), 1);
    Shared.Resume.Set();
    ASSERT_EQ(Worker.WaitForExit(), 1);
    EXPECT_EQ(static_cast<int64_t>(Worker.GetResult(0)), iLowest);
    // Level 0 after the threads ended only records the level.
    EXPECT_EQ(Worker.SetPriority(0), 1);
    EXPECT_EQ(Worker.GetPriority(), 0);
}

TEST(MultiThread, DestroyingAStoppingGroupJoinsItFirst)
{
    Probe Shared;
    {
        CMultiThreadWin Worker;
        ASSERT_TRUE(Shared.Watch(Worker, 3));
        ASSERT_EQ(Worker.AllocateBuffer(u"pdfLocalBuffer", 1024), 3);
        ASSERT_EQ(Worker.Start(&WaitingBody), 1);
        ASSERT_EQ(Shared.AllStarted.Wait(), 1);
        Worker.RequestStop();
    }
    EXPECT_EQ(Shared.ullFinished.load(), 3u);
}

#ifndef _WIN32
// On Windows the same warning is a modal message box, which a test cannot answer.
TEST(MultiThread, DestroyingARunningGroupWarnsAndStopsIt)
{
    Probe Shared;
    testing::internal::CaptureStderr();
    {
        CMultiThreadWin Worker;
        ASSERT_TRUE(Shared.Watch(Worker, 2));
        ASSERT_EQ(Worker.Start(&PollingBody), 1);
        ASSERT_EQ(Shared.AllStarted.Wait(), 1);
    }
    const std::string Output = testing::internal::GetCapturedStderr();
    EXPECT_NE(Output.find("Error: Thread is still running."), std::string::npos) << Output;
    EXPECT_EQ(Shared.ullFinished.load(), 2u);
}
#endif

#ifndef _WIN32
TEST(MultiThread, RefusedRealTimePriorityStillStarts)
{
    bool bRefused = false;
    int iPriorityAtStart = 0;
    int32_t iStart = 0;
    int32_t iSetPriority = 0;
    int32_t iWait = 0;
    uint64_t ullResult = 0;
    // An owner without the right to real-time scheduling, as an ordinary user is.
    std::thread Owner(
        [&]
        {
            if (!DropNiceCapabilityOfThisThread() || SystemGrantsRealTime())
            {
                return;
            }
            bRefused = true;
            Probe Shared;
            CMultiThreadWin Worker;
            if (!Shared.Watch(Worker, 1) || Worker.SetPriority(1) != 1)
            {
                return;
            }
            iStart = Worker.Start(&PriorityBody);
            if (iStart != 1 || Shared.AllStarted.Wait() != 1)
            {
                return;
            }
            iPriorityAtStart = Shared.iPriorityAtStart.load();
            iSetPriority = Worker.SetPriority(1);
            Shared.Resume.Set();
            iWait = Worker.WaitForExit();
            ullResult = Worker.GetResult(0);
        });
    Owner.join();
    if (!bRefused)
    {
        GTEST_SKIP() << "real-time scheduling cannot be withheld here";
    }
    EXPECT_EQ(iStart, 1);
    EXPECT_NE(iPriorityAtStart, FIFO_MARK);
    EXPECT_EQ(iPriorityAtStart, getpriority(PRIO_PROCESS, 0)) << "the thread runs at normal priority";
    EXPECT_EQ(iSetPriority, -1);
    EXPECT_EQ(iWait, 1);
    EXPECT_EQ(static_cast<int>(static_cast<int64_t>(ullResult)), iPriorityAtStart);
}
#endif
