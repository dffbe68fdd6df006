#pragma once
#include "runtime/CNonCopyable.h"

#include <cstdint>

class IntelligentSoundBuffer;

// The process-wide player record wired up for a playback chain a test builds by hand, as a playback
// start wires it: not paused, the sound buffer, a volume at gain 1 that ramps over one period and a
// device block of two periods. The destructor takes all of it back; the playback thread must have
// ended by then.
class PlayerStateBinding : private CNonCopyable
{
public:
    PlayerStateBinding() = default;
    ~PlayerStateBinding();

    // 1 when every step succeeded, else -1.
    int32_t Bind(IntelligentSoundBuffer& Buffer);
};
