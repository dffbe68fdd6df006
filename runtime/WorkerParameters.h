#pragma once
#include "runtime/SMultiThread.h"

#include <cstdint>

// Object addresses and buffers travel through a worker's parameter tables by name; these keep the
// casts in one place for every worker body and the code that fills its tables.

// The address stored under pName, or null when there is none.
template <typename T> T* ReadParameterAddress(const SMultiThread* pOwner, const char16_t* pName)
{
    uint64_t ullValue = 0;
    if (pOwner == nullptr || pOwner->GetParameter(pName, &ullValue) != 1)
    {
        return nullptr;
    }
    return reinterpret_cast<T*>(static_cast<uintptr_t>(ullValue));
}

// Stores pAddress under pName; the table's result (3 added, 5 replaced, negative refused).
inline int32_t StoreParameterAddress(SMultiThread& Worker, const char16_t* pName, const void* pAddress)
{
    return Worker.SetParameter(pName, static_cast<uint64_t>(reinterpret_cast<uintptr_t>(pAddress)));
}

// The buffer allocated under pName as an array of T, with its size in bytes; a buffer that cannot
// be fetched counts as null with size 0.
template <typename T>
T* ReadParameterBuffer(const SMultiThread* pOwner, const char16_t* pName, uint64_t& ullBytes)
{
    void* pBuffer = nullptr;
    ullBytes = 0;
    if (pOwner == nullptr || pOwner->GetBuffer(pName, &pBuffer, &ullBytes) != 1 || pBuffer == nullptr)
    {
        ullBytes = 0;
        return nullptr;
    }
    return static_cast<T*>(pBuffer);
}
