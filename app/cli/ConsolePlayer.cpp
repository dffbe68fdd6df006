#include "app/cli/ConsolePlayer.h"
#include "app/cli/CliNumbers.h"

#include "app/cli/StatusLine.h"
#include "app/dialog/DialogControlIds.h"
#include "app/dialog/ProgramEntry.h"
#include "app/player/PlayerScales.h"
#include "app/player/RateTable.h"
#include "runtime/TextConversion.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>

namespace
{
using namespace DialogControlIds;
using Clock = std::chrono::steady_clock;

// The status line's pace: in place ten times a second, as plain lines once a second.
constexpr auto IN_PLACE_INTERVAL = std::chrono::milliseconds(100);
constexpr auto PLAIN_INTERVAL = std::chrono::milliseconds(1000);
constexpr int32_t SHIFT_LIMIT = 127;

std::string RateList()
{
    std::string List;
    for (uint32_t i = RateTable::COUNT; i-- > 0;)
    {
        List += std::to_string(RateTable::Hz(i)) + (i > 0 ? " " : "");
    }
    return List;
}

// The device combo's selection for an endpoint index or name: entry 0 is the default device, entry
// i + 1 the endpoint i. -1 when none matches.
int32_t DeviceSelection(ConsoleDialogHost& Host, const std::string& Device)
{
    const std::vector<std::u16string>& Entries = Host.Item(ID_DEVICE_COMBO).Entries;
    int64_t llIndex = 0;
    if (ParseWhole(Device, llIndex))
    {
        return llIndex >= -1 && llIndex + 1 < static_cast<int64_t>(Entries.size())
                   ? static_cast<int32_t>(llIndex + 1)
                   : -1;
    }
    const std::u16string Name = Utf8ToWide(Device);
    for (size_t i = 1; i < Entries.size(); ++i)
    {
        if (Entries[i] == Name)
        {
            return static_cast<int32_t>(i);
        }
    }
    // A part of a name, when it fits exactly one endpoint.
    int32_t iFound = -1;
    for (size_t i = 1; i < Entries.size(); ++i)
    {
        if (Entries[i].find(Name) != std::u16string::npos)
        {
            if (iFound >= 0)
            {
                return -1;
            }
            iFound = static_cast<int32_t>(i);
        }
    }
    return iFound;
}
} // namespace

bool ConsolePlayer::ParseOptions(const std::vector<std::string>& Arguments, Options& Parsed,
                                 std::string& Problem)
{
    std::vector<std::string> Files;
    bool bSpeedGiven = false;
    bool bPositionGiven = false;
    for (size_t i = 0; i < Arguments.size(); ++i)
    {
        const std::string& Word = Arguments[i];
        if (Word.size() < 2 || Word.compare(0, 2, "--") != 0)
        {
            Files.push_back(Word);
            continue;
        }
        if (Word == "--no-enhancer")
        {
            Parsed.bEnhancer = 0;
            continue;
        }
        if (i + 1 >= Arguments.size())
        {
            Problem = "option " + Word + " needs a value";
            return false;
        }
        const std::string& Value = Arguments[++i];
        int64_t llWhole = 0;
        double dfReal = 0.0;
        if (Word == "--device")
        {
            if (Value.empty())
            {
                Problem = "--device needs an index or a name";
                return false;
            }
            Parsed.Device = Value;
        }
        else if (Word == "--max-rate")
        {
            uint32_t uiIndex = RateTable::COUNT;
            if (ParseWhole(Value, llWhole))
            {
                for (uint32_t j = 0; j < RateTable::COUNT; ++j)
                {
                    if (static_cast<int64_t>(RateTable::Hz(j)) == llWhole)
                    {
                        uiIndex = j;
                    }
                }
            }
            if (uiIndex == RateTable::COUNT)
            {
                Problem = "--max-rate needs one of the rates " + RateList() + " (Hz), not '" + Value + "'";
                return false;
            }
            Parsed.uiRateIndex = uiIndex;
        }
        else if (Word == "--bits")
        {
            if (!ParseWhole(Value, llWhole) || llWhole < 1 || llWhole > PlayerScales::MAXIMUM_BIT_COUNT)
            {
                Problem = "--bits needs a whole number from 1 to 32, not '" + Value + "'";
                return false;
            }
            Parsed.uiBitCount = static_cast<uint32_t>(llWhole);
        }
        else if (Word == "--speed")
        {
            const double dfPosition = ParseReal(Value, dfReal) && dfReal > 0.0
                                          ? std::round(PlayerScales::PositionOfSpeed(dfReal))
                                          : -1.0;
            if (dfPosition < 0.0 || dfPosition > PlayerScales::SPEED_MAXIMUM_POSITION)
            {
                Problem = "--speed needs a speed from 0.5 to 2.5198 (it goes to the nearest 1/120-octave "
                          "step), not '" +
                          Value + "'";
                return false;
            }
            Parsed.iSpeedPosition = static_cast<int32_t>(dfPosition);
            bSpeedGiven = true;
        }
        else if (Word == "--position")
        {
            if (!ParseWhole(Value, llWhole) || llWhole < 0 || llWhole > PlayerScales::SPEED_MAXIMUM_POSITION)
            {
                Problem = "--position needs a whole number from 0 to 280, not '" + Value + "'";
                return false;
            }
            Parsed.iSpeedPosition = static_cast<int32_t>(llWhole);
            bPositionGiven = true;
        }
        else if (Word == "--volume")
        {
            // The slider moves in tenths of a decibel; a level between its steps is not one it has.
            if (!ParseReal(Value, dfReal) || dfReal > 0.0 || dfReal < PlayerScales::LOWEST_VOLUME_DB ||
                std::fabs(dfReal * 10.0 - std::round(dfReal * 10.0)) > 1e-6)
            {
                Problem = "--volume needs a level from 0 to -80 dB in steps of 0.1, not '" + Value + "'";
                return false;
            }
            Parsed.iVolumePosition =
                static_cast<int32_t>(std::lround(PlayerScales::VolumePositionOfLevel(dfReal)));
        }
        else if (Word == "--shift")
        {
            if (!ParseWhole(Value, llWhole) || llWhole < -SHIFT_LIMIT || llWhole > SHIFT_LIMIT)
            {
                Problem = "--shift needs a whole number of bins from -127 to 127, not '" + Value + "'";
                return false;
            }
            Parsed.iShift = static_cast<int32_t>(llWhole);
        }
        else
        {
            Problem = "unknown option " + Word;
            return false;
        }
    }
    if (bSpeedGiven && bPositionGiven)
    {
        Problem = "give --speed or --position, not both";
        return false;
    }
    if (Files.size() > 1)
    {
        Problem = "give at most one file";
        return false;
    }
    Parsed.File = Files.empty() ? std::string() : Files[0];
    return true;
}

ConsolePlayer::ConsolePlayer(SAudioClientLayer* pLayer, std::ostream& Status, bool bStatusInPlace,
                             std::ostream& Messages)
    : pLayer(pLayer), Status(Status), bStatusInPlace(bStatusInPlace), Messages(Messages)
{
}

void ConsolePlayer::ApplyKey(ConsoleDialogHost& Host, ConsoleKey Key)
{
    const int32_t iSpeed = Host.Item(ID_SPEED_SLIDER).iPosition;
    const int32_t iVolume = Host.Item(ID_VOLUME_SLIDER).iPosition;
    switch (Key)
    {
    case ConsoleKey::SpeedDown:
        Host.MoveSlider(ID_SPEED_SLIDER, iSpeed - SPEED_STEP);
        break;
    case ConsoleKey::SpeedUp:
        Host.MoveSlider(ID_SPEED_SLIDER, iSpeed + SPEED_STEP);
        break;
    case ConsoleKey::SpeedDownTen:
        Host.MoveSlider(ID_SPEED_SLIDER, iSpeed - SPEED_BIG_STEP);
        break;
    case ConsoleKey::SpeedUpTen:
        Host.MoveSlider(ID_SPEED_SLIDER, iSpeed + SPEED_BIG_STEP);
        break;
    // Position 0 is 0 dB at the top: louder is a smaller position.
    case ConsoleKey::VolumeUp:
        Host.MoveSlider(ID_VOLUME_SLIDER, iVolume - VOLUME_STEP);
        break;
    case ConsoleKey::VolumeDown:
        Host.MoveSlider(ID_VOLUME_SLIDER, iVolume + VOLUME_STEP);
        break;
    case ConsoleKey::PauseOrResume:
        // Paused is Play enabled beside Stop; Play then resumes.
        if (!Host.Click(ID_PAUSE))
        {
            Host.Click(ID_PLAY);
        }
        break;
    case ConsoleKey::Restart:
        Host.Click(ID_STOP);
        Host.Click(ID_PLAY);
        break;
    case ConsoleKey::Quit:
        Host.Click(ID_CANCEL);
        break;
    case ConsoleKey::None:
        break;
    }
}

void ConsolePlayer::DrawStatus(ConsoleDialogHost& Host, bool bFinal)
{
    const std::string Line = StatusLine::Of(Host).Format();
    if (bStatusInPlace)
    {
        Status << '\r' << Line << "\x1b[K" << (bFinal ? "\n" : "") << std::flush;
        bLineOpen = !bFinal;
    }
    else
    {
        Status << Line << '\n' << std::flush;
    }
}

int ConsolePlayer::Run(const Options& Chosen, const std::string& FilePath, SKeySource& Keys)
{
    ConsoleDialogHost Host(Messages);
    // A message goes below the status line, which is then drawn anew under it.
    Host.SetBeforeMessage(
        [this]
        {
            if (bLineOpen)
            {
                Status << '\n' << std::flush;
                bLineOpen = false;
            }
        });
    const std::string ShiftText = std::to_string(Chosen.iShift);
    const std::u16string ShiftArgument = Utf8ToWide(ShiftText);
    ProgramEntry Entry(pLayer, nullptr, Host, ShiftArgument.c_str());
    Host.SetHandler(&Entry.GetDialog());
    if (Entry.Begin() < 0)
    {
        Messages << "larkspur-cli play: out of memory\n";
        return EXIT_DEVICE_FAILED;
    }
    Entry.GetDialog().OnInitDialog();

    // The settings, made in the controls as a user makes them in the window.
    if (!Chosen.Device.empty())
    {
        const int32_t iSelection = DeviceSelection(Host, Chosen.Device);
        if (iSelection < 0)
        {
            const std::vector<std::u16string>& Entries = Host.Item(ID_DEVICE_COMBO).Entries;
            Messages << "larkspur-cli play: no output device '" << Chosen.Device << "'; ";
            if (Entries.size() <= 1)
            {
                Messages << "there is none besides the default (-1)\n";
            }
            for (size_t i = 1; i < Entries.size(); ++i)
            {
                Messages << (i == 1 ? "there are:\n" : "") << "  " << (i - 1) << "  "
                         << WideToUtf8(Entries[i]) << '\n';
            }
            return EXIT_DEVICE_FAILED;
        }
        Host.SelectEntry(ID_DEVICE_COMBO, iSelection);
    }
    Host.SelectEntry(ID_RATE_COMBO, static_cast<int32_t>(RateTable::ComboSelection(Chosen.uiRateIndex)));
    Host.TypeText(ID_BIT_FIELD, Utf8ToWide(std::to_string(Chosen.uiBitCount)));
    // The box toggled as a click toggles it; the dialog reads it on the command.
    Host.SetChecked(ID_ENHANCER_CHECK, Chosen.bEnhancer);
    Host.Click(ID_ENHANCER_CHECK);

    const uint32_t uiMessagesBefore = Host.MessageCount();
    Host.SetFileChoice(Utf8ToWide(FilePath));
    Host.Click(ID_CHOOSE_FILE);
    if (Host.MessageCount() != uiMessagesBefore || Host.Item(ID_PATH_FIELD).Text.empty())
    {
        Messages << "larkspur-cli play: cannot play '" << FilePath << "'\n";
        return EXIT_FILE_REFUSED;
    }
    Host.Click(ID_PLAY);
    if (Host.Item(ID_STOP).bEnabled == 0)
    {
        Messages << "larkspur-cli play: playback did not start\n";
        return EXIT_DEVICE_FAILED;
    }
    // As slider moves during play: the converter and the volume glide to them.
    Host.MoveSlider(ID_SPEED_SLIDER, Chosen.iSpeedPosition);
    Host.MoveSlider(ID_VOLUME_SLIDER, Chosen.iVolumePosition);

    const auto Tick = std::chrono::milliseconds(PlayerScales::PROGRESS_TIMER_MS);
    auto NextTick = Clock::now() + Tick;
    auto NextStatus = Clock::now();
    bool bInterrupted = false;
    while (!Host.HasEnded() && Host.Item(ID_STOP).bEnabled != 0)
    {
        const auto Now = Clock::now();
        if (Now >= NextStatus)
        {
            DrawStatus(Host, false);
            NextStatus = Now + (bStatusInPlace ? IN_PLACE_INTERVAL : PLAIN_INTERVAL);
        }
        const auto Left = std::chrono::duration_cast<std::chrono::milliseconds>(NextTick - Now).count();
        const ConsoleKey Key = Keys.WaitForKey(static_cast<uint32_t>(std::max<long long>(Left, 0)));
        if (Keys.IsStopRequested())
        {
            bInterrupted = true;
            Host.Click(ID_CANCEL);
            break;
        }
        ApplyKey(Host, Key);
        if (Clock::now() >= NextTick)
        {
            NextTick += Tick;
            if (NextTick < Clock::now())
            {
                NextTick = Clock::now() + Tick;
            }
            if (Host.IsTimerRunning(PlayerScales::PROGRESS_TIMER_ID))
            {
                Entry.GetDialog().OnTimer(PlayerScales::PROGRESS_TIMER_ID);
            }
        }
        if (pObserver != nullptr)
        {
            pObserver(pObserverContext, Host);
        }
    }
    DrawStatus(Host, true);
    const bool bFailedRestart = Host.MessageCount() != uiMessagesBefore;
    Entry.End();
    if (bInterrupted)
    {
        return EXIT_INTERRUPTED;
    }
    return bFailedRestart ? EXIT_DEVICE_FAILED : EXIT_DONE;
}
