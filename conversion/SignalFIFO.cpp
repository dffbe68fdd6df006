#include "conversion/SignalFIFO.h"

#include "runtime/CriticalSectionHolder.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

SignalFIFO::~SignalFIFO()
{
    Release();
}

int32_t SignalFIFO::Allocate(uint64_t ullCapacitySamples)
{
    Release();
    // A byte count that cannot be represented is refused before memory is asked for.
    if (ullCapacitySamples > SIZE_MAX / sizeof(double))
    {
        return -5;
    }
    pLock = &CriticalSection;
    CriticalSectionHolder Holder(pLock);
    pdfData =
        static_cast<double*>(std::calloc(ullCapacitySamples == 0 ? 1 : ullCapacitySamples, sizeof(double)));
    if (pdfData == nullptr)
    {
        // The owners (converter, sound buffer) report the failure; the queue stays unallocated.
        Holder.Leave();
        pLock = nullptr;
        return -2;
    }
    ullCapacity = ullCapacitySamples;
    ullFill = 0;
    ullWriteIndex = 0;
    ullReadIndex = 0;
    bAllocated = 1;
    return 1;
}

int32_t SignalFIFO::Release()
{
    if (bAllocated == 0)
    {
        return 0;
    }
    {
        CriticalSectionHolder Holder(pLock);
        std::free(pdfData);
        pdfData = nullptr;
        ullCapacity = 0;
        ullFill = 0;
        ullWriteIndex = 0;
        ullReadIndex = 0;
        bAllocated = 0;
    }
    pLock = nullptr;
    return 1;
}

int32_t SignalFIFO::Clear()
{
    CriticalSectionHolder Holder(pLock);
    if (bAllocated == 0)
    {
        return -1;
    }
    ullFill = 0;
    ullWriteIndex = 0;
    ullReadIndex = 0;
    return 1;
}

template <typename Store> int32_t SignalFIFO::WriteWith(uint64_t& ullCount, Store StorePiece)
{
    const uint64_t ullWanted = ullCount;
    ullCount = 0;
    CriticalSectionHolder Holder(pLock);
    if (bAllocated == 0)
    {
        return -1;
    }
    const uint64_t n = std::min(ullWanted, ullCapacity - ullFill);
    const uint64_t ullFirst = std::min(n, ullCapacity - ullWriteIndex);
    StorePiece(pdfData + ullWriteIndex, 0, ullFirst);
    StorePiece(pdfData, ullFirst, n - ullFirst);
    ullWriteIndex += n;
    if (ullWriteIndex >= ullCapacity)
    {
        ullWriteIndex -= ullCapacity;
    }
    ullFill += n;
    ullCount = n;
    return 1;
}

int32_t SignalFIFO::Write(const double* pdfSource, uint64_t& ullCount)
{
    if (pdfSource == nullptr)
    {
        ullCount = 0;
        return -4;
    }
    return WriteWith(ullCount,
                     [pdfSource](double* pdfTarget, uint64_t ullOffset, uint64_t ullLength)
                     {
                         if (ullLength > 0)
                         {
                             std::memcpy(pdfTarget, pdfSource + ullOffset, ullLength * sizeof(double));
                         }
                     });
}

int32_t SignalFIFO::WriteValue(double dfValue, uint64_t& ullCount)
{
    if (std::isnan(dfValue))
    {
        ullCount = 0;
        return -4;
    }
    return WriteWith(ullCount, [dfValue](double* pdfTarget, uint64_t, uint64_t ullLength)
                     { std::fill(pdfTarget, pdfTarget + ullLength, dfValue); });
}

int32_t SignalFIFO::Read(double* pdfDestination, uint64_t& ullCount)
{
    const uint64_t ullWanted = ullCount;
    ullCount = 0;
    if (pdfDestination == nullptr)
    {
        return -4;
    }
    CriticalSectionHolder Holder(pLock);
    if (bAllocated == 0)
    {
        return -1;
    }
    const uint64_t n = std::min(ullWanted, ullFill);
    const uint64_t ullFirst = std::min(n, ullCapacity - ullReadIndex);
    if (ullFirst > 0)
    {
        std::memcpy(pdfDestination, pdfData + ullReadIndex, ullFirst * sizeof(double));
    }
    if (n > ullFirst)
    {
        std::memcpy(pdfDestination + ullFirst, pdfData, (n - ullFirst) * sizeof(double));
    }
    ullReadIndex += n;
    if (ullReadIndex >= ullCapacity)
    {
        ullReadIndex -= ullCapacity;
    }
    ullFill -= n;
    ullCount = n;
    return 1;
}

uint64_t SignalFIFO::GetFill()
{
    return ReadLocked(pLock, ullFill);
}

uint64_t SignalFIFO::GetCapacity()
{
    return ReadLocked(pLock, ullCapacity);
}
