#include "conversion/ParameterSmoother.h"

#include "runtime/CriticalSectionHolder.h"

#include <algorithm>
#include <cmath>
#include <numbers>

void ParameterSmoother::Clear()
{
    bInitialized = 0;
    ullDefaultSteps = 0;
    dfStart = 0.0;
    dfTarget = 0.0;
    dfPendingTarget = 0.0;
    dfCurrent = 0.0;
    bRamping = 0;
    bPending = 0;
    ullStep = 0;
    ullSteps = 0;
    ullPendingSteps = 0;
}

int32_t ParameterSmoother::Initialize(double dfValue)
{
    CriticalSectionHolder Holder(pLock);
    // An infinite value would turn the first ramp away from it into NaN.
    if (!std::isfinite(dfValue))
    {
        return -4;
    }
    // Unlike Reset, the lock stays: the smoother may already be shared, and dropping the lock
    // here would leave the other thread unprotected without either side noticing.
    Clear();
    ullDefaultSteps = 1;
    dfStart = dfValue;
    dfCurrent = dfValue;
    bInitialized = 1;
    return 1;
}

int32_t ParameterSmoother::Reset()
{
    CriticalSectionHolder Holder(pLock);
    if (bInitialized == 0)
    {
        return 0;
    }
    Clear();
    pLock = nullptr;
    return 1;
}

int32_t ParameterSmoother::SetTarget(double dfValue, uint64_t ullStepCount)
{
    CriticalSectionHolder Holder(pLock);
    if (!std::isfinite(dfValue) || ullStepCount == 0)
    {
        return -4;
    }
    if (bInitialized == 0)
    {
        return -1;
    }
    if (bRamping != 0)
    {
        dfPendingTarget = dfValue;
        ullPendingSteps = ullStepCount;
        bPending = 1;
        return 0;
    }
    dfTarget = dfValue;
    ullSteps = ullStepCount;
    bRamping = 1;
    return 1;
}

int32_t ParameterSmoother::Next(double& dfValue)
{
    dfValue = 0.0;
    CriticalSectionHolder Holder(pLock);
    if (bInitialized == 0)
    {
        return -1;
    }
    Step();
    dfValue = dfCurrent;
    return 1;
}

int32_t ParameterSmoother::ScaleFrames(double* pdfFrames, uint64_t ullFrames, uint64_t ullChannels)
{
    CriticalSectionHolder Holder(pLock);
    if (bInitialized == 0)
    {
        return -1;
    }
    uint64_t f = 0;
    // While a ramp runs (or one is queued) every frame has a value of its own.
    for (; f < ullFrames && bRamping != 0; ++f)
    {
        Step();
        for (uint64_t c = 0; c < ullChannels; ++c)
        {
            pdfFrames[f * ullChannels + c] *= dfCurrent;
        }
    }
    // Then the value holds; a gain of exactly 1 changes no sample.
    if (f < ullFrames && dfCurrent != 1.0)
    {
        const double dfGain = dfCurrent;
        for (uint64_t i = f * ullChannels; i < ullFrames * ullChannels; ++i)
        {
            pdfFrames[i] *= dfGain;
        }
    }
    return 1;
}

void ParameterSmoother::Step()
{
    if (bRamping == 0)
    {
        return;
    }
    if (ullStep >= ullSteps)
    {
        // The last step lands on the target itself; start + (target - start) x 1 can miss it by a
        // rounding step, and a rate that ends just below the input rate narrows the band.
        dfCurrent = dfTarget;
    }
    else
    {
        const double t = static_cast<double>(ullStep) / static_cast<double>(ullSteps);
        const double w = 0.5 - 0.5 * std::cos(std::numbers::pi * t);
        dfCurrent = dfStart + (dfTarget - dfStart) * w;
    }
    ++ullStep;
    if (ullStep > ullSteps)
    {
        bRamping = 0;
        dfStart = dfTarget;
        ullStep = 0;
        dfTarget = 0.0;
        ullSteps = 0;
        if (bPending != 0)
        {
            dfTarget = dfPendingTarget;
            ullSteps = ullPendingSteps;
            bRamping = 1;
            dfPendingTarget = 0.0;
            ullPendingSteps = 0;
            bPending = 0;
        }
    }
}

int32_t ParameterSmoother::ReadWhile(const int32_t& bHeld, const double& dfHeld, double& dfValue)
{
    dfValue = 0.0;
    CriticalSectionHolder Holder(pLock);
    if (bInitialized == 0)
    {
        return -1;
    }
    if (bHeld == 0)
    {
        return 0;
    }
    dfValue = dfHeld;
    return 1;
}

int32_t ParameterSmoother::GetCurrent(double& dfValue)
{
    return ReadWhile(bInitialized, dfCurrent, dfValue);
}

int32_t ParameterSmoother::GetRampTarget(double& dfValue)
{
    return ReadWhile(bRamping, dfTarget, dfValue);
}

int32_t ParameterSmoother::GetPendingTarget(double& dfValue)
{
    return ReadWhile(bPending, dfPendingTarget, dfValue);
}

int32_t ParameterSmoother::GetLowestValue(double& dfValue)
{
    dfValue = 0.0;
    CriticalSectionHolder Holder(pLock);
    if (bInitialized == 0)
    {
        return -1;
    }
    double dfLowest = dfCurrent;
    if (bRamping != 0)
    {
        dfLowest = std::min(dfLowest, dfTarget);
    }
    if (bPending != 0)
    {
        dfLowest = std::min(dfLowest, dfPendingTarget);
    }
    dfValue = dfLowest;
    return 1;
}

int32_t ParameterSmoother::IsInitialized()
{
    return ReadLocked(pLock, bInitialized);
}

uint64_t ParameterSmoother::GetDefaultSteps()
{
    return ReadLocked(pLock, ullDefaultSteps);
}

int32_t ParameterSmoother::SetDefaultSteps(uint64_t ullStepCount)
{
    CriticalSectionHolder Holder(pLock);
    if (ullStepCount == 0)
    {
        return -4;
    }
    if (bInitialized == 0)
    {
        return -1;
    }
    ullDefaultSteps = ullStepCount;
    return 1;
}
