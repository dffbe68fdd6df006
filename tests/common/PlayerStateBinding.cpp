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
    const bool bBound = State.CreateVolume() == 1 && State.pVolume->Initialize(1.0) == 1 &&
                        State.pVolume->SetDefaultSteps(P) == 1 && State.AllocateDeviceBlock(2 * P) == 1;
    return bBound ? 1 : -1;
}
