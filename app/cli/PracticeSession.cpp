#include "app/cli/PracticeSession.h"

#include "app/cli/CliSettingValues.h"
#include "app/cli/ConsoleDialogHost.h"
#include "app/dialog/DialogControlIds.h"
#include "app/player/PlaybackEngine.h"
#include "app/player/PlayerScales.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

using Clock = std::chrono::steady_clock;

PracticeSession::PracticeSession(PlaybackEngine& Engine, ConsoleDialogHost& Host) : Engine(Engine), Host(Host)
{
}

double PracticeSession::Seconds(uint64_t ullFrames) const
{
    return PlaybackEngine::LengthInSeconds(ullFrames, Engine.GetRate());
}

uint64_t PracticeSession::Frames(double dfSeconds) const
{
    return static_cast<uint64_t>(std::llround(std::max(dfSeconds, 0.0) * Engine.GetRate()));
}

int32_t PracticeSession::SpeedPosition() const
{
    return Host.Item(DialogControlIds::ID_SPEED_SLIDER).iPosition;
}

void PracticeSession::SetTrainer(const TrainerProgram& Program, bool bOn)
{
    Trainer = Program;
    bTrainerOn = bOn;
    ullTrainerBase = Engine.GetLoopPasses();
}

bool PracticeSession::Prepare(double dfLoopStart, double dfLoopEnd, double dfFrom, std::string& Problem)
{
    const double dfLength = Seconds(Engine.GetLength());
    const auto Beyond = [&](const char* pWhat, double dfSeconds)
    {
        Problem = std::string(pWhat) + " " + CliSettingValues::MinutesText(dfSeconds) +
                  " lies beyond the end of the file (" + CliSettingValues::MinutesText(dfLength) + ")";
        return false;
    };
    const bool bLoopGiven = dfLoopEnd > dfLoopStart;
    if (bLoopGiven && dfLoopEnd > dfLength)
    {
        return Beyond("the loop's end", dfLoopEnd);
    }
    if (dfFrom > dfLength)
    {
        return Beyond("--from", dfFrom);
    }
    if (bLoopGiven)
    {
        TrySetLoop(Frames(dfLoopStart), Frames(dfLoopEnd));
    }
    Engine.SetStartFrame(dfFrom >= 0.0 ? Frames(dfFrom) : bLoop ? ullLoopStart : 0);
    return true;
}

void PracticeSession::BeforeRestart()
{
    if (bLoop)
    {
        Engine.SetStartFrame(ullLoopStart);
        ullLoopBase = Engine.GetLoopPasses();
        ullTrainerBase = ullLoopBase;
    }
}

void PracticeSession::SeekTo(int64_t llFrame)
{
    const int64_t llLength = static_cast<int64_t>(Engine.GetLength());
    Engine.Seek(static_cast<uint64_t>(std::clamp<int64_t>(llFrame, 0, llLength)));
}

void PracticeSession::SeekForward(int64_t llFrame)
{
    // Past the end would end the playback, and the program with it: a key pressed once too often
    // must not lose the place.
    if (llFrame >= static_cast<int64_t>(Engine.GetLength()))
    {
        Notify("not that far: the file ends at " +
               CliSettingValues::MinutesText(Seconds(Engine.GetLength())));
        return;
    }
    SeekTo(llFrame);
}

void PracticeSession::Notify(std::string Text)
{
    Notice = std::move(Text);
    NoticeUntil = Clock::now() + NOTICE_TIME;
}

bool PracticeSession::TrySetLoop(uint64_t ullStart, uint64_t ullEnd)
{
    if (ullEnd <= ullStart)
    {
        Notify("loop refused: B must come after A");
        return false;
    }
    // Half a frame of slack, so that a loop given as exactly 0.5 s is taken.
    if (Seconds(ullEnd - ullStart) + 0.5 / std::max<uint32_t>(Engine.GetRate(), 1) < SHORTEST_LOOP_SECONDS)
    {
        Notify("loop refused: shorter than 0.5 s");
        return false;
    }
    if (Engine.SetLoop(ullStart, ullEnd) < 0)
    {
        Notify("loop refused: B must come after A");
        return false;
    }
    bLoop = true;
    bStartMarked = false;
    ullLoopStart = ullStart;
    ullLoopEnd = ullEnd;
    ullLoopBase = Engine.GetLoopPasses();
    ullTrainerBase = ullLoopBase;
    ullSeenPasses = ullLoopBase;
    // A speed armed for the old loop's seam is dropped; the trainer arms again for this one.
    Engine.SetSpeedAtLoopStart(0.0);
    iArmedPosition = -1;
    ullArmedIn = UINT64_MAX;
    return true;
}

void PracticeSession::ClearLoop()
{
    Engine.ClearLoop();
    bLoop = false;
    bStartMarked = false;
    iArmedPosition = -1;
}

int32_t PracticeSession::NextTrainerPosition(int32_t iFrom) const
{
    return iFrom >= Trainer.iUntilPosition ? iFrom : std::min(iFrom + Trainer.iSteps, Trainer.iUntilPosition);
}

uint64_t PracticeSession::GetRepetition() const
{
    return bLoop ? Engine.GetLoopPasses() - ullLoopBase + 1 : 0;
}

bool PracticeSession::HandleKey(ConsoleKey Key)
{
    if (Key != ConsoleKey::None)
    {
        DropNotice();
    }
    const int64_t llPosition = static_cast<int64_t>(Engine.GetPosition());
    const int64_t llRate = Engine.GetRate();
    const int32_t iTenths = JumpTenths(Key);
    if (iTenths >= 0)
    {
        SeekTo(static_cast<int64_t>(Engine.GetLength() / 10 * static_cast<uint64_t>(iTenths) +
                                    Engine.GetLength() % 10 * static_cast<uint64_t>(iTenths) / 10));
        return true;
    }
    switch (Key)
    {
    case ConsoleKey::SeekBack:
        SeekTo(llPosition - static_cast<int64_t>(SHORT_SEEK_SECONDS) * llRate);
        return true;
    case ConsoleKey::SeekForward:
        SeekForward(llPosition + static_cast<int64_t>(SHORT_SEEK_SECONDS) * llRate);
        return true;
    case ConsoleKey::SeekBackFar:
        SeekTo(llPosition - static_cast<int64_t>(LONG_SEEK_SECONDS) * llRate);
        return true;
    case ConsoleKey::SeekForwardFar:
        SeekForward(llPosition + static_cast<int64_t>(LONG_SEEK_SECONDS) * llRate);
        return true;
    case ConsoleKey::LoopStart:
        if (bLoop)
        {
            TrySetLoop(static_cast<uint64_t>(llPosition), ullLoopEnd);
        }
        else
        {
            bStartMarked = true;
            ullMarkedStart = static_cast<uint64_t>(llPosition);
        }
        return true;
    case ConsoleKey::LoopEnd:
    {
        if (!bLoop && !bStartMarked)
        {
            Notify("mark the loop's start with a first");
            return true;
        }
        const uint64_t ullStart = bLoop ? ullLoopStart : ullMarkedStart;
        if (TrySetLoop(ullStart, static_cast<uint64_t>(llPosition)))
        {
            Engine.Seek(ullStart);
        }
        return true;
    }
    case ConsoleKey::LoopClear:
        ClearLoop();
        return true;
    case ConsoleKey::Trainer:
        if (bTrainerOn)
        {
            bTrainerOn = false;
            Engine.SetSpeedAtLoopStart(0.0);
            iArmedPosition = -1;
            Notify("trainer off");
        }
        else if (SpeedPosition() >= Trainer.iUntilPosition)
        {
            char Text[80];
            std::snprintf(Text, sizeof(Text), "trainer: already at its target x%.2f",
                          PlayerScales::SpeedOfPosition(Trainer.iUntilPosition));
            Notify(Text);
        }
        else
        {
            SetTrainer(Trainer, true);
            ullArmedIn = UINT64_MAX;
            char Text[80];
            std::snprintf(Text, sizeof(Text), "trainer on: +%d every %u until x%.2f",
                          static_cast<int>(Trainer.iSteps), Trainer.uiEvery,
                          PlayerScales::SpeedOfPosition(Trainer.iUntilPosition));
            Notify(Text);
        }
        return true;
    default:
        return false;
    }
}

void PracticeSession::Tick()
{
    const uint64_t ullPasses = Engine.GetLoopPasses();
    if (ullPasses != ullSeenPasses)
    {
        // The seam took the armed speed: the slider shows it (the same target again changes
        // nothing).
        ullSeenPasses = ullPasses;
        if (iArmedPosition >= 0 && bLoop)
        {
            Host.MoveSlider(DialogControlIds::ID_SPEED_SLIDER, iArmedPosition);
        }
        iArmedPosition = -1;
    }
    if (!bLoop || !bTrainerOn)
    {
        return;
    }
    const int32_t iSpeed = SpeedPosition();
    if (iArmedPosition >= 0 && iSpeed != iArmedFrom)
    {
        // Moved by hand meanwhile: the step counts from there.
        iArmedPosition = -1;
        ullArmedIn = UINT64_MAX;
        Engine.SetSpeedAtLoopStart(0.0);
    }
    const uint64_t ullRepetition = ullPasses - ullTrainerBase + 1;
    if (iArmedPosition < 0 && ullArmedIn != ullPasses && ullRepetition % Trainer.uiEvery == 0)
    {
        ullArmedIn = ullPasses;
        const int32_t iNext = NextTrainerPosition(iSpeed);
        if (iNext != iSpeed)
        {
            Engine.SetSpeedAtLoopStart(PlayerScales::SpeedOfPosition(iNext));
            iArmedPosition = iNext;
            iArmedFrom = iSpeed;
        }
    }
}

std::string PracticeSession::StatusText() const
{
    if (!Notice.empty() && Clock::now() < NoticeUntil)
    {
        return Notice;
    }
    std::string Text;
    if (bLoop)
    {
        Text = "A " + CliSettingValues::MinutesText(Seconds(ullLoopStart)) + " B " +
               CliSettingValues::MinutesText(Seconds(ullLoopEnd)) + " rep " + std::to_string(GetRepetition());
        if (bTrainerOn)
        {
            const int32_t iSpeed = SpeedPosition();
            const int32_t iNext = iArmedPosition >= 0 ? iArmedPosition : NextTrainerPosition(iSpeed);
            char Speed[40];
            std::snprintf(Speed, sizeof(Speed), iNext != iSpeed ? " next x%.2f" : " at x%.2f",
                          PlayerScales::SpeedOfPosition(iNext));
            Text += Speed;
        }
    }
    else if (bStartMarked)
    {
        Text = "A " + CliSettingValues::MinutesText(Seconds(ullMarkedStart));
    }
    else if (bTrainerOn)
    {
        Text = "trainer on";
    }
    return Text;
}
