#include "app/dialog/PlaybackSession.h"

#include "app/player/PlaybackEngine.h"
#include "app/player/PlayerScales.h"

#include <algorithm>
#include <cmath>
#include <utility>

PlaybackSession::PlaybackSession(PlaybackEngine& Engine, SliderReader ReadSpeed, SliderMover MoveSpeed,
                                 TimeSource Now)
    : Engine(Engine), ReadSpeed(std::move(ReadSpeed)), MoveSpeed(std::move(MoveSpeed)),
      NowSource(std::move(Now))
{
}

PlaybackSession::Clock::time_point PlaybackSession::Now() const
{
    return NowSource ? NowSource() : Clock::now();
}

uint32_t PlaybackSession::GetRate() const
{
    return Engine.GetRate();
}

uint64_t PlaybackSession::GetLength() const
{
    return Engine.GetLength();
}

uint64_t PlaybackSession::GetHeardPosition() const
{
    return Engine.GetHeardPosition();
}

int32_t PlaybackSession::IsPlaying() const
{
    return Engine.IsPlaying();
}

int32_t PlaybackSession::IsPaused() const
{
    return Engine.IsPaused();
}

double PlaybackSession::Seconds(uint64_t ullFrames) const
{
    return PlaybackEngine::LengthInSeconds(ullFrames, Engine.GetRate());
}

uint64_t PlaybackSession::Frames(double dfSeconds) const
{
    return static_cast<uint64_t>(std::llround(std::max(dfSeconds, 0.0) * Engine.GetRate()));
}

void PlaybackSession::Notify(Notice What)
{
    LastNotice = What;
    NoticeUntil = Now() + NOTICE_TIME;
}

PlaybackSession::Notice PlaybackSession::GetNotice() const
{
    return LastNotice != Notice::None && Now() < NoticeUntil ? LastNotice : Notice::None;
}

void PlaybackSession::SetTrainer(const TrainerProgram& Program, bool bOn)
{
    Trainer = Program;
    Trainer.uiEvery = std::max<uint32_t>(Trainer.uiEvery, 1);
    bTrainerOn = bOn;
    ullTrainerBase = Engine.GetLoopPasses();
}

int32_t PlaybackSession::Prepare(double dfLoopStart, double dfLoopEnd, double dfFrom)
{
    const double dfLength = Seconds(Engine.GetLength());
    const bool bLoopGiven = dfLoopEnd > dfLoopStart;
    if (bLoopGiven && dfLoopEnd > dfLength)
    {
        return LOOP_BEYOND_END;
    }
    if (dfFrom > dfLength)
    {
        return FROM_BEYOND_END;
    }
    if (bLoopGiven)
    {
        SetLoop(Frames(dfLoopStart), Frames(dfLoopEnd));
    }
    Engine.SetStartFrame(dfFrom >= 0.0 ? Frames(dfFrom) : bLoop ? ullLoopStart : 0);
    return 1;
}

void PlaybackSession::BeforeRestart()
{
    if (bLoop)
    {
        Engine.SetStartFrame(ullLoopStart);
        ullLoopBase = Engine.GetLoopPasses();
        ullTrainerBase = ullLoopBase;
    }
}

int32_t PlaybackSession::SeekTo(uint64_t ullFrame)
{
    return Engine.Seek(std::min(ullFrame, Engine.GetLength()));
}

int32_t PlaybackSession::SeekToFraction(double dfFraction)
{
    if (!(dfFraction >= 0.0))
    {
        dfFraction = 0.0;
    }
    const double dfFrame = std::floor(std::min(dfFraction, 1.0) * static_cast<double>(Engine.GetLength()));
    return SeekTo(static_cast<uint64_t>(dfFrame));
}

int32_t PlaybackSession::SeekForwardTo(int64_t llFrame)
{
    // Past the end would end the playback: a key pressed once too often must not lose the place.
    if (llFrame >= static_cast<int64_t>(Engine.GetLength()))
    {
        Notify(Notice::PastTheEnd);
        return 0;
    }
    return SeekTo(static_cast<uint64_t>(std::max<int64_t>(llFrame, 0)));
}

int32_t PlaybackSession::SeekBy(double dfSeconds)
{
    if (Engine.IsPlaying() == 0 || !std::isfinite(dfSeconds))
    {
        return 0;
    }
    const int64_t llFrom = static_cast<int64_t>(GetHeardPosition());
    const int64_t llBy = std::llround(dfSeconds * Engine.GetRate());
    if (llBy > 0)
    {
        return SeekForwardTo(llFrom + llBy);
    }
    return SeekTo(static_cast<uint64_t>(std::max<int64_t>(llFrom + llBy, 0)));
}

PlaybackSession::Notice PlaybackSession::LoopRefusal(uint64_t ullStart, uint64_t ullEnd) const
{
    if (ullEnd < ullStart)
    {
        return Notice::LoopOrder;
    }
    // Half a frame of slack, so that a loop given as exactly 0.5 s is taken.
    if (Seconds(ullEnd - ullStart) + 0.5 / std::max<uint32_t>(Engine.GetRate(), 1) < SHORTEST_LOOP_SECONDS)
    {
        return Notice::LoopTooShort;
    }
    return Notice::None;
}

int32_t PlaybackSession::SetLoop(uint64_t ullStart, uint64_t ullEnd)
{
    const Notice Refusal = LoopRefusal(ullStart, ullEnd);
    if (Refusal != Notice::None)
    {
        Notify(Refusal);
        return 0;
    }
    if (Engine.SetLoop(ullStart, ullEnd) < 0)
    {
        Notify(Notice::LoopOrder);
        return 0;
    }
    bLoop = true;
    bStartMarked = false;
    ullLoopStart = ullStart;
    ullLoopEnd = std::min(ullEnd, Engine.GetLength() != 0 ? Engine.GetLength() : ullEnd);
    ullLoopBase = Engine.GetLoopPasses();
    ullTrainerBase = ullLoopBase;
    ullSeenPasses = ullLoopBase;
    // A speed armed for the old loop's seam is dropped; the trainer arms again for this one.
    Engine.SetSpeedAtLoopStart(0.0);
    iArmedPosition = -1;
    ullArmedIn = UINT64_MAX;
    return 1;
}

void PlaybackSession::ClearLoop()
{
    Engine.ClearLoop();
    bLoop = false;
    bStartMarked = false;
    iArmedPosition = -1;
}

void PlaybackSession::SetKeepPitch(bool bOn)
{
    Engine.SetKeepPitch(bOn ? 1 : 0);
}

bool PlaybackSession::IsKeepPitchOn() const
{
    return Engine.GetKeepPitch() != 0;
}

int32_t PlaybackSession::NextTrainerPosition(int32_t iFrom) const
{
    return iFrom >= Trainer.iUntilPosition ? iFrom : std::min(iFrom + Trainer.iSteps, Trainer.iUntilPosition);
}

int32_t PlaybackSession::GetTrainerNextPosition() const
{
    return iArmedPosition >= 0 ? iArmedPosition : NextTrainerPosition(ReadSpeed());
}

uint64_t PlaybackSession::GetRepetition() const
{
    return bLoop ? Engine.GetLoopPasses() - ullLoopBase + 1 : 0;
}

int32_t PlaybackSession::Perform(Action What)
{
    // Every action's result replaces the notice of the one before.
    LastNotice = Notice::None;
    if (What >= Action::Jump0 && What <= Action::Jump9)
    {
        const uint64_t ullTenths = static_cast<uint64_t>(What) - static_cast<uint64_t>(Action::Jump0);
        const uint64_t ullLength = Engine.GetLength();
        return SeekTo(ullLength / 10 * ullTenths + ullLength % 10 * ullTenths / 10);
    }
    const uint64_t ullHeard = GetHeardPosition();
    switch (What)
    {
    case Action::SeekBack:
        return SeekBy(-SHORT_SEEK_SECONDS);
    case Action::SeekForward:
        return SeekBy(SHORT_SEEK_SECONDS);
    case Action::SeekBackFar:
        return SeekBy(-LONG_SEEK_SECONDS);
    case Action::SeekForwardFar:
        return SeekBy(LONG_SEEK_SECONDS);
    case Action::LoopStart:
        if (bLoop)
        {
            return SetLoop(ullHeard, ullLoopEnd);
        }
        bStartMarked = true;
        ullMarkedStart = ullHeard;
        return 1;
    case Action::LoopEnd:
    {
        if (!bLoop && !bStartMarked)
        {
            Notify(Notice::LoopNeedsStart);
            return 0;
        }
        const uint64_t ullStart = bLoop ? ullLoopStart : ullMarkedStart;
        const Notice Refusal = LoopRefusal(ullStart, ullHeard);
        if (Refusal != Notice::None)
        {
            Notify(Refusal);
            return 0;
        }
        // Back to A first: playback has read past B already, and a loop set before the seek would
        // count a return to A of its own.
        Engine.Seek(ullStart);
        return SetLoop(ullStart, ullHeard);
    }
    case Action::LoopClear:
        if (!bLoop && !bStartMarked)
        {
            return 0;
        }
        ClearLoop();
        return 1;
    case Action::KeepPitch:
        SetKeepPitch(!IsKeepPitchOn());
        Notify(IsKeepPitchOn() ? Notice::KeepPitchOn : Notice::KeepPitchOff);
        return 1;
    case Action::Trainer:
        if (bTrainerOn)
        {
            bTrainerOn = false;
            Engine.SetSpeedAtLoopStart(0.0);
            iArmedPosition = -1;
            Notify(Notice::TrainerOff);
            return 1;
        }
        if (ReadSpeed() >= Trainer.iUntilPosition)
        {
            Notify(Notice::TrainerAtTarget);
            return 0;
        }
        SetTrainer(Trainer, true);
        ullArmedIn = UINT64_MAX;
        Notify(Notice::TrainerOn);
        return 1;
    default:
        return 0;
    }
}

void PlaybackSession::Tick()
{
    const uint64_t ullPasses = Engine.GetLoopPasses();
    if (ullPasses != ullSeenPasses)
    {
        // The seam took the armed speed: the slider shows it (the same target again changes
        // nothing).
        ullSeenPasses = ullPasses;
        if (iArmedPosition >= 0 && bLoop)
        {
            MoveSpeed(iArmedPosition);
        }
        iArmedPosition = -1;
    }
    if (!bLoop || !bTrainerOn)
    {
        return;
    }
    const int32_t iSpeed = ReadSpeed();
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
