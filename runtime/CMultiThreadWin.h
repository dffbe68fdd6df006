#pragma once
#include "runtime/CEvent.h"
#include "runtime/SMultiThread.h"

#include <cstdint>
#include <memory>

// Worker threads on the platform's threads: created suspended (on POSIX, held behind a gate), given
// their priority, then released in index order. The name is the player's own and holds on every
// platform: on Linux the same class runs on POSIX threads.
class CMultiThreadWin : public SMultiThread
{
public:
    CMultiThreadWin();
    // Warns when the threads still run, then stops and joins them before anything is freed.
    ~CMultiThreadWin() override;

    int32_t Release() override;
    int32_t Initialize(uint64_t ullCount) override;
    int32_t SetPriority(int32_t iLevel) override;
    int32_t Start(ThreadBody pBody) override;
    int32_t Reserved1() override { return -1; }
    int32_t Reserved2() override { return -1; }
    int32_t Reserved3() override { return -1; }
    int32_t WaitForExit() override;

    // The platform's identifier of thread ullIndex (on Linux the kernel thread id), 0 before Start.
    uint32_t GetThreadId(uint64_t ullIndex) const;
    // The exit code of thread ullIndex, collected by WaitForExit.
    uint32_t GetExitCode(uint64_t ullIndex) const;

private:
    // The platform thread with what it needs besides its handle; defined per platform.
    struct PlatformThread;
    // Frees an array of them where the type is complete.
    struct PlatformThreadDeleter
    {
        void operator()(PlatformThread* pThreads) const;
    };

    // Ends threads that were created but never released to run the body, and forgets them.
    void AbandonThreads(uint64_t ullCreated);

    // Platform hooks, defined per platform.
    static uint64_t PlatformProcessorCount();
    static void WarnStillRunning();
    // A new array of ullCount idle records, or null without memory.
    static PlatformThread* NewPlatformThreads(uint64_t ullCount);
    // Creates thread ullIndex held before its body and records its id; false when it cannot be created.
    bool LaunchThread(uint64_t ullIndex);
    bool ApplyPriority(uint64_t ullIndex, int32_t iLevel);
    // Lets a launched thread run its body.
    void LetThreadRun(uint64_t ullIndex);
    // Ends a launched thread that never ran its body.
    void AbandonThread(uint64_t ullIndex);
    // Waits for every thread and collects the exit codes. 1, or -1 when the wait failed.
    int32_t JoinThreads();

    std::unique_ptr<uint32_t[]> pThreadIds;
    std::unique_ptr<PlatformThread[], PlatformThreadDeleter> phThreads;
    std::unique_ptr<uint32_t[]> pExitCodes;
    CEvent StopEvent;
};
