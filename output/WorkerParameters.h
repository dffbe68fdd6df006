#pragma once
#include "runtime/SMultiThread.h"

#include <cstdint>

// Object addresses travel through a worker's parameter table as numbers; these keep the casts in
// one place.

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

inline int32_t StoreParameterAddress(SMultiThread& Worker, const char16_t* pName, const void* pAddress)
{
    return Worker.SetParameter(pName, static_cast<uint64_t>(reinterpret_cast<uintptr_t>(pAddress)));
}
