#pragma once
#include "runtime/CNonCopyable.h"
#include "runtime/SCriticalSection.h"

#include <cstdint>

// A value that follows new targets along raised-cosine ramps, one step per Next. A target set
// while a ramp runs is queued and starts when that ramp ends; a later target replaces a queued one.
// Results: 1 done, 0 nothing done (or target queued), -1 not initialised, -4 invalid argument.
class ParameterSmoother : private CNonCopyable
{
public:
    // Drops any ramp and queued target and holds the value; default steps become 1. -4 for a value
    // that is not finite, and then nothing changes. An attached lock stays attached.
    int32_t Initialize(double dfValue);
    // Back to the uninitialised state, detaching the lock too. 0 when not initialised.
    int32_t Reset();
    // Starts a ramp of ullSteps steps (n steps deliver n + 1 values, the first still the old one),
    // or queues it behind a running ramp (result 0). -4 for a value that is not finite or 0 steps.
    int32_t SetTarget(double dfValue, uint64_t ullSteps);
    // Takes one step and delivers the value (0 with result -1 when not initialised).
    int32_t Next(double& dfValue);
    // One step per frame of ullChannels interleaved samples, each sample multiplied by its frame's
    // value: the products of Next frame by frame, under one lock for the block. -1 when not
    // initialised, and then the frames are left as they are.
    int32_t ScaleFrames(double* pdfFrames, uint64_t ullFrames, uint64_t ullChannels);

    // The last value delivered.
    int32_t GetCurrent(double& dfValue);
    // The running ramp's target: 1 while a ramp runs, else 0 with value 0.
    int32_t GetRampTarget(double& dfValue);
    // The queued target: 1 while one is queued, else 0 with value 0.
    int32_t GetPendingTarget(double& dfValue);
    // The lowest of the current value, the running ramp's target and the queued target, read at
    // one instant: the least the value will be until the next SetTarget.
    int32_t GetLowestValue(double& dfValue);

    // 1 after Initialize, 0 before and after Reset.
    int32_t IsInitialized();
    // The ramp length users of the smoother pass to SetTarget; 1 after Initialize.
    uint64_t GetDefaultSteps();
    // -4 for 0 steps, -1 when not initialised.
    int32_t SetDefaultSteps(uint64_t ullSteps);

    // Lock held by every operation when attached; attach it before other threads share the object.
    SCriticalSection* pLock = nullptr;

private:
    void Clear();
    // dfHeld read under the lock while bHeld is set (1); 0 with value 0 while it is not; -1 with
    // value 0 when not initialised.
    int32_t ReadWhile(const int32_t& bHeld, const double& dfHeld, double& dfValue);
    // Next without the lock and the result.
    void Step();

    int32_t bInitialized = 0;
    uint64_t ullDefaultSteps = 0;
    double dfStart = 0.0;
    double dfTarget = 0.0;
    double dfPendingTarget = 0.0;
    double dfCurrent = 0.0;
    int32_t bRamping = 0;
    int32_t bPending = 0;
    uint64_t ullStep = 0;
    uint64_t ullSteps = 0;
    uint64_t ullPendingSteps = 0;
};
