#include "runtime/SMultiThread.h"

#include "runtime/CMemoryANSI.h"

#include <new>

int32_t SMultiThread::Create(uint64_t ullCount)
{
    // Replacing the stop event under running threads would pull it away from them.
    if (ThreadsMayRun(GetState()) || Release() < 0)
    {
        return -1;
    }
    const int32_t iEvent = pStopEvent != nullptr ? pStopEvent->Create(1, 0) : -1;
    if (iEvent < 0)
    {
        return iEvent;
    }
    if (Initialize(ullCount) < 0)
    {
        pStopEvent->Close();
        return -1;
    }
    bCreated = 1;
    return 1;
}

void SMultiThread::RequestStop()
{
    int32_t iRunning = THREAD_STATE_RUNNING;
    if (iState.compare_exchange_strong(iRunning, THREAD_STATE_STOPPING, std::memory_order_acq_rel))
    {
        pStopEvent->Set();
    }
}

int32_t SMultiThread::SetParameter(const char16_t* pName, uint64_t ullValue)
{
    if (GetState() != THREAD_STATE_READY && Initialize(0) < 0)
    {
        return -1;
    }
    char16_t Key[ParameterTable::KEY_CAPACITY];
    return Parameters.SetNumber(ParameterTable::ComposeKey(Key, pName), ullValue);
}

int32_t SMultiThread::GetParameter(const char16_t* pName, uint64_t* pullValue) const
{
    char16_t Key[ParameterTable::KEY_CAPACITY];
    return Parameters.GetNumber(ParameterTable::ComposeKey(Key, pName), pullValue);
}

int32_t SMultiThread::AllocateBuffer(const char16_t* pName, uint64_t ullSize)
{
    // The bodies read the tables without a lock, and a replaced buffer is freed at once.
    if (ThreadsMayRun(GetState()))
    {
        return -1;
    }
    CMemoryANSI Memory;
    void* pBuffer = nullptr;
    const int32_t iAllocated = Memory.Allocate(&pBuffer, ullSize);
    if (iAllocated < 0)
    {
        return iAllocated;
    }
    char16_t Key[ParameterTable::KEY_CAPACITY];
    const char16_t* pKey = ParameterTable::ComposeKey(Key, pName);

    void* pOld = nullptr;
    uint64_t ullOldSize = 0;
    if (GetBuffer(pName, &pOld, &ullOldSize) == 1)
    {
        if (pOld != nullptr)
        {
            Memory.Free(pOld);
        }
        BufferSizes.SetNumber(pKey, 0);
        // The address goes too, so no later failure can leave the freed block to be freed again.
        BufferPointers.SetNumber(pKey, 0);
    }
    int32_t iResult = BufferSizes.SetNumber(pKey, ullSize);
    if (iResult < 0)
    {
        Memory.Free(pBuffer);
        return iResult;
    }
    iResult = BufferPointers.SetNumber(pKey, reinterpret_cast<uintptr_t>(pBuffer));
    if (iResult < 0)
    {
        BufferSizes.SetNumber(pKey, 0);
        Memory.Free(pBuffer);
    }
    return iResult;
}

int32_t SMultiThread::GetBuffer(const char16_t* pName, void** ppBuffer, uint64_t* pullSize) const
{
    if (ppBuffer == nullptr || pullSize == nullptr)
    {
        return -1;
    }
    char16_t Key[ParameterTable::KEY_CAPACITY];
    const char16_t* pKey = ParameterTable::ComposeKey(Key, pName);
    uint64_t ullSize = 0;
    uint64_t ullAddress = 0;
    if (BufferSizes.GetNumber(pKey, &ullSize) != 1 || BufferPointers.GetNumber(pKey, &ullAddress) != 1)
    {
        return -1;
    }
    *ppBuffer = reinterpret_cast<void*>(static_cast<uintptr_t>(ullAddress));
    *pullSize = ullSize;
    return 1;
}

uint64_t SMultiThread::GetResult(uint64_t ullIndex) const
{
    return pResults != nullptr && ullIndex < ullThreadCount ? pResults[ullIndex] : 0;
}

const ThreadContext* SMultiThread::GetContext(uint64_t ullIndex) const
{
    return pContexts != nullptr && ullIndex < ullThreadCount ? &pContexts[ullIndex] : nullptr;
}

void SMultiThread::RunThreadBody(ThreadContext* pContext)
{
    const uint64_t ullResult = pThreadBody(pContext);
    if (GetState() != THREAD_STATE_EMPTY && pContext->ullIndex < ullThreadCount)
    {
        pResults[pContext->ullIndex] = ullResult;
    }
}

bool SMultiThread::PrepareGroup(uint64_t ullCount)
{
    std::unique_ptr<ThreadContext[]> pNewContexts(new (std::nothrow) ThreadContext[ullCount]());
    std::unique_ptr<uint64_t[]> pNewResults(new (std::nothrow) uint64_t[ullCount]());
    if (pNewContexts == nullptr || pNewResults == nullptr)
    {
        return false;
    }
    for (uint64_t i = 0; i < ullCount; ++i)
    {
        pNewContexts[i] = ThreadContext{i, ullCount, this, 0};
    }
    pContexts = std::move(pNewContexts);
    pResults = std::move(pNewResults);
    ullThreadCount = ullCount;
    return true;
}

void SMultiThread::DiscardGroup()
{
    pContexts.reset();
    pResults.reset();
    pThreadBody = nullptr;
    iPriority = 0;
}

void SMultiThread::ReleaseTables()
{
    // Walk the recorded addresses in order until one is no number.
    CMemoryANSI Memory;
    for (int32_t i = 0; i < BufferPointers.GetCount(); ++i)
    {
        ParameterValue Value{nullptr, PARAM_TYPE_UINT64, 0};
        if (ConvertParameterValue(&Value, BufferPointers.GetEntry(i)) < 1)
        {
            break;
        }
        if (Value.ullValue != 0)
        {
            Memory.Free(reinterpret_cast<void*>(static_cast<uintptr_t>(Value.ullValue)));
        }
    }
    BufferPointers.Clear();
    BufferSizes.Clear();
    Parameters.Clear();
}
