#pragma once
#include "conversion/SignalFIFO.h"
#include "runtime/CCriticalSection.h"
#include "runtime/CNonCopyable.h"

#include <cstdint>
#include <memory>

// Frame queue of the sound buffer: interleaved frames in a SignalFIFO, counted in frames, with
// watermarks that drive a buffering state, growth in fixed steps up to a limit, and an end-of-stream
// state. Every field is guarded by CriticalSection, which is also the lock of the whole sound buffer:
// the sound buffer's consumer reads frames from pFIFO and lowers ullFill itself, under that lock.
// The FIFO's own lock is always taken inside CriticalSection, never the other way round.
class AdaptiveFrameBuffer : private CNonCopyable
{
public:
    // Watermarks of one capacity, in frames.
    struct Marks
    {
        uint64_t ullLow;
        uint64_t ullStart;
        uint64_t ullHigh;
    };

    ~AdaptiveFrameBuffer();

    // Makes an empty queue of ullCapacityFrames frames that grows by the same amount.
    int32_t Setup(double dfSamplingFrequency, uint64_t ullCapacityFrames);
    // Stores up to ullFrames frames (in: offered, out: stored), growing the queue first when the
    // write would pass the high mark or is large against the capacity.
    int32_t Write(const double* pdfFrames, uint64_t& ullFrames);
    // Moves the contents into a new FIFO of ullNewCapacity frames. 0 when the limit forbids it.
    int32_t Resize(uint64_t ullNewCapacity);
    int32_t Release();

    static Marks MarksFor(uint64_t ullCapacityFrames, uint64_t ullStep);

    std::unique_ptr<SignalFIFO> pFIFO;
    int32_t bReady = 0;
    int32_t bFinishing = 0;
    int32_t bUnlimitedGrowth = 1;
    uint64_t ullChannels = 0;
    uint64_t ullGrowthStep = 0;
    uint64_t ullCapacityLimit = 0;
    uint64_t ullCapacity = 0;
    uint64_t ullFill = 0;
    uint64_t ullLowMark = 0;
    uint64_t ullStartMark = 0;
    uint64_t ullHighMark = 0;
    int32_t bBuffering = 0;
    CCriticalSection CriticalSection;

private:
    // Resizes to the first capacity + k x step (k >= 1) that Fits; no capacity up to ullNoneUpTo
    // fits, so the search may start there. -5 when the capacities overflow first, else Resize's result.
    template <typename Predicate> int32_t GrowUntil(uint64_t ullNoneUpTo, Predicate Fits);
    void StoreMarks();
};
