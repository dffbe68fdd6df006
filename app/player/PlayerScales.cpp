#include "app/player/PlayerScales.h"

#include "soundbuffer/IntelligentSoundBuffer.h"

#include <cmath>

namespace PlayerScales
{
double SpeedOfPosition(int32_t iPosition)
{
    return std::pow(SPEED_STEP_BASE, static_cast<double>(iPosition - SPEED_CENTRE_POSITION));
}

double PositionOfSpeed(double dfSpeed)
{
    return std::log(dfSpeed) / std::log(SPEED_STEP_BASE) + SPEED_CENTRE_POSITION;
}

double LevelOfVolumePosition(int32_t iPosition)
{
    return static_cast<double>(iPosition) / -10.0;
}

double GainOfVolumePosition(int32_t iPosition)
{
    return std::pow(10.0, LevelOfVolumePosition(iPosition) / 20.0);
}

double VolumePositionOfLevel(double dfLevelDb)
{
    return std::round(-10.0 * dfLevelDb);
}

uint64_t PeriodFrames(uint32_t uiDeviceRate)
{
    const uint64_t ullFrames =
        IntelligentSoundBuffer::PeriodFrames(static_cast<double>(uiDeviceRate), PERIOD_SECONDS);
    return ullFrames < 1 ? 1 : ullFrames;
}
} // namespace PlayerScales
