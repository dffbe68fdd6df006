#include "app/cli/PracticeText.h"

#include "app/cli/CliSettingValues.h"
#include "app/player/PlayerScales.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace
{
// "0:12.34": a nudged point to the hundredth.
std::string FineTime(double dfSeconds)
{
    const long long llHundredths = std::llround(std::max(dfSeconds, 0.0) * 100.0);
    char Text[40];
    std::snprintf(Text, sizeof(Text), "%lld:%02lld.%02lld", llHundredths / 6000, llHundredths / 100 % 60,
                  llHundredths % 100);
    return Text;
}

// "M3/7": the markers at or before the place heard, of all.
std::string MarkerText(const PlaybackSession& Session)
{
    return std::to_string(Session.GetMarkerPlace()) + "/" + std::to_string(Session.GetMarkers().size());
}
} // namespace

namespace PracticeText
{
bool ActionOfKey(ConsoleKey Key, PlaybackSession::Action& What)
{
    using Action = PlaybackSession::Action;
    const int32_t iTenths = JumpTenths(Key);
    if (iTenths >= 0)
    {
        What = static_cast<Action>(static_cast<uint32_t>(Action::Jump0) + static_cast<uint32_t>(iTenths));
        return true;
    }
    switch (Key)
    {
    case ConsoleKey::SeekBack:
        What = Action::SeekBack;
        return true;
    case ConsoleKey::SeekForward:
        What = Action::SeekForward;
        return true;
    case ConsoleKey::SeekBackFar:
        What = Action::SeekBackFar;
        return true;
    case ConsoleKey::SeekForwardFar:
        What = Action::SeekForwardFar;
        return true;
    case ConsoleKey::LoopStart:
        What = Action::LoopStart;
        return true;
    case ConsoleKey::LoopEnd:
        What = Action::LoopEnd;
        return true;
    case ConsoleKey::LoopClear:
        What = Action::LoopClear;
        return true;
    case ConsoleKey::Trainer:
        What = Action::Trainer;
        return true;
    case ConsoleKey::KeepPitch:
        What = Action::KeepPitch;
        return true;
    default:
        break;
    }
    // The nudges, the run-up and the markers are in the session's order.
    if (Key >= ConsoleKey::NudgeStartEarlier && Key <= ConsoleKey::MarkerRemove)
    {
        What = static_cast<Action>(static_cast<uint32_t>(Action::NudgeStartEarlier) +
                                   static_cast<uint32_t>(Key) -
                                   static_cast<uint32_t>(ConsoleKey::NudgeStartEarlier));
        return true;
    }
    return false;
}

std::string NoticeText(const PlaybackSession& Session, PlaybackSession::Notice What)
{
    using Notice = PlaybackSession::Notice;
    const PlaybackSession::TrainerProgram& Trainer = Session.GetTrainer();
    char Text[80];
    switch (What)
    {
    case Notice::PastTheEnd:
        return "not that far: the file ends at " +
               CliSettingValues::MinutesText(Session.Seconds(Session.GetLength()));
    case Notice::LoopOrder:
        return "loop refused: B must come after A";
    case Notice::LoopTooShort:
        return "loop refused: shorter than 0.5 s";
    case Notice::LoopNeedsStart:
        return "mark the loop's start with a first";
    case Notice::TrainerOn:
        std::snprintf(Text, sizeof(Text), "trainer on: +%d every %u until x%.2f",
                      static_cast<int>(Trainer.iSteps), Trainer.uiEvery,
                      PlayerScales::SpeedOfPosition(Trainer.iUntilPosition));
        return Text;
    case Notice::TrainerOff:
        return "trainer off";
    case Notice::TrainerAtTarget:
        std::snprintf(Text, sizeof(Text), "trainer: already at its target x%.2f",
                      PlayerScales::SpeedOfPosition(Trainer.iUntilPosition));
        return Text;
    case Notice::LoopNudged:
        return Session.WasEndNudged() ? "B now " + FineTime(Session.Seconds(Session.GetLoopEnd()))
                                      : "A now " + FineTime(Session.Seconds(Session.GetLoopStart()));
    case Notice::NudgeNeedsLoop:
        return "set a loop with a and b first";
    case Notice::NudgePastTheFile:
        return "not moved: the loop would leave the file";
    case Notice::RunUpSet:
        if (Session.GetRunUpSeconds() <= 0.0)
        {
            return "run-up off";
        }
        std::snprintf(Text, sizeof(Text), "run-up %.1f s before %s", Session.GetRunUpSeconds(),
                      Session.IsRunUpEvery() ? "every repetition" : "the first repetition");
        return Text;
    case Notice::MarkerAdded:
        return "marker " + MarkerText(Session) + " added";
    case Notice::MarkerRemoved:
        return "marker removed, " + std::to_string(Session.GetMarkers().size()) + " left";
    case Notice::MarkersFull:
        return "no more markers: " + std::to_string(PlaybackSession::MAX_MARKERS) + " is the most";
    case Notice::NoMarker:
        return Session.GetMarkers().empty() ? "no markers: m drops one" : "no marker that way";
    case Notice::StateDamaged:
        return "the kept practice of this file was damaged; it is ignored";
    case Notice::KeepPitchOn:
        return "keep pitch on: the speed changes the tempo only";
    case Notice::KeepPitchOff:
        return "keep pitch off: the pitch follows the speed";
    case Notice::None:
        break;
    }
    return std::string();
}

std::string StatusText(const PlaybackSession& Session, int32_t iSpeedPosition)
{
    const PlaybackSession::Notice Shown = Session.GetNotice();
    if (Shown != PlaybackSession::Notice::None)
    {
        return NoticeText(Session, Shown);
    }
    std::string Text;
    if (Session.HasLoop())
    {
        Text = "A " + CliSettingValues::MinutesText(Session.Seconds(Session.GetLoopStart())) + " B " +
               CliSettingValues::MinutesText(Session.Seconds(Session.GetLoopEnd())) + " rep " +
               std::to_string(Session.GetRepetition());
        if (Session.IsTrainerOn())
        {
            const int32_t iNext = Session.GetTrainerNextPosition();
            char Speed[40];
            std::snprintf(Speed, sizeof(Speed), iNext != iSpeedPosition ? " next x%.2f" : " at x%.2f",
                          PlayerScales::SpeedOfPosition(iNext));
            Text += Speed;
        }
    }
    else if (Session.HasMarkedStart())
    {
        Text = "A " + CliSettingValues::MinutesText(Session.Seconds(Session.GetMarkedStart()));
    }
    else if (Session.IsTrainerOn())
    {
        Text = "trainer on";
    }
    if (Session.GetRunUpSeconds() > 0.0 && (Session.HasLoop() || Session.HasMarkedStart()))
    {
        char RunUp[40];
        std::snprintf(RunUp, sizeof(RunUp), " up %.1fs%s", Session.GetRunUpSeconds(),
                      Session.IsRunUpEvery() ? " every" : "");
        Text += RunUp;
    }
    if (!Session.GetMarkers().empty())
    {
        Text += (Text.empty() ? "M" : " M") + MarkerText(Session);
    }
    return Text;
}

std::string HelpText()
{
    return "Keys (any key returns; playback goes on):\n"
           "  left/right       speed one step down/up      shift+left/right, [ ]  ten steps\n"
           "  up/down          volume 0.5 dB up/down        space    pause/resume\n"
           "  , .              5 s back/on                  < >      30 s back/on\n"
           "  0 ... 9          to 0 %, 10 % ... 90 %        r        restart (from the loop's start)\n"
           "  a b l            loop start here, end here, clear the loop\n"
           "  z x / s d        loop start 10 ms / 100 ms earlier, later\n"
           "  c v / f g        loop end 10 ms / 100 ms earlier, later\n"
           "  u                run-up before the loop: off, 1, 2, 3, 5 s\n"
           "  i                run-up before every repetition / the first only\n"
           "  t                speed trainer on/off\n"
           "  m                marker here         n p   next/previous marker     e  remove the nearest\n"
           "  ? h              these keys          q Esc quit\n";
}
} // namespace PracticeText
