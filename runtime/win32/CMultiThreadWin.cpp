#include "runtime/CMultiThreadWin.h"

#include <algorithm>
#include <new>
#include <windows.h>

namespace
{
int PlatformPriority(int32_t iLevel)
{
    switch (iLevel)
    {
    case 1:
        return THREAD_PRIORITY_TIME_CRITICAL;
    case 2:
        return THREAD_PRIORITY_HIGHEST;
    case 3:
        return THREAD_PRIORITY_ABOVE_NORMAL;
    case 5:
        return THREAD_PRIORITY_BELOW_NORMAL;
    case 6:
        return THREAD_PRIORITY_LOWEST;
    case 7:
        return THREAD_PRIORITY_IDLE;
    default:
        return THREAD_PRIORITY_NORMAL;
    }
}
} // namespace

// The thread handle, closed when the record goes.
struct CMultiThreadWin::PlatformThread
{
    HANDLE hThread = nullptr;

    ~PlatformThread() { Close(); }

    void Close()
    {
        if (hThread != nullptr)
        {
            CloseHandle(hThread);
            hThread = nullptr;
        }
    }

    static DWORD WINAPI Entry(LPVOID pParameter)
    {
        auto* pContext = static_cast<ThreadContext*>(pParameter);
        auto* pOwner = static_cast<CMultiThreadWin*>(pContext->pOwner);
        // Resumed while the group is still only prepared: Start gave up, so the body never runs.
        if (pOwner->GetState() != THREAD_STATE_READY)
        {
            pOwner->RunThreadBody(pContext);
        }
        return 0;
    }
};

CMultiThreadWin::CMultiThreadWin()
{
    StopEvent.Create(0, 0);
    SYSTEM_INFO Info{};
    GetSystemInfo(&Info);
    ullProcessorCount = Info.dwNumberOfProcessors > 0 ? Info.dwNumberOfProcessors : 1;
    pStopEvent = &StopEvent;
}

CMultiThreadWin::~CMultiThreadWin()
{
    const int32_t iCurrent = GetState();
    if (iCurrent == THREAD_STATE_RUNNING || iCurrent == 3)
    {
        MessageBoxW(nullptr, L"Thread is still running.", L"Error", MB_ICONWARNING);
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
    const int iPlatformPriority = PlatformPriority(iLevel);
    bool bApplied = true;
    for (uint64_t i = 0; i < ullThreadCount; ++i)
    {
        // Every thread is tried even after a refusal.
        bApplied = SetThreadPriority(phThreads[i].hThread, iPlatformPriority) != 0 && bApplied;
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
        DWORD dwThreadId = 0;
        phThreads[i].hThread =
            CreateThread(nullptr, 0, &PlatformThread::Entry, &pContexts[i], CREATE_SUSPENDED, &dwThreadId);
        if (phThreads[i].hThread == nullptr)
        {
            pStopEvent->Set();
            AbandonThreads(i);
            return -1;
        }
        pThreadIds[i] = dwThreadId;
    }
    iState.store(THREAD_STATE_RUNNING, std::memory_order_release);
    // A refused priority leaves the threads at normal priority; they start all the same.
    SetPriority(iPriority);
    for (uint64_t i = 0; i < ullThreadCount; ++i)
    {
        ResumeThread(phThreads[i].hThread);
    }
    return 1;
}

void CMultiThreadWin::AbandonThreads(uint64_t ullCreated)
{
    // The state is still READY, so each thread returns at once without running the body.
    for (uint64_t i = 0; i < ullCreated; ++i)
    {
        ResumeThread(phThreads[i].hThread);
        WaitForSingleObject(phThreads[i].hThread, INFINITE);
        phThreads[i].Close();
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
    // One wait takes at most MAXIMUM_WAIT_OBJECTS handles, so larger groups wait chunk by chunk.
    HANDLE Chunk[MAXIMUM_WAIT_OBJECTS];
    for (uint64_t ullFirst = 0; ullFirst < ullThreadCount; ullFirst += MAXIMUM_WAIT_OBJECTS)
    {
        const uint64_t ullChunk = std::min<uint64_t>(MAXIMUM_WAIT_OBJECTS, ullThreadCount - ullFirst);
        for (uint64_t i = 0; i < ullChunk; ++i)
        {
            Chunk[i] = phThreads[ullFirst + i].hThread;
        }
        if (WaitForMultipleObjects(static_cast<DWORD>(ullChunk), Chunk, TRUE, INFINITE) == WAIT_FAILED)
        {
            return -1;
        }
    }
    for (uint64_t i = 0; i < ullThreadCount; ++i)
    {
        DWORD dwExitCode = 0;
        GetExitCodeThread(phThreads[i].hThread, &dwExitCode);
        pExitCodes[i] = dwExitCode;
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
