#pragma once
#include "app/player/PlayerScales.h"
#include "app/player/RateTable.h"

#include <cmath>
#include <cstdint>

// The settings the player starts with, for every front end: the highest permitted rate 96 kHz, 24
// effective bits, the resolution enhancer on, x1 and -20 dB.
namespace PlayerDefaults
{
constexpr uint32_t RATE_INDEX = RateTable::DEFAULT_INDEX;
constexpr uint32_t EFFECTIVE_BIT_COUNT = 24;
constexpr int32_t ENHANCER_ENABLED = 1;
constexpr int32_t SPEED_POSITION = PlayerScales::SPEED_CENTRE_POSITION;
constexpr double GAIN = 0.1;

// The volume slider's position for GAIN, as the dialog sets it: the integer part of log10(gain) x -200.
inline int32_t VolumePosition()
{
    return static_cast<int32_t>(std::trunc(std::log10(GAIN) * -20.0 * 10.0));
}
} // namespace PlayerDefaults
