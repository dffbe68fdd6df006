#include "app/cli/ConsolePlayer.h"

#include "app/cli/CliAudioLayer.h"
#include "app/cli/CliFileMessages.h"
#include "app/cli/CliOptionParser.h"
#include "app/cli/CliSettingValues.h"
#include "app/cli/OutputDeviceList.h"
#include "app/cli/PracticeText.h"
#include "app/cli/StatusLine.h"
#include "app/dialog/DialogControlIds.h"
#include "app/dialog/MainDialog.h"
#include "app/dialog/PlaybackController.h"
#include "app/dialog/PlayerTexts.h"
#include "app/dialog/ProgramEntry.h"
#include "app/player/PlayerScales.h"
#include "app/player/RateTable.h"
#include "runtime/TextConversion.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iterator>
#include <sstream>

namespace
{
using namespace DialogControlIds;
using Clock = std::chrono::steady_clock;

// The status line's pace: in place ten times a second, as plain lines once a second.
constexpr auto IN_PLACE_INTERVAL = std::chrono::milliseconds(100);
constexpr auto PLAIN_INTERVAL = std::chrono::milliseconds(1000);
} // namespace

bool ConsolePlayer::ParseOptions(const std::vector<std::string>& Arguments, Options& Parsed,
                                 std::string& Problem)
{
    static const CliOptionParser::Option KNOWN[] = {
        {"--device", "D"},          {"--max-rate", "HZ"}, {"--bits", "N"},
        {"--no-enhancer", nullptr}, {"--speed", "X"},     {"--position", "P"},
        {"--volume", "DB"},         {"--shift", "BINS"},  {"--verbose", nullptr},
        {"--loop", "A-B"},          {"--from", "T"},      {"--train", "STEPS/EVERY:UNTIL"},
        {"--run-up", "S"},          {"--fresh", nullptr}, {"--keep-pitch", nullptr},
    };
    CliOptionParser Parser({std::begin(KNOWN), std::end(KNOWN)});
    if (!Parser.Parse(Arguments, Problem))
    {
        return false;
    }
    Parsed.bHelp = Parser.IsHelpAsked();
    if (Parsed.bHelp)
    {
        return true;
    }
    bool bSpeedGiven = false;
    bool bPositionGiven = false;
    for (const CliOptionParser::Given& Item : Parser.GetOptions())
    {
        const std::string& Word = Item.Name;
        const std::string& Value = Item.Value;
        bool bGood = true;
        if (Word == "--device")
        {
            bGood = !Value.empty();
            if (!bGood)
            {
                Problem = "--device needs an index, an identifier or (part of) a name";
            }
            Parsed.Device = Value;
        }
        else if (Word == "--max-rate")
        {
            bGood = CliSettingValues::ParseRate(Word, Value, Parsed.uiRateIndex, Problem);
        }
        else if (Word == "--bits")
        {
            bGood = CliSettingValues::ParseBits(Word, Value, Parsed.uiBitCount, Problem);
        }
        else if (Word == "--no-enhancer")
        {
            Parsed.bEnhancer = 0;
        }
        else if (Word == "--speed")
        {
            bGood = CliSettingValues::ParseSpeed(Word, Value, Parsed.iSpeedPosition, Problem);
            bSpeedGiven = true;
        }
        else if (Word == "--position")
        {
            bGood = CliSettingValues::ParsePosition(Word, Value, Parsed.iSpeedPosition, Problem);
            bPositionGiven = true;
        }
        else if (Word == "--volume")
        {
            bGood = CliSettingValues::ParseVolume(Word, Value, Parsed.iVolumePosition, Problem);
            Parsed.bVolumeGiven = true;
        }
        else if (Word == "--run-up")
        {
            bGood = CliSettingValues::ParseRunUp(Word, Value, PlaybackSession::LONGEST_RUN_UP_SECONDS,
                                                 Parsed.dfRunUp, Parsed.bRunUpEvery, Problem);
        }
        else if (Word == "--fresh")
        {
            Parsed.bFresh = true;
        }
        else if (Word == "--shift")
        {
            bGood = CliSettingValues::ParseShift(Word, Value, Parsed.iShift, Problem);
        }
        else if (Word == "--verbose")
        {
            Parsed.bVerbose = true;
        }
        else if (Word == "--keep-pitch")
        {
            Parsed.bKeepPitch = true;
        }
        else if (Word == "--loop")
        {
            bGood = CliSettingValues::ParseLoop(Word, Value, PlaybackSession::SHORTEST_LOOP_SECONDS,
                                                Parsed.dfLoopStart, Parsed.dfLoopEnd, Problem);
        }
        else if (Word == "--from")
        {
            bGood = CliSettingValues::ParseTime(Word, Value, Parsed.dfFrom, Problem);
        }
        else if (Word == "--train")
        {
            bGood = CliSettingValues::ParseTrainer(Word, Value, Parsed.Trainer.iSteps, Parsed.Trainer.uiEvery,
                                                   Parsed.Trainer.iUntilPosition, Problem);
            Parsed.bTrainer = true;
        }
        if (!bGood)
        {
            return false;
        }
    }
    Parsed.bSpeedGiven = bSpeedGiven || bPositionGiven;
    if (bSpeedGiven && bPositionGiven)
    {
        Problem = "give --speed or --position, not both";
        return false;
    }
    if (Parsed.bTrainer && Parsed.Trainer.iUntilPosition < Parsed.iSpeedPosition)
    {
        char Text[160];
        std::snprintf(Text, sizeof(Text),
                      "--train would slow down: its target x%.4f is below the start speed x%.4f",
                      PlayerScales::SpeedOfPosition(Parsed.Trainer.iUntilPosition),
                      PlayerScales::SpeedOfPosition(Parsed.iSpeedPosition));
        Problem = Text;
        return false;
    }
    if (Parser.GetOperands().size() > 1)
    {
        Problem = "give at most one file";
        return false;
    }
    Parsed.File = Parser.GetOperands().empty() ? std::string() : Parser.GetOperands()[0];
    return true;
}

ConsolePlayer::ConsolePlayer(SAudioClientLayer* pLayer, std::ostream& Status, bool bStatusInPlace,
                             std::ostream& Messages)
    : pLayer(pLayer), Status(Status), bStatusInPlace(bStatusInPlace), Messages(Messages)
{
}

void ConsolePlayer::ApplyKey(ConsoleDialogHost& Host, ConsoleKey Key)
{
    // The keys that move a slider, by how much. Volume position 0 is 0 dB at the top: louder is a
    // smaller position.
    static constexpr struct
    {
        ConsoleKey Key;
        int32_t iSlider;
        int32_t iStep;
    } SLIDER_KEYS[] = {
        {ConsoleKey::SpeedDown, ID_SPEED_SLIDER, -SPEED_STEP},
        {ConsoleKey::SpeedUp, ID_SPEED_SLIDER, SPEED_STEP},
        {ConsoleKey::SpeedDownTen, ID_SPEED_SLIDER, -SPEED_BIG_STEP},
        {ConsoleKey::SpeedUpTen, ID_SPEED_SLIDER, SPEED_BIG_STEP},
        {ConsoleKey::VolumeUp, ID_VOLUME_SLIDER, -VOLUME_STEP},
        {ConsoleKey::VolumeDown, ID_VOLUME_SLIDER, VOLUME_STEP},
    };
    for (const auto& Slider : SLIDER_KEYS)
    {
        if (Slider.Key == Key)
        {
            Host.MoveSlider(Slider.iSlider, Host.Item(Slider.iSlider).iPosition + Slider.iStep);
            return;
        }
    }
    if (Key == ConsoleKey::Restart)
    {
        Host.Click(ID_STOP);
        Host.Click(ID_PLAY);
    }
    else if (Key == ConsoleKey::Quit)
    {
        Host.Click(ID_CANCEL);
    }
}

void ConsolePlayer::DrawStatus(ConsoleDialogHost& Host, const PlaybackSession& Session,
                               const PlaybackEngine::StartReport& Report, bool bFinal,
                               std::optional<uint64_t> QuitAt)
{
    // A line redrawn in place fits the terminal; plain lines are a log and keep everything.
    StatusLine Now = StatusLine::Of(Host, Session, Report);
    if (QuitAt.has_value())
    {
        Now.dfPositionSeconds = Session.Seconds(*QuitAt);
    }
    Now.PracticeText = PracticeText::StatusText(Session, Host.Item(ID_SPEED_SLIDER).iPosition);
    const std::string Line = bStatusInPlace ? Now.Fit(ColumnsSource ? ColumnsSource() : 0) : Now.Format();
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
    // The dialog's messages are held until the step that showed them is over, so that a failure
    // with a plainer explanation can give that instead.
    std::ostringstream DialogMessages;
    const auto PassMessages = [&]
    {
        if (DialogMessages.tellp() > 0)
        {
            Messages << DialogMessages.str() << std::flush;
            DialogMessages.str(std::string());
        }
    };
    ConsoleDialogHost Host(DialogMessages);
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
        OutputDeviceList Devices;
        int32_t iIndex = -1;
        std::string Problem = "the audio system lists no devices\n";
        if (pLayer == nullptr || Devices.Load(*pLayer) < 0 || !Devices.Find(Chosen.Device, iIndex, Problem))
        {
            Messages << "larkspur-cli play: " << Problem;
            return EXIT_DEVICE_FAILED;
        }
        // Entry 0 is the default device. The dialog's list leaves out an endpoint whose name cannot
        // be read, so the endpoint's entry is found by its identity, never by its place.
        int32_t iEntry = 0;
        if (iIndex >= 0)
        {
            const OutputDeviceList::Entry& Wanted = *Devices.EntryOf(iIndex);
            iEntry = Entry.GetController().ComboEntryOf(Wanted.WideId, iIndex);
            if (iEntry < 0)
            {
                Messages << "larkspur-cli play: "
                         << (Wanted.bNameRead
                                 ? std::string("the output devices changed while starting; try again")
                                 : "the output device " + std::to_string(iIndex) +
                                       " cannot be chosen: its name cannot be read, and the "
                                       "player lists only the devices it can name")
                         << '\n';
                return EXIT_DEVICE_FAILED;
            }
        }
        Host.SelectEntry(ID_DEVICE_COMBO, iEntry);
    }
    Host.SelectEntry(ID_RATE_COMBO, static_cast<int32_t>(RateTable::ComboSelection(Chosen.uiRateIndex)));
    Host.TypeText(ID_BIT_FIELD, Utf8ToWide(std::to_string(Chosen.uiBitCount)));
    // The box toggled as a click toggles it; the dialog reads it on the command.
    Host.SetChecked(ID_ENHANCER_CHECK, Chosen.bEnhancer);
    Host.Click(ID_ENHANCER_CHECK);

    PlaybackSession& Session = Entry.GetDialog().GetSession();
    Session.SetRemembering(Chosen.bRemember && !Chosen.bFresh);
    Session.SetStateFolder(Chosen.StateFolder);
    const uint32_t uiMessagesBefore = Host.MessageCount();
    Host.SetFileChoice(Utf8ToWide(FilePath));
    Host.Click(ID_CHOOSE_FILE);
    PassMessages();
    if (Host.MessageCount() != uiMessagesBefore || Host.Item(ID_PATH_FIELD).Text.empty())
    {
        Messages << "larkspur-cli play: " << CliFileMessages::RefusedInput(FilePath) << '\n';
        return EXIT_FILE_REFUSED;
    }
    if (Session.GetNotice() == PlaybackSession::Notice::StateDamaged)
    {
        Messages << "larkspur-cli play: "
                 << PracticeText::NoticeText(Session, PlaybackSession::Notice::StateDamaged) << '\n';
        Session.DropNotice();
    }
    // Speed and volume are set before Play, as the window's sliders are read at Play: the first
    // sample is already at them. The volume ramp starts at the level itself rather than gliding
    // from the window's initial one. What the command line gives wins over what was kept.
    const bool bRecalled = Session.IsRecalled();
    if (Chosen.bSpeedGiven || !bRecalled)
    {
        Host.MoveSlider(ID_SPEED_SLIDER, Chosen.iSpeedPosition);
    }
    if (Chosen.bVolumeGiven || !bRecalled)
    {
        Host.MoveSlider(ID_VOLUME_SLIDER, Chosen.iVolumePosition);
    }
    PlaybackEngine& Engine = Entry.GetEngine();
    Engine.InitializeVolume(PlayerScales::GainOfVolumePosition(Host.Item(ID_VOLUME_SLIDER).iPosition));
    if (Chosen.bTrainer || !bRecalled)
    {
        Session.SetTrainer(Chosen.Trainer, Chosen.bTrainer);
    }
    if (Chosen.dfRunUp >= 0.0)
    {
        Session.SetRunUp(Chosen.dfRunUp, Chosen.bRunUpEvery);
    }
    if (Chosen.bKeepPitch || !bRecalled)
    {
        Session.SetKeepPitch(Chosen.bKeepPitch);
    }
    const int32_t iPrepared = Session.Prepare(Chosen.dfLoopStart, Chosen.dfLoopEnd, Chosen.dfFrom);
    if (iPrepared < 0)
    {
        const bool bLoop = iPrepared == PlaybackSession::LOOP_BEYOND_END;
        Messages << "larkspur-cli play: " << (bLoop ? "the loop's end " : "--from ")
                 << CliSettingValues::MinutesText(bLoop ? Chosen.dfLoopEnd : Chosen.dfFrom)
                 << " lies beyond the end of the file ("
                 << CliSettingValues::MinutesText(Session.Seconds(Session.GetLength())) << ")\n";
        return EXIT_USAGE;
    }
    Host.Click(ID_PLAY);
    const PlaybackEngine::StartReport& Report = Entry.GetController().GetLastStartReport();
    if (Session.IsPlaying() == 0)
    {
        const bool bNoDevice = Report.FailedStep == PlaybackEngine::StartStep::Device;
        if (bNoDevice && Host.Item(ID_DEVICE_COMBO).Entries.size() <= 1)
        {
            // Nothing to play on at all: one line that says so and what to do, instead of the
            // window's message.
            Messages << "larkspur-cli play: " << NO_OUTPUT_DEVICE_TEXT << '\n';
            return EXIT_DEVICE_FAILED;
        }
        PassMessages();
        Messages
            << "larkspur-cli play: "
            << (bNoDevice
                    ? "the output device took none of the rates in either mode; 'larkspur-cli devices "
                      "--probe' shows what each device takes, LARKSPUR_AUDIO=virtual plays onto a virtual "
                      "device"
                    : "playback did not start")
            << '\n';
        return EXIT_DEVICE_FAILED;
    }

    const auto Tick = std::chrono::milliseconds(PlayerScales::PROGRESS_TIMER_MS);
    auto NextTick = Clock::now() + Tick;
    auto NextStatus = Clock::now();
    bool bInterrupted = false;
    // Where a quit left the playback: once stopped, the engine knows only how far it had read ahead.
    std::optional<uint64_t> QuitAt;
    const auto NoteQuit = [&]
    {
        if (Session.IsPlaying() != 0)
        {
            QuitAt = Session.GetHeardPosition();
        }
    };
    // The key list's lines while it is shown instead of the status line (0: not shown).
    size_t ullHelpLines = 0;
    while (!Host.HasEnded() && Session.IsPlaying() != 0)
    {
        const auto Now = Clock::now();
        if (Now >= NextStatus && ullHelpLines == 0)
        {
            DrawStatus(Host, Session, Report, false);
            NextStatus = Now + (bStatusInPlace ? IN_PLACE_INTERVAL : PLAIN_INTERVAL);
        }
        const auto Left = std::chrono::duration_cast<std::chrono::milliseconds>(NextTick - Now).count();
        const ConsoleKey Key = Keys.WaitForKey(static_cast<uint32_t>(std::max<long long>(Left, 0)));
        if (Keys.IsStopRequested())
        {
            NoteQuit();
            bInterrupted = true;
            Host.Click(ID_CANCEL);
            break;
        }
        if (ullHelpLines != 0 && Key != ConsoleKey::None)
        {
            // Any key takes the key list away; the status line comes back where it was.
            if (bStatusInPlace)
            {
                Status << "\x1b[" << ullHelpLines << "A\r\x1b[J" << std::flush;
            }
            ullHelpLines = 0;
            NextStatus = Clock::now();
            continue;
        }
        if (Key == ConsoleKey::Help)
        {
            const std::string Help = PracticeText::HelpText();
            Status << (bStatusInPlace ? "\r\x1b[K" : "") << Help << std::flush;
            bLineOpen = false;
            ullHelpLines = static_cast<size_t>(std::count(Help.begin(), Help.end(), '\n'));
            continue;
        }
        if (Key == ConsoleKey::Restart)
        {
            Session.BeforeRestart();
        }
        DialogEvent Event;
        Event.What = DialogEvent::Kind::Practice;
        if (PracticeText::ActionOfKey(Key, Event.Practice) || Key == ConsoleKey::PauseOrResume)
        {
            if (Key == ConsoleKey::PauseOrResume)
            {
                Event.What = DialogEvent::Kind::PlayPause;
            }
            Entry.GetDialog().OnUserEvent(Event);
        }
        else
        {
            if (Key != ConsoleKey::None)
            {
                // Any key's result takes the place of the last notice.
                Session.DropNotice();
            }
            if (Key == ConsoleKey::Quit)
            {
                NoteQuit();
            }
            ApplyKey(Host, Key);
        }
        if (Key != ConsoleKey::None && bStatusInPlace)
        {
            // The key's result shows at once, in place of a notice too.
            NextStatus = Clock::now();
        }
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
        PassMessages();
        if (pObserver != nullptr)
        {
            pObserver(pObserverContext, Host, Session);
        }
    }
    // The last line shows where playback ended, not a notice of the last key.
    Session.DropNotice();
    DrawStatus(Host, Session, Report, true, QuitAt);
    const bool bFailedRestart = Host.MessageCount() != uiMessagesBefore;
    Entry.End();
    PassMessages();
    if (bInterrupted)
    {
        return EXIT_INTERRUPTED;
    }
    return bFailedRestart ? EXIT_DEVICE_FAILED : EXIT_DONE;
}
