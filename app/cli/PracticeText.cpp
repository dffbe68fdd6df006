#include "app/cli/PracticeText.h"

#include "app/cli/CliFormattedText.h"
#include "app/cli/CliSettingValues.h"
#include "app/dialog/PlayerTexts.h"
#include "app/player/PlayerScales.h"
#include "runtime/FormatText.h"
#include "runtime/TextConversion.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

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
    // The practice keys stand in the order of the session's actions.
    if (Key < ConsoleKey::SeekBack || Key > ConsoleKey::KeepPitch)
    {
        return false;
    }
    What = static_cast<PlaybackSession::Action>(static_cast<uint32_t>(Key) -
                                                static_cast<uint32_t>(ConsoleKey::SeekBack));
    return true;
}

namespace
{
// A text of the table with its arguments, as UTF-8 for the terminal.
template <typename... Arguments> std::string Formatted(const char16_t* pFormat, Arguments... Values)
{
    return FormattedUtf8<160>(pFormat, Values...);
}

std::u16string Minutes(const PlaybackSession& Session, uint64_t ullFrames)
{
    return Utf8ToWide(CliSettingValues::MinutesText(Session.Seconds(ullFrames)));
}
} // namespace

std::string NoticeText(const PlaybackSession& Session, PlaybackSession::Notice What)
{
    using Notice = PlaybackSession::Notice;
    // The notices that say the same every time.
    static const struct
    {
        Notice What;
        const PlayerText* pText;
    } FIXED[] = {
        {Notice::LoopOrder, &PlayerTexts::NOTICE_LOOP_ORDER},
        {Notice::LoopTooShort, &PlayerTexts::NOTICE_LOOP_TOO_SHORT},
        {Notice::LoopNeedsStart, &PlayerTexts::NOTICE_LOOP_NEEDS_START},
        {Notice::TrainerOff, &PlayerTexts::NOTICE_TRAINER_OFF},
        {Notice::NudgeNeedsLoop, &PlayerTexts::NOTICE_NUDGE_NEEDS_LOOP},
        {Notice::NudgePastTheFile, &PlayerTexts::NOTICE_NUDGE_PAST_THE_FILE},
        {Notice::StateDamaged, &PlayerTexts::NOTICE_STATE_DAMAGED},
        {Notice::KeepPitchOn, &PlayerTexts::NOTICE_KEEP_PITCH_ON},
        {Notice::KeepPitchOff, &PlayerTexts::NOTICE_KEEP_PITCH_OFF},
    };
    for (const auto& Fixed : FIXED)
    {
        if (Fixed.What == What)
        {
            return WideToUtf8(*Fixed.pText);
        }
    }
    const PlaybackSession::TrainerProgram& Trainer = Session.GetTrainer();
    switch (What)
    {
    case Notice::PastTheEnd:
        return Formatted(PlayerTexts::NOTICE_PAST_THE_END_FORMAT,
                         Minutes(Session, Session.GetLength()).c_str());
    case Notice::TrainerOn:
        return Formatted(PlayerTexts::NOTICE_TRAINER_ON_FORMAT, static_cast<int>(Trainer.iSteps),
                         static_cast<unsigned>(Trainer.uiEvery),
                         PlayerScales::SpeedOfPosition(Trainer.iUntilPosition));
    case Notice::TrainerAtTarget:
        return Formatted(PlayerTexts::NOTICE_TRAINER_AT_TARGET_FORMAT,
                         PlayerScales::SpeedOfPosition(Trainer.iUntilPosition));
    case Notice::LoopNudged:
        return Session.WasEndNudged()
                   ? Formatted(PlayerTexts::NOTICE_NUDGED_END_FORMAT,
                               Utf8ToWide(FineTime(Session.Seconds(Session.GetLoopEnd()))).c_str())
                   : Formatted(PlayerTexts::NOTICE_NUDGED_START_FORMAT,
                               Utf8ToWide(FineTime(Session.Seconds(Session.GetLoopStart()))).c_str());
    case Notice::RunUpSet:
        if (Session.GetRunUpSeconds() <= 0.0)
        {
            return WideToUtf8(PlayerTexts::NOTICE_RUN_UP_OFF);
        }
        return Formatted(Session.IsRunUpEvery() ? PlayerTexts::NOTICE_RUN_UP_EVERY_FORMAT
                                                : PlayerTexts::NOTICE_RUN_UP_FIRST_FORMAT,
                         Session.GetRunUpSeconds());
    case Notice::MarkerAdded:
        return Formatted(PlayerTexts::NOTICE_MARKER_ADDED_FORMAT, Utf8ToWide(MarkerText(Session)).c_str());
    case Notice::MarkerRemoved:
        return Formatted(PlayerTexts::NOTICE_MARKER_REMOVED_FORMAT,
                         static_cast<unsigned>(Session.GetMarkers().size()));
    case Notice::MarkersFull:
        return Formatted(PlayerTexts::NOTICE_MARKERS_FULL_FORMAT,
                         static_cast<unsigned>(PlaybackSession::MAX_MARKERS));
    case Notice::NoMarker:
        return WideToUtf8(Session.GetMarkers().empty() ? PlayerTexts::NOTICE_NO_MARKERS
                                                       : PlayerTexts::NOTICE_NO_MARKER_THAT_WAY);
    default:
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
           "  t                speed trainer on/off         k        keep pitch on/off\n"
           "  m                marker here         n p   next/previous marker     e  remove the nearest\n"
           "  ? h              these keys          q Esc quit\n";
}
} // namespace PracticeText
