#include "tests/common/PlayerStateBinding.h"

#include "app/player/PlayerState.h"
#include "conversion/ParameterSmoother.h"
#include "soundbuffer/IntelligentSoundBuffer.h"

PlayerStateBinding::~PlayerStateBinding()
{
    PlayerState& State = PlayerState::Instance();
    State.pIntelligentSoundBuffer = nullptr;
    State.FreeDeviceBlock();
    State.DestroyVolume();
}

int32_t PlayerStateBinding::Bind(IntelligentSoundBuffer& Buffer)
{
    PlayerState& State = PlayerState::Instance();
    const uint64_t P = Buffer.ullPeriodFrames;
    State.bPaused.store(0);
    State.pIntelligentSoundBuffer = &Buffer;
    int32_t iResult = State.CreateVolume();
    if (iResult == 1)
    {
        iResult = State.pVolume->Initialize(1.0);
    }
    if (iResult == 1)
    {
        iResult = State.pVolume->SetDefaultSteps(P);
    }
    if (iResult == 1)
    {
        iResult = State.AllocateDeviceBlock(2 * P);
    }
    return iResult;
}
