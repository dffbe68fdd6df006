#include "app/cli/CliSettingValues.h"

#include "app/cli/CliNumbers.h"
#include "app/player/PlayerScales.h"
#include "app/player/RateTable.h"

#include <cmath>

namespace
{
constexpr int64_t SHIFT_LIMIT = 127;

std::string Quoted(const std::string& Text)
{
    return "'" + Text + "'";
}
} // namespace

namespace CliSettingValues
{
std::string RateList(uint32_t uiFirst, uint32_t uiCount)
{
    std::string List;
    for (uint32_t n = uiFirst; n < uiFirst + uiCount && n < RateTable::COUNT; ++n)
    {
        // The table runs from the highest rate down. Appended piece by piece: a sum of temporaries
        // trips a false overlap warning of GCC 12 at -O3.
        if (!List.empty())
        {
            List += ' ';
        }
        List += std::to_string(RateTable::Hz(RateTable::COUNT - 1 - n));
    }
    return List;
}

bool ParseRate(const std::string& Option, const std::string& Text, uint32_t& uiRateIndex,
               std::string& Problem)
{
    int64_t llHz = 0;
    if (ParseWhole(Text, llHz))
    {
        for (uint32_t i = 0; i < RateTable::COUNT; ++i)
        {
            if (static_cast<int64_t>(RateTable::Hz(i)) == llHz)
            {
                uiRateIndex = i;
                return true;
            }
        }
    }
    Problem = Option + " needs one of the rates " + RateList() + " (Hz), not " + Quoted(Text);
    return false;
}

bool ParseSpeed(const std::string& Option, const std::string& Text, int32_t& iPosition, std::string& Problem)
{
    double dfSpeed = 0.0;
    const double dfPosition =
        ParseReal(Text, dfSpeed) && dfSpeed > 0.0 ? std::round(PlayerScales::PositionOfSpeed(dfSpeed)) : -1.0;
    if (!(dfPosition >= 0.0 && dfPosition <= PlayerScales::SPEED_MAXIMUM_POSITION))
    {
        Problem = Option +
                  " needs a speed from 0.5 to 2.5198 (it goes to the nearest 1/120-octave step), not " +
                  Quoted(Text);
        return false;
    }
    iPosition = static_cast<int32_t>(dfPosition);
    return true;
}

bool ParsePosition(const std::string& Option, const std::string& Text, int32_t& iPosition,
                   std::string& Problem)
{
    int64_t llPosition = 0;
    if (!ParseWhole(Text, llPosition) || llPosition < 0 || llPosition > PlayerScales::SPEED_MAXIMUM_POSITION)
    {
        Problem = Option + " needs a whole number from 0 to 280, not " + Quoted(Text);
        return false;
    }
    iPosition = static_cast<int32_t>(llPosition);
    return true;
}

bool ParseVolume(const std::string& Option, const std::string& Text, int32_t& iPosition, std::string& Problem)
{
    double dfLevel = 0.0;
    // The slider moves in tenths of a decibel; a level between its steps is not one it has.
    if (!ParseReal(Text, dfLevel) || dfLevel > 0.0 || dfLevel < PlayerScales::LOWEST_VOLUME_DB ||
        std::fabs(dfLevel * 10.0 - std::round(dfLevel * 10.0)) > 1e-6)
    {
        Problem = Option + " needs a level from 0 to -80 dB in steps of 0.1, not " + Quoted(Text);
        return false;
    }
    iPosition = static_cast<int32_t>(std::lround(PlayerScales::VolumePositionOfLevel(dfLevel)));
    return true;
}

bool ParseBits(const std::string& Option, const std::string& Text, uint32_t& uiBits, std::string& Problem)
{
    int64_t llBits = 0;
    if (!ParseWhole(Text, llBits) || llBits < 1 || llBits > PlayerScales::MAXIMUM_BIT_COUNT)
    {
        Problem = Option + " needs a whole number from 1 to 32, not " + Quoted(Text);
        return false;
    }
    uiBits = static_cast<uint32_t>(llBits);
    return true;
}

bool ParseShift(const std::string& Option, const std::string& Text, int32_t& iShift, std::string& Problem)
{
    int64_t llShift = 0;
    if (!ParseWhole(Text, llShift) || llShift < -SHIFT_LIMIT || llShift > SHIFT_LIMIT)
    {
        Problem = Option + " needs a whole number of bins from -127 to 127, not " + Quoted(Text);
        return false;
    }
    iShift = static_cast<int32_t>(llShift);
    return true;
}
} // namespace CliSettingValues
