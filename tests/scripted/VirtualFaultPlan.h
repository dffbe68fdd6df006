#pragma once
#include "output/AudioClientConstants.h"
#include "output/virtual/VirtualDeviceCore.h"

#include <array>
#include <cstddef>
#include <cstdint>

// Call counts per operation and the failures planned for them: after a given number of successful
// calls, every further call of that operation fails with a given result. No lock; its owner
// serialises the calls.
class VirtualFaultPlan
{
public:
    // Calls after the first ullSuccessfulCalls (counted from now) fail with iResult.
    void FailAfter(VirtualOperation Operation, uint64_t ullSuccessfulCalls, int32_t iResult);
    // Removes the planned failure of the operation.
    void Heal(VirtualOperation Operation);
    // Counts one call: AUDIO_OK, or the planned failure.
    int32_t Enter(VirtualOperation Operation);
    uint64_t GetCallCount(VirtualOperation Operation) const;

private:
    struct Plan
    {
        uint64_t ullCalls = 0;
        uint64_t ullFailFrom = 0;
        int32_t iResult = AUDIO_OK;
        bool bArmed = false;
    };
    std::array<Plan, static_cast<size_t>(VirtualOperation::Count)> Plans{};
};
