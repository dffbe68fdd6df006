#pragma once
#include "runtime/CCriticalSection.h"
#include "runtime/CNonCopyable.h"

#include <cstdint>

// Fixed-capacity ring buffer of samples with its own re-entrant lock. Never blocks, never
// overwrites: a write stores what fits, a read delivers what is stored, and both report the amount.
class SignalFIFO : private CNonCopyable
{
public:
    ~SignalFIFO();

    // Discards any contents. 1; -5 when the byte count overflows, -2 without memory (left unallocated).
    int32_t Allocate(uint64_t ullCapacitySamples);
    int32_t Release();
    // Drops the contents and keeps the storage. 1; -1 not allocated.
    int32_t Clear();
    int32_t Write(const double* pdfSource, uint64_t& ullCount);
    int32_t WriteValue(double dfValue, uint64_t& ullCount);
    int32_t Read(double* pdfDestination, uint64_t& ullCount);
    uint64_t GetFill();
    uint64_t GetCapacity();

    // The lock every operation holds; callers take it around decisions on the fill level.
    SCriticalSection* pLock = nullptr;

private:
    template <typename Store> int32_t WriteWith(uint64_t& ullCount, Store StorePiece);

    CCriticalSection CriticalSection;
    int32_t bAllocated = 0;
    double* pdfData = nullptr;
    uint64_t ullCapacity = 0;
    uint64_t ullFill = 0;
    uint64_t ullWriteIndex = 0;
    uint64_t ullReadIndex = 0;
};
