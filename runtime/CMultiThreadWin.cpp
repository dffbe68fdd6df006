#include "runtime/CMultiThreadWin.h"

#include <new>

CMultiThreadWin::CMultiThreadWin()
{
    StopEvent.Create(0, 0);
    ullProcessorCount = PlatformProcessorCount();
    pStopEvent = &StopEvent;
}

CMultiThreadWin::~CMultiThreadWin()
{
    const int32_t iCurrent = GetState();
    if (iCurrent == THREAD_STATE_RUNNING || iCurrent == 3)
    {
        WarnStillRunning();
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
    std::unique_ptr<PlatformThread[], PlatformThreadDeleter> pNewThreads(NewPlatformThreads(ullCount));
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
        bApplied = ApplyPriority(i, iLevel) && bApplied;
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
        if (!LaunchThread(i))
        {
            pStopEvent->Set();
            AbandonThreads(i);
            return -1;
        }
    }
    iState.store(THREAD_STATE_RUNNING, std::memory_order_release);
    // A refused priority leaves the threads at normal priority; they start all the same.
    SetPriority(iPriority);
    for (uint64_t i = 0; i < ullThreadCount; ++i)
    {
        LetThreadRun(i);
    }
    return 1;
}

void CMultiThreadWin::AbandonThreads(uint64_t ullCreated)
{
    for (uint64_t i = 0; i < ullCreated; ++i)
    {
        AbandonThread(i);
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
    if (JoinThreads() != 1)
    {
        return -1;
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
