#include "tests/scripted/VirtualFaultPlan.h"

void VirtualFaultPlan::FailAfter(VirtualOperation Operation, uint64_t ullSuccessfulCalls, int32_t iResult)
{
    Plan& Entry = Plans[static_cast<size_t>(Operation)];
    Entry.ullFailFrom = Entry.ullCalls + ullSuccessfulCalls;
    Entry.iResult = iResult;
    Entry.bArmed = true;
}

void VirtualFaultPlan::Heal(VirtualOperation Operation)
{
    Plans[static_cast<size_t>(Operation)].bArmed = false;
}

int32_t VirtualFaultPlan::Enter(VirtualOperation Operation)
{
    Plan& Entry = Plans[static_cast<size_t>(Operation)];
    const uint64_t ullIndex = Entry.ullCalls++;
    return Entry.bArmed && ullIndex >= Entry.ullFailFrom ? Entry.iResult : AUDIO_OK;
}

uint64_t VirtualFaultPlan::GetCallCount(VirtualOperation Operation) const
{
    return Plans[static_cast<size_t>(Operation)].ullCalls;
}
