#include "tests/scripted/VirtualFaultScript.h"

void VirtualFaultScript::FailAfter(VirtualOperation Operation, uint64_t ullSuccessfulCalls, int32_t iResult)
{
    std::lock_guard<std::mutex> Lock(FaultLock);
    Faults.FailAfter(Operation, ullSuccessfulCalls, iResult);
}

void VirtualFaultScript::Heal(VirtualOperation Operation)
{
    std::lock_guard<std::mutex> Lock(FaultLock);
    Faults.Heal(Operation);
}

uint64_t VirtualFaultScript::GetCallCount(VirtualOperation Operation) const
{
    std::lock_guard<std::mutex> Lock(FaultLock);
    return Faults.GetCallCount(Operation);
}
