#include "app/cli/PracticeText.h"

#include "app/cli/CliSettingValues.h"
#include "app/player/PlayerScales.h"

#include <cstdio>

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
        return false;
    }
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
    return Text;
}
} // namespace PracticeText
