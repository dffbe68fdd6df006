#pragma once
#include "runtime/CNonCopyable.h"
#include "soundbuffer/AdaptiveFrameBuffer.h"

#include <cstdint>
#include <memory>

// Hand-over between the producer (playback thread) and the device's real-time thread. Each
// ReadPeriod delivers exactly one period, one period late: the block read at a call goes out at the
// next one. When the queue cannot supply a whole period the block about to go out is faded out over
// one period, and the first whole period after the gap (or after the start) is faded in over one
// period.
class IntelligentSoundBuffer : private CNonCopyable
{
public:
    ~IntelligentSoundBuffer();

    // dfPeriodSeconds: in the wanted period, out the period rounded up to whole frames.
    int32_t Initialize(double dfSamplingFrequency, double& dfPeriodSeconds);
    int32_t SetCapacityLimit(uint64_t ullLimitFrames);
    // ullFrames: in the frames offered, out the frames accepted (fewer when the queue is full).
    int32_t Write(const double* pdfFrames, uint64_t& ullFrames);
    // Delivers ullPeriodFrames frames into pdfDestination (skipped when null). Real-time safe: it
    // allocates only when the queue grows and never waits for anything but the queue's lock.
    int32_t ReadPeriod(double* pdfDestination);
    // End of stream: no more writes; reads drain the queue regardless of its marks, then fall silent.
    int32_t Finish();
    int32_t Release();

    // Drops what the queue holds and refills it before the next period is taken: the next read fades
    // the period going out out, however soon the refill comes, and the first whole period of what is
    // written next goes out faded in. For a jump in the stream (the producer goes on from elsewhere).
    // 1; -1 not ready.
    int32_t Discard();

    // Whether ullReads periods can be taken now, one after the other, each whole and without the
    // queue running low: 1 when the queue holds them above its low mark, is as full as it can get
    // (the producer could add nothing), or is draining the end of the stream; 0 otherwise; -1 not
    // ready. A start asks this before the device's first fill, which takes a device buffer at once.
    int32_t HoldsPeriods(uint64_t ullReads);

    // Frames written and not yet handed to the device: the queue's fill and the block staged to go
    // out at the next read. 0 when not ready.
    uint64_t QueuedFrames();

    // Frames of a period of dfSeconds at dfSamplingFrequency: rounded up to whole frames; 0 for a
    // rate or length that is not positive, or a count too large to keep.
    static uint64_t PeriodFrames(double dfSamplingFrequency, double dfSeconds);
    // ramp[i] = 0.5 - 0.5 cos(pi (i + 1) / n): rises from near 0 to exactly 1.
    static void MakeFadeRamp(double* pdfRamp, uint64_t ullLength);

    // Set by Initialize and only read afterwards.
    int32_t bReady = 0;
    double dfSamplingFrequency = 0.0;
    uint64_t ullChannels = 0;
    uint64_t ullPeriodFrames = 0;
    // Its critical section is the lock of the whole buffer.
    AdaptiveFrameBuffer Queue;

    // For inspection on the consumer's thread.
    int32_t IsFaded() const { return bFaded; }
    const double* GetFadeRamp() const { return pdfFadeRamp.get(); }

private:
    // Only ReadPeriod touches these after Initialize, so they need no lock.
    std::unique_ptr<double[]> pdfFadeRamp;
    int32_t bFaded = 0;
    std::unique_ptr<double[]> pdfStagedBlock;
    std::unique_ptr<double[]> pdfOutgoingBlock;
    // Set by Discard, taken by the next ReadPeriod; guarded by the queue's lock.
    int32_t bJumpPending = 0;
};
