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

void CMultiThreadWin::PlatformThreadDeleter::operator()(PlatformThread* pThreads) const
{
    delete[] pThreads;
}

uint64_t CMultiThreadWin::PlatformProcessorCount()
{
    SYSTEM_INFO Info{};
    GetSystemInfo(&Info);
    return Info.dwNumberOfProcessors > 0 ? Info.dwNumberOfProcessors : 1;
}

void CMultiThreadWin::WarnStillRunning()
{
    MessageBoxW(nullptr, L"Thread is still running.", L"Error", MB_ICONWARNING);
}

CMultiThreadWin::PlatformThread* CMultiThreadWin::NewPlatformThreads(uint64_t ullCount)
{
    return new (std::nothrow) PlatformThread[ullCount];
}

bool CMultiThreadWin::LaunchThread(uint64_t ullIndex)
{
    DWORD dwThreadId = 0;
    phThreads[ullIndex].hThread =
        CreateThread(nullptr, 0, &PlatformThread::Entry, &pContexts[ullIndex], CREATE_SUSPENDED, &dwThreadId);
    if (phThreads[ullIndex].hThread == nullptr)
    {
        return false;
    }
    pThreadIds[ullIndex] = dwThreadId;
    return true;
}

bool CMultiThreadWin::ApplyPriority(uint64_t ullIndex, int32_t iLevel)
{
    return SetThreadPriority(phThreads[ullIndex].hThread, PlatformPriority(iLevel)) != 0;
}

void CMultiThreadWin::LetThreadRun(uint64_t ullIndex)
{
    ResumeThread(phThreads[ullIndex].hThread);
}

void CMultiThreadWin::AbandonThread(uint64_t ullIndex)
{
    // The state is still READY, so the thread returns at once without running the body.
    ResumeThread(phThreads[ullIndex].hThread);
    WaitForSingleObject(phThreads[ullIndex].hThread, INFINITE);
    phThreads[ullIndex].Close();
}

int32_t CMultiThreadWin::JoinThreads()
{
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
    return 1;
}
