#pragma once
#include "runtime/CNonCopyable.h"
#include "runtime/ParameterTable.h"
#include "runtime/SEvent.h"

#include <atomic>
#include <cstdint>
#include <memory>

class SMultiThread;

// One record per thread of a group, handed to the body.
struct ThreadContext
{
    uint64_t ullIndex;    // 0-based position in the group
    uint64_t ullCount;    // threads in the group
    SMultiThread* pOwner; // where the body finds its parameters and the stop event
    uint64_t ullReserved;
};

// The function every thread of a group runs; its result is kept per thread.
using ThreadBody = uint64_t (*)(ThreadContext* pContext);

constexpr int32_t THREAD_STATE_EMPTY = 0;
constexpr int32_t THREAD_STATE_READY = 1;
constexpr int32_t THREAD_STATE_RUNNING = 2;
constexpr int32_t THREAD_STATE_FINISHED = 5;
constexpr int32_t THREAD_STATE_STOPPING = 6;

// A group of worker threads running one body, with the named inputs the body reads, a stop event it
// polls and the result of each thread. Every operation belongs to the owner's thread; the threads
// only run the body.
class SMultiThread : private CNonCopyable
{
public:
    virtual ~SMultiThread() = default;

    // 1 (also when nothing was prepared); 0 when Create never succeeded; -1 while threads run or stop.
    virtual int32_t Release() = 0;
    // Prepares ullThreadCount threads (0 = one per processor). 1; -1 once threads were started;
    // -4 for more than 0xFFFFFFFF threads; -2 without memory.
    virtual int32_t Initialize(uint64_t ullThreadCount) = 0;
    // Level 1 time-critical ... 7 idle, 0 normal. 1; -1 when the platform refused it for any thread.
    virtual int32_t SetPriority(int32_t iLevel) = 0;
    // Starts every prepared thread on pBody. 1; -1 when a thread cannot be created or the group is
    // not prepared; -4 without a body.
    virtual int32_t Start(ThreadBody pBody) = 0;
    virtual int32_t Reserved1() = 0;
    virtual int32_t Reserved2() = 0;
    virtual int32_t Reserved3() = 0;
    // 1 after every thread ended; 0 when no thread runs or stops.
    virtual int32_t WaitForExit() = 0;

    // Release, then a fresh stop event and Initialize. 1, or the first failure.
    int32_t Create(uint64_t ullThreadCount);
    // Sets the stop event of a running group and moves it to stopping.
    void RequestStop();

    // Named inputs for the bodies, stored under "*::" + name. SetParameter works only before Start.
    int32_t SetParameter(const char16_t* pName, uint64_t ullValue);
    int32_t GetParameter(const char16_t* pName, uint64_t* pullValue) const;
    // A zero-filled buffer owned by this object until Release, recorded with its size under the name.
    int32_t AllocateBuffer(const char16_t* pName, uint64_t ullSize);
    // 1 with both outputs written; -1 otherwise (outputs untouched).
    int32_t GetBuffer(const char16_t* pName, void** ppBuffer, uint64_t* pullSize) const;

    SEvent* GetStopEvent() const { return pStopEvent; }
    int32_t GetState() const { return iState.load(std::memory_order_acquire); }
    int32_t IsCreated() const { return bCreated; }
    uint64_t GetThreadCount() const { return ullThreadCount; }
    uint64_t GetProcessorCount() const { return ullProcessorCount; }
    int32_t GetPriority() const { return iPriority; }
    // The result of thread ullIndex's body; meaningful after WaitForExit. 0 outside the group.
    uint64_t GetResult(uint64_t ullIndex) const;
    // The context of thread ullIndex, or null.
    const ThreadContext* GetContext(uint64_t ullIndex) const;

protected:
    // Running or stopping (and 3, never entered, but treated like a running group).
    static bool ThreadsMayRun(int32_t iState)
    {
        return iState == THREAD_STATE_RUNNING || iState == THREAD_STATE_STOPPING || iState == 3;
    }
    // What every platform thread does: run the body and keep its result.
    void RunThreadBody(ThreadContext* pContext);
    // Makes the contexts and results of a group of ullCount threads; false without memory.
    bool PrepareGroup(uint64_t ullCount);
    void DiscardGroup();
    // Frees every buffer made by AllocateBuffer and empties the three tables.
    void ReleaseTables();

    int32_t bCreated = 0;
    // Read by the threads as they end while the owner moves it on, hence atomic.
    std::atomic<int32_t> iState{THREAD_STATE_EMPTY};
    uint64_t ullThreadCount = 0;
    int32_t iPriority = 0;
    uint64_t ullProcessorCount = 0;
    ThreadBody pThreadBody = nullptr;
    std::unique_ptr<ThreadContext[]> pContexts;
    std::unique_ptr<uint64_t[]> pResults;
    SEvent* pStopEvent = nullptr;
    ParameterTable Parameters;
    ParameterTable BufferPointers;
    ParameterTable BufferSizes;
};
