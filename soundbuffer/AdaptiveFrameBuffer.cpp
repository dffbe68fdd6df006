#include "soundbuffer/AdaptiveFrameBuffer.h"

#include "runtime/CriticalSectionHolder.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <new>

namespace
{
// Largest sample count whose storage size in bytes is still representable.
constexpr uint64_t ullMaxSamples = SIZE_MAX / sizeof(double);
// Samples moved per piece when the queue grows; small enough for the stack of a real-time thread.
constexpr uint64_t ullMovePiece = 64;
} // namespace

AdaptiveFrameBuffer::~AdaptiveFrameBuffer()
{
    Release();
}

AdaptiveFrameBuffer::Marks AdaptiveFrameBuffer::MarksFor(uint64_t ullCapacityFrames, uint64_t ullStep)
{
    Marks Result;
    const uint64_t ullQuarter = ullCapacityFrames / 4;
    const uint64_t ullHalf = ullCapacityFrames / 2;
    Result.ullLow = ullQuarter;
    // Start half a step below the middle, so a refill need not wait for a full half of a large queue,
    // but never at or below the low mark.
    if (ullHalf > ullStep / 2 && ullHalf - ullStep / 2 > ullQuarter)
    {
        Result.ullStart = ullHalf - ullStep / 2;
        Result.ullHigh = ullQuarter + Result.ullStart;
    }
    else
    {
        Result.ullStart = ullHalf;
        Result.ullHigh = ullHalf + ullQuarter;
    }
    return Result;
}

void AdaptiveFrameBuffer::StoreMarks()
{
    const Marks Current = MarksFor(ullCapacity, ullGrowthStep);
    ullLowMark = Current.ullLow;
    ullStartMark = Current.ullStart;
    ullHighMark = Current.ullHigh;
}

int32_t AdaptiveFrameBuffer::Setup(double dfSamplingFrequency, uint64_t ullCapacityFrames)
{
    Release();
    if (!(dfSamplingFrequency > 0.0) || ullCapacityFrames < 4)
    {
        return -4;
    }
    if (ullCapacityFrames > ullMaxSamples / 2)
    {
        return -5;
    }
    std::unique_ptr<SignalFIFO> pNewFIFO(new (std::nothrow) SignalFIFO);
    if (!pNewFIFO)
    {
        return -2;
    }
    const int32_t iResult = pNewFIFO->Allocate(2 * ullCapacityFrames);
    if (iResult < 0)
    {
        return iResult;
    }
    CriticalSectionHolder Holder(&CriticalSection);
    ullChannels = 2;
    ullGrowthStep = ullCapacityFrames;
    ullCapacity = ullCapacityFrames;
    StoreMarks();
    pFIFO = std::move(pNewFIFO);
    bReady = 1;
    return 1;
}

template <typename Predicate> int32_t AdaptiveFrameBuffer::GrowUntil(uint64_t ullNoneUpTo, Predicate Fits)
{
    // Jumping close to the answer keeps an absurd request from walking up step by step for ages; the
    // first capacity found is the same as with the walk.
    uint64_t k = 1;
    if (ullNoneUpTo > ullCapacity)
    {
        k = std::max<uint64_t>(1, (ullNoneUpTo - ullCapacity) / ullGrowthStep);
    }
    for (;; ++k)
    {
        if (k > (UINT64_MAX - ullCapacity) / ullGrowthStep)
        {
            return -5;
        }
        const uint64_t ullCandidate = ullCapacity + k * ullGrowthStep;
        if (Fits(ullCandidate))
        {
            return Resize(ullCandidate);
        }
    }
}

int32_t AdaptiveFrameBuffer::Write(const double* pdfFrames, uint64_t& ullFrames)
{
    const uint64_t ullOffered = ullFrames;
    ullFrames = 0;
    if (pdfFrames == nullptr)
    {
        return -4;
    }
    CriticalSectionHolder Holder(&CriticalSection);
    if (bReady == 0)
    {
        return -1;
    }

    const bool bAboveHighMark = ullFill > ullHighMark || ullOffered > ullHighMark - ullFill;
    if ((bUnlimitedGrowth != 0 || ullCapacityLimit != 0) && bAboveHighMark)
    {
        if (ullOffered > UINT64_MAX - ullFill)
        {
            return -5;
        }
        const uint64_t ullNeed = ullFill + ullOffered;
        // A high mark is at most three quarters of its capacity.
        if (ullNeed / 3 > UINT64_MAX - ullNeed)
        {
            return -5;
        }
        const int32_t iResult =
            GrowUntil(ullNeed + ullNeed / 3, [this, ullNeed](uint64_t ullCandidate)
                      { return MarksFor(ullCandidate, ullGrowthStep).ullHigh > ullNeed; });
        if (iResult < 0)
        {
            return iResult;
        }
    }

    // A chunk that is large against the queue would leave the consumer too little headroom.
    if (ullOffered > UINT64_MAX / 2)
    {
        return -5;
    }
    const uint64_t ullTwice = 2 * ullOffered;
    if (ullTwice >= ullCapacity - ullStartMark)
    {
        // c - start(c) <= (c + 1 + step) / 2, so no capacity below 4n - step fits (nor any up to 2n).
        uint64_t ullNoneUpTo = UINT64_MAX - ullGrowthStep;
        if (ullTwice <= UINT64_MAX / 2)
        {
            ullNoneUpTo = 2 * ullTwice - std::min(2 * ullTwice, ullGrowthStep + 1);
        }
        ullNoneUpTo = std::max(ullNoneUpTo, ullTwice);
        const int32_t iResult =
            GrowUntil(ullNoneUpTo, [this, ullTwice](uint64_t ullCandidate)
                      { return ullTwice < ullCandidate - MarksFor(ullCandidate, ullGrowthStep).ullStart; });
        if (iResult < 0)
        {
            return iResult;
        }
    }

    if (ullOffered > UINT64_MAX / ullChannels)
    {
        return -1;
    }
    uint64_t ullSamples = ullOffered * ullChannels;
    int32_t iResult = pFIFO->Write(pdfFrames, ullSamples);
    const uint64_t ullStored = ullSamples / ullChannels;
    if (ullSamples % ullChannels != 0)
    {
        iResult = -99;
    }
    ullFill += ullStored;
    if (ullFill >= ullStartMark && bBuffering != 0)
    {
        bBuffering = 0;
    }
    ullFrames = ullStored;
    return iResult;
}

int32_t AdaptiveFrameBuffer::Resize(uint64_t ullNewCapacity)
{
    CriticalSectionHolder Holder(&CriticalSection);
    if (bReady == 0 || ullNewCapacity < ullCapacity)
    {
        return -1;
    }
    if (ullNewCapacity > ullMaxSamples / ullChannels)
    {
        return -5;
    }
    if (ullCapacityLimit != 0 && ullNewCapacity > ullCapacityLimit)
    {
        return 0;
    }
    std::unique_ptr<SignalFIFO> pNewFIFO(new (std::nothrow) SignalFIFO);
    if (!pNewFIFO)
    {
        return -2;
    }
    const int32_t iResult = pNewFIFO->Allocate(ullNewCapacity * ullChannels);
    if (iResult < 0)
    {
        return iResult;
    }
    {
        // Lock order: this queue (held), then the new FIFO, then the old one inside its Read.
        CriticalSectionHolder NewHolder(pNewFIFO->pLock);
        double adfPiece[ullMovePiece];
        for (;;)
        {
            uint64_t ullMoved = ullMovePiece;
            if (pFIFO->Read(adfPiece, ullMoved) < 0 || ullMoved == 0)
            {
                break;
            }
            pNewFIFO->Write(adfPiece, ullMoved);
        }
    }
    pFIFO = std::move(pNewFIFO);
    ullCapacity = ullNewCapacity;
    StoreMarks();
    return 1;
}

int32_t AdaptiveFrameBuffer::Release()
{
    CriticalSectionHolder Holder(&CriticalSection);
    pFIFO.reset();
    bReady = 0;
    bFinishing = 0;
    bUnlimitedGrowth = 1;
    ullChannels = 0;
    ullGrowthStep = 0;
    ullCapacityLimit = 0;
    ullCapacity = 0;
    ullFill = 0;
    ullLowMark = 0;
    ullStartMark = 0;
    ullHighMark = 0;
    bBuffering = 0;
    return 1;
}
