#include "app/cli/PracticeText.h"

#include "app/cli/CliSettingValues.h"
#include "app/dialog/PlayerTexts.h"
#include "app/player/PlayerScales.h"
#include "runtime/FormatText.h"
#include "runtime/TextConversion.h"

#include <string>

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
    default:
        return false;
    }
}

namespace
{
// A text of the table with its arguments, as UTF-8 for the terminal.
template <typename... Arguments> std::string Formatted(const char16_t* pFormat, Arguments... Values)
{
    char16_t Text[160];
    FormatText(Text, sizeof(Text), pFormat, Values...);
    return WideToUtf8(Text);
}

std::u16string Minutes(const PlaybackSession& Session, uint64_t ullFrames)
{
    return Utf8ToWide(CliSettingValues::MinutesText(Session.Seconds(ullFrames)));
}
} // namespace

std::string NoticeText(const PlaybackSession& Session, PlaybackSession::Notice What)
{
    using Notice = PlaybackSession::Notice;
    const PlaybackSession::TrainerProgram& Trainer = Session.GetTrainer();
    switch (What)
    {
    case Notice::PastTheEnd:
        return Formatted(PlayerTexts::NOTICE_PAST_THE_END_FORMAT,
                         Minutes(Session, Session.GetLength()).c_str());
    case Notice::LoopOrder:
        return WideToUtf8(PlayerTexts::NOTICE_LOOP_ORDER);
    case Notice::LoopTooShort:
        return WideToUtf8(PlayerTexts::NOTICE_LOOP_TOO_SHORT);
    case Notice::LoopNeedsStart:
        return WideToUtf8(PlayerTexts::NOTICE_LOOP_NEEDS_START);
    case Notice::TrainerOn:
        return Formatted(PlayerTexts::NOTICE_TRAINER_ON_FORMAT, static_cast<int>(Trainer.iSteps),
                         static_cast<unsigned>(Trainer.uiEvery),
                         PlayerScales::SpeedOfPosition(Trainer.iUntilPosition));
    case Notice::TrainerOff:
        return WideToUtf8(PlayerTexts::NOTICE_TRAINER_OFF);
    case Notice::TrainerAtTarget:
        return Formatted(PlayerTexts::NOTICE_TRAINER_AT_TARGET_FORMAT,
                         PlayerScales::SpeedOfPosition(Trainer.iUntilPosition));
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
        Text = Formatted(PlayerTexts::STATUS_LOOP_FORMAT, Minutes(Session, Session.GetLoopStart()).c_str(),
                         Minutes(Session, Session.GetLoopEnd()).c_str(),
                         Utf8ToWide(std::to_string(Session.GetRepetition())).c_str());
        if (Session.IsTrainerOn())
        {
            const int32_t iNext = Session.GetTrainerNextPosition();
            Text += Formatted(iNext != iSpeedPosition ? PlayerTexts::STATUS_TRAINER_NEXT_FORMAT
                                                      : PlayerTexts::STATUS_TRAINER_AT_FORMAT,
                              PlayerScales::SpeedOfPosition(iNext));
        }
    }
    else if (Session.HasMarkedStart())
    {
        Text = "A " + CliSettingValues::MinutesText(Session.Seconds(Session.GetMarkedStart()));
    }
    else if (Session.IsTrainerOn())
    {
        Text = WideToUtf8(PlayerTexts::STATUS_TRAINER_ON);
    }
    return Text;
}
} // namespace PracticeText
