#include "app/player/PlayerState.h"

#include "conversion/ParameterSmoother.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <new>

PlayerState::~PlayerState()
{
    DestroyVolume();
    FreeDeviceBlock();
}

PlayerState& PlayerState::Instance()
{
    static PlayerState State;
    return State;
}

int32_t PlayerState::CreateVolume()
{
    DestroyVolume();
    pVolume = new (std::nothrow) ParameterSmoother();
    if (pVolume == nullptr)
    {
        return -2;
    }
    pVolume->pLock = &VolumeLock;
    return 1;
}

void PlayerState::DestroyVolume()
{
    if (pVolume != nullptr)
    {
        pVolume->Reset();
        delete pVolume;
        pVolume = nullptr;
    }
}

void PlayerState::RestoreDefaultSettings()
{
    iShift = 0;
    uiRateIndex = PlayerDefaults::RATE_INDEX;
    uiEffectiveBitCount = PlayerDefaults::EFFECTIVE_BIT_COUNT;
    bEnhancerEnabled = PlayerDefaults::ENHANCER_ENABLED;
}

int32_t PlayerState::AllocateDeviceBlock(uint64_t ullDoubles)
{
    FreeDeviceBlock();
    if (ullDoubles == 0)
    {
        return -4;
    }
    if (ullDoubles > std::numeric_limits<size_t>::max() / sizeof(double))
    {
        return -2;
    }
    pdfDeviceBlock = static_cast<double*>(std::calloc(static_cast<size_t>(ullDoubles), sizeof(double)));
    if (pdfDeviceBlock == nullptr)
    {
        return -2;
    }
    ullDeviceBlockCount = ullDoubles;
    return 1;
}

void PlayerState::FreeDeviceBlock()
{
    std::free(pdfDeviceBlock);
    pdfDeviceBlock = nullptr;
    ullDeviceBlockCount = 0;
}

void PlayerState::SetLoop(uint64_t ullStart, uint64_t ullEnd, uint64_t ullReturn)
{
    ullLoopVersion.fetch_add(1);
    ullLoopStart.store(ullStart);
    ullLoopEnd.store(ullEnd);
    ullLoopReturn.store(std::min(ullReturn, ullStart));
    ullLoopVersion.fetch_add(1);
}

void PlayerState::ClearLoop()
{
    SetLoop(0, NO_SEEK);
}

bool PlayerState::GetLoop(uint64_t& ullStart, uint64_t& ullEnd, uint64_t& ullReturn) const
{
    // The writer takes a few instructions; a read that overlapped it is made again.
    for (;;)
    {
        const uint64_t ullBefore = ullLoopVersion.load();
        ullStart = ullLoopStart.load();
        ullEnd = ullLoopEnd.load();
        ullReturn = ullLoopReturn.load();
        if ((ullBefore & 1) == 0 && ullLoopVersion.load() == ullBefore)
        {
            break;
        }
    }
    return ullEnd != NO_SEEK && ullEnd > ullStart;
}
