#pragma once
#include "output/AudioClientConstants.h"
#include "tests/scripted/VirtualFaultPlan.h"

#include <cstdint>
#include <mutex>

// The fault-scripting calls a test makes on a virtual layer or device, from any thread: each takes
// the owner's lock and goes to the owner's fault plan, which the owner consults under the same lock.
class VirtualFaultScript
{
public:
    void FailAfter(VirtualOperation Operation, uint64_t ullSuccessfulCalls, int32_t iResult = AUDIO_E_FAIL);
    void Heal(VirtualOperation Operation);
    uint64_t GetCallCount(VirtualOperation Operation) const;

protected:
    // OwnerLock must outlive this object; it is only bound here, not used.
    explicit VirtualFaultScript(std::mutex& OwnerLock) : FaultLock(OwnerLock) {}

    VirtualFaultPlan Faults;

private:
    std::mutex& FaultLock;
};
