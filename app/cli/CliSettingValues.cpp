#include "app/cli/CliSettingValues.h"

#include "app/cli/CliNumbers.h"
#include "app/player/PlayerScales.h"
#include "app/player/RateTable.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <vector>

namespace
{
constexpr int64_t SHIFT_LIMIT = 127;

std::string Quoted(const std::string& Text)
{
    return "'" + Text + "'";
}

// A whole number from llLowest to llHighest into Value, or the problem saying what was wanted.
template <typename Whole>
bool ParseBounded(const std::string& Option, const std::string& Text, int64_t llLowest, int64_t llHighest,
                  const char* pWanted, Whole& Value, std::string& Problem)
{
    int64_t llValue = 0;
    if (!ParseWhole(Text, llValue) || llValue < llLowest || llValue > llHighest)
    {
        Problem = Option + " needs " + pWanted + ", not " + Quoted(Text);
        return false;
    }
    Value = static_cast<Whole>(llValue);
    return true;
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
    return ParseBounded(Option, Text, 0, PlayerScales::SPEED_MAXIMUM_POSITION, "a whole number from 0 to 280",
                        iPosition, Problem);
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
    return ParseBounded(Option, Text, 1, PlayerScales::MAXIMUM_BIT_COUNT, "a whole number from 1 to 32",
                        uiBits, Problem);
}

bool ParseShift(const std::string& Option, const std::string& Text, int32_t& iShift, std::string& Problem)
{
    return ParseBounded(Option, Text, -SHIFT_LIMIT, SHIFT_LIMIT, "a whole number of bins from -127 to 127",
                        iShift, Problem);
}

bool ParseTime(const std::string& Option, const std::string& Text, double& dfSeconds, std::string& Problem)
{
    // Seconds, minutes:seconds or hours:minutes:seconds; the seconds below 60 after a colon, the
    // minutes too after hours.
    std::vector<std::string> Fields;
    for (size_t ullFrom = 0;;)
    {
        const size_t ullColon = Text.find(':', ullFrom);
        Fields.push_back(
            Text.substr(ullFrom, ullColon == std::string::npos ? std::string::npos : ullColon - ullFrom));
        if (ullColon == std::string::npos)
        {
            break;
        }
        ullFrom = ullColon + 1;
    }
    const auto Whole = [](const std::string& Field, int64_t llLimit, int64_t& llValue)
    { return ParseWhole(Field, llValue) && llValue >= 0 && llValue < llLimit; };
    int64_t llHours = 0;
    int64_t llMinutes = 0;
    double dfRest = 0.0;
    const std::string& Last = Fields.back();
    bool bGood = Fields.size() <= 3 && ParseReal(Last, dfRest) && dfRest >= 0.0;
    if (bGood && Fields.size() > 1)
    {
        bGood = std::isdigit(static_cast<unsigned char>(Last[0])) && dfRest < 60.0;
    }
    if (bGood && Fields.size() == 2)
    {
        bGood = Whole(Fields[0], 1000000, llMinutes);
    }
    if (bGood && Fields.size() == 3)
    {
        bGood = Whole(Fields[0], 100000, llHours) && Whole(Fields[1], 60, llMinutes);
    }
    if (!bGood)
    {
        Problem = Option +
                  " needs a time of the file in seconds (72.5) or minutes and seconds (1:12.5), with "
                  "hours before them from an hour on (1:12:30.5), not " +
                  Quoted(Text);
        return false;
    }
    dfSeconds = static_cast<double>(llHours) * 3600.0 + static_cast<double>(llMinutes) * 60.0 + dfRest;
    return true;
}

bool ParseLoop(const std::string& Option, const std::string& Text, double dfShortest, double& dfStart,
               double& dfEnd, std::string& Problem)
{
    const size_t ullDash = Text.find('-');
    if (ullDash == std::string::npos)
    {
        Problem = Option + " needs two times A-B, as 12-19.5 or 0:12-0:19.5, not " + Quoted(Text);
        return false;
    }
    double dfA = 0.0;
    double dfB = 0.0;
    if (!ParseTime(Option, Text.substr(0, ullDash), dfA, Problem) ||
        !ParseTime(Option, Text.substr(ullDash + 1), dfB, Problem))
    {
        Problem += " (in " + Quoted(Text) + ")";
        return false;
    }
    if (!(dfB > dfA))
    {
        Problem = Option + " " + Text + ": the end must come after the start";
        return false;
    }
    if (dfB - dfA < dfShortest)
    {
        char Shortest[32];
        std::snprintf(Shortest, sizeof(Shortest), "%.1f", dfShortest);
        Problem = Option + " " + Text + ": a loop must last at least " + Shortest + " s";
        return false;
    }
    dfStart = dfA;
    dfEnd = dfB;
    return true;
}

bool ParseTrainer(const std::string& Option, const std::string& Text, int32_t& iSteps, uint32_t& uiEvery,
                  int32_t& iUntilPosition, std::string& Problem)
{
    const size_t ullSlash = Text.find('/');
    const size_t ullColon = Text.find(':');
    int64_t llSteps = 0;
    int64_t llEvery = 0;
    std::string Ignored;
    const bool bGood = ullSlash != std::string::npos && ullColon != std::string::npos &&
                       ullSlash < ullColon && ParseWhole(Text.substr(0, ullSlash), llSteps) && llSteps >= 1 &&
                       llSteps <= PlayerScales::SPEED_MAXIMUM_POSITION &&
                       ParseWhole(Text.substr(ullSlash + 1, ullColon - ullSlash - 1), llEvery) &&
                       llEvery >= 1 && llEvery <= 1000 &&
                       ParseSpeed(Option, Text.substr(ullColon + 1), iUntilPosition, Ignored);
    if (!bGood)
    {
        Problem = Option +
                  " needs STEPS/EVERY:UNTIL: 1 ... 280 speed steps faster after every 1 ... 1000 "
                  "repetitions, until a speed from 0.5 to 2.5198 (as 2/3:1.0), not " +
                  Quoted(Text);
        return false;
    }
    iSteps = static_cast<int32_t>(llSteps);
    uiEvery = static_cast<uint32_t>(llEvery);
    return true;
}

bool ParseRunUp(const std::string& Option, const std::string& Text, double dfLongest, double& dfSeconds,
                bool& bEvery, std::string& Problem)
{
    const size_t ullColon = Text.find(':');
    bEvery = ullColon != std::string::npos;
    double dfValue = 0.0;
    if ((bEvery && Text.substr(ullColon) != ":every") || !ParseReal(Text.substr(0, ullColon), dfValue) ||
        !(dfValue >= 0.0 && dfValue <= dfLongest))
    {
        char Longest[32];
        std::snprintf(Longest, sizeof(Longest), "%g", dfLongest);
        Problem =
            Option + " needs seconds from 0 to " + Longest + ", or that and :every, not " + Quoted(Text);
        return false;
    }
    dfSeconds = dfValue;
    return true;
}

std::string MinutesText(double dfSeconds)
{
    return ClockText(dfSeconds, 1);
}
} // namespace CliSettingValues
