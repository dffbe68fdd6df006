#include "app/dialog/PlaybackSession.h"

#include "app/player/PlaybackEngine.h"
#include "app/player/PlayerScales.h"

#include <algorithm>
#include <cmath>
#include <iterator>
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
    uint64_t ullStart = bLoop ? LoopEntry() : 0;
    if (dfFrom >= 0.0)
    {
        ullStart = Frames(dfFrom);
    }
    else if (!bLoopGiven && ullResumeFrame != UINT64_MAX)
    {
        ullStart = ullResumeFrame;
    }
    Engine.SetStartFrame(ullStart);
    return 1;
}

void PlaybackSession::BeforeRestart()
{
    if (bLoop)
    {
        Engine.SetStartFrame(LoopEntry());
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
    if (ApplyLoop(ullStart, ullEnd) < 0)
    {
        Notify(Notice::LoopOrder);
        return 0;
    }
    bLoop = true;
    bStartMarked = false;
    ullLoopBase = Engine.GetLoopPasses();
    ullTrainerBase = ullLoopBase;
    ullSeenPasses = ullLoopBase;
    // A speed armed for the old loop's seam is dropped; the trainer arms again for this one.
    Engine.SetSpeedAtLoopStart(0.0);
    iArmedPosition = -1;
    ullArmedIn = UINT64_MAX;
    return 1;
}

int32_t PlaybackSession::ApplyLoop(uint64_t ullStart, uint64_t ullEnd)
{
    const int32_t iSet = Engine.SetLoop(ullStart, ullEnd, bRunUpEvery ? Frames(dfRunUpSeconds) : 0);
    if (iSet > 0)
    {
        ullLoopStart = ullStart;
        ullLoopEnd = std::min(ullEnd, Engine.GetLength() != 0 ? Engine.GetLength() : ullEnd);
    }
    return iSet;
}

uint64_t PlaybackSession::LoopEntry() const
{
    return ullLoopStart - std::min(Frames(dfRunUpSeconds), ullLoopStart);
}

int32_t PlaybackSession::SetRunUp(double dfSeconds, bool bEvery)
{
    if (!(dfSeconds >= 0.0 && dfSeconds <= LONGEST_RUN_UP_SECONDS))
    {
        return 0;
    }
    dfRunUpSeconds = dfSeconds;
    bRunUpEvery = bEvery;
    if (bLoop)
    {
        // The returns to the loop take the new run-up from the next one on.
        ApplyLoop(ullLoopStart, ullLoopEnd);
    }
    return 1;
}

int32_t PlaybackSession::Nudge(bool bEnd, double dfSeconds)
{
    if (!bLoop)
    {
        Notify(Notice::NudgeNeedsLoop);
        return 0;
    }
    const int64_t llBy = std::llround(dfSeconds * Engine.GetRate());
    int64_t llStart = static_cast<int64_t>(ullLoopStart);
    int64_t llEnd = static_cast<int64_t>(ullLoopEnd);
    (bEnd ? llEnd : llStart) += llBy;
    if (llStart < 0 || llEnd > static_cast<int64_t>(Engine.GetLength()))
    {
        Notify(Notice::NudgePastTheFile);
        return 0;
    }
    const Notice Refusal = LoopRefusal(static_cast<uint64_t>(llStart), static_cast<uint64_t>(llEnd));
    if (Refusal != Notice::None)
    {
        Notify(Refusal);
        return 0;
    }
    // The repetitions and the trainer go on counting: it is the same loop, a little moved.
    if (ApplyLoop(static_cast<uint64_t>(llStart), static_cast<uint64_t>(llEnd)) < 0)
    {
        Notify(Notice::LoopOrder);
        return 0;
    }
    bLastNudgedEnd = bEnd;
    Notify(Notice::LoopNudged);
    return 1;
}

int32_t PlaybackSession::AddMarker(uint64_t ullFrame)
{
    const auto At = std::lower_bound(Markers.begin(), Markers.end(), ullFrame);
    if (At != Markers.end() && *At == ullFrame)
    {
        return 0;
    }
    if (Markers.size() >= MAX_MARKERS)
    {
        Notify(Notice::MarkersFull);
        return 0;
    }
    Markers.insert(At, ullFrame);
    return 1;
}

uint32_t PlaybackSession::GetMarkerPlace() const
{
    const uint64_t ullHeard = GetHeardPosition();
    return static_cast<uint32_t>(std::upper_bound(Markers.begin(), Markers.end(), ullHeard) -
                                 Markers.begin());
}

int32_t PlaybackSession::JumpToMarker(bool bNext)
{
    const uint64_t ullHeard = GetHeardPosition();
    if (Engine.IsPlaying() == 0)
    {
        return 0;
    }
    uint64_t ullTarget = UINT64_MAX;
    if (bNext)
    {
        const auto After = std::upper_bound(Markers.begin(), Markers.end(), ullHeard);
        ullTarget = After != Markers.end() ? *After : UINT64_MAX;
    }
    else
    {
        // Just past a marker, previous goes to the one before it, as a player's previous does.
        const uint64_t ullGrace = Frames(MARKER_BACK_GRACE_SECONDS);
        const auto Before =
            std::lower_bound(Markers.begin(), Markers.end(), ullHeard > ullGrace ? ullHeard - ullGrace : 0);
        ullTarget = Before != Markers.begin() ? *std::prev(Before) : UINT64_MAX;
    }
    if (ullTarget == UINT64_MAX || ullTarget >= Engine.GetLength())
    {
        Notify(Notice::NoMarker);
        return 0;
    }
    return SeekTo(ullTarget);
}

int32_t PlaybackSession::RemoveNearestMarker()
{
    if (Markers.empty())
    {
        Notify(Notice::NoMarker);
        return 0;
    }
    const uint64_t ullHeard = GetHeardPosition();
    const auto Distance = [ullHeard](uint64_t ullFrame)
    { return ullFrame > ullHeard ? ullFrame - ullHeard : ullHeard - ullFrame; };
    const auto Nearest =
        std::min_element(Markers.begin(), Markers.end(),
                         [&Distance](uint64_t a, uint64_t b) { return Distance(a) < Distance(b); });
    Markers.erase(Nearest);
    Notify(Notice::MarkerRemoved);
    return 1;
}

PracticeRecord PlaybackSession::Capture() const
{
    PracticeRecord Record = Identity;
    Record.iSpeedPosition = ReadSpeed();
    if (ReadVolume)
    {
        Record.iVolumePosition = ReadVolume();
    }
    Record.bLoop = bLoop;
    Record.bStartMarked = !bLoop && bStartMarked;
    Record.ullLoopStart = bLoop ? ullLoopStart : bStartMarked ? ullMarkedStart : 0;
    Record.ullLoopEnd = bLoop ? ullLoopEnd : 0;
    Record.dfRunUpSeconds = dfRunUpSeconds;
    Record.bRunUpEvery = bRunUpEvery;
    Record.iTrainerSteps = Trainer.iSteps;
    Record.uiTrainerEvery = Trainer.uiEvery;
    Record.iTrainerUntil = Trainer.iUntilPosition;
    Record.bTrainerOn = bTrainerOn;
    Record.bKeepPitch = IsKeepPitchOn();
    Record.Markers = Markers;
    // A file played to its end starts again from its start.
    const uint64_t ullLength = Engine.GetLength();
    Record.ullPosition = ullLastHeard + Frames(SHORTEST_LOOP_SECONDS) < ullLength ? ullLastHeard : 0;
    return Record;
}

void PlaybackSession::Restore(const PracticeRecord& Record)
{
    const uint64_t ullLength = Engine.GetLength();
    MoveSpeed(Record.iSpeedPosition);
    if (MoveVolume)
    {
        MoveVolume(Record.iVolumePosition);
    }
    dfRunUpSeconds = Record.dfRunUpSeconds;
    bRunUpEvery = Record.bRunUpEvery;
    // A record of a file is only found for that very file; the checks against its length guard
    // against an entry written by hand.
    if (Record.bLoop && Record.ullLoopEnd <= ullLength)
    {
        SetLoop(Record.ullLoopStart, Record.ullLoopEnd);
    }
    else if (Record.bStartMarked && Record.ullLoopStart < ullLength)
    {
        bStartMarked = true;
        ullMarkedStart = Record.ullLoopStart;
    }
    SetTrainer({Record.iTrainerSteps, Record.uiTrainerEvery, Record.iTrainerUntil}, Record.bTrainerOn);
    SetKeepPitch(Record.bKeepPitch);
    for (const uint64_t ullMarker : Record.Markers)
    {
        if (ullMarker < ullLength)
        {
            AddMarker(ullMarker);
        }
    }
    ullResumeFrame = Record.ullPosition < ullLength ? Record.ullPosition : 0;
    ullLastHeard = ullResumeFrame;
    Engine.SetStartFrame(ullResumeFrame);
}

int32_t PlaybackSession::RecallFile(const char16_t* pPath)
{
    Markers.clear();
    bIdentified = false;
    bRecalled = false;
    ullResumeFrame = UINT64_MAX;
    ullLastHeard = 0;
    if (!bRemembering)
    {
        return 0;
    }
    // Another file: the last one's loop, run-up and trainer are no part of it.
    ClearLoop();
    bTrainerOn = false;
    dfRunUpSeconds = 0.0;
    bRunUpEvery = false;
    PracticeRecord Record;
    if (PracticeStore::Identify(pPath, Record) < 0)
    {
        return 0;
    }
    Identity = Record;
    bIdentified = true;
    const int32_t iLoaded = Store.Load(Record);
    if (iLoaded == -1)
    {
        Notify(Notice::StateDamaged);
        return -1;
    }
    if (iLoaded <= 0)
    {
        return 0;
    }
    Restore(Record);
    bRecalled = true;
    return 1;
}

int32_t PlaybackSession::RememberFile()
{
    if (!bRemembering || !bIdentified)
    {
        return 0;
    }
    return Store.Save(Capture());
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
        // Back to A (or its run-up) first: playback has read past B already, and a loop set before
        // the seek would count a return to A of its own.
        Engine.Seek(ullStart - std::min(Frames(dfRunUpSeconds), ullStart));
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
    case Action::NudgeStartEarlier:
    case Action::NudgeStartLater:
    case Action::NudgeStartEarlierFar:
    case Action::NudgeStartLaterFar:
    case Action::NudgeEndEarlier:
    case Action::NudgeEndLater:
    case Action::NudgeEndEarlierFar:
    case Action::NudgeEndLaterFar:
    {
        const uint32_t uiStep =
            static_cast<uint32_t>(What) - static_cast<uint32_t>(Action::NudgeStartEarlier);
        const double dfStep = (uiStep & 2) != 0 ? FAR_NUDGE_SECONDS : NUDGE_SECONDS;
        return Nudge(uiStep >= 4, (uiStep & 1) != 0 ? dfStep : -dfStep);
    }
    case Action::RunUp:
    {
        // The lengths a key steps through; a length given otherwise goes on to the next above it.
        static constexpr double LENGTHS[] = {1.0, 2.0, 3.0, 5.0};
        double dfNext = 0.0;
        for (const double dfLength : LENGTHS)
        {
            if (dfLength > dfRunUpSeconds + 1e-9)
            {
                dfNext = dfLength;
                break;
            }
        }
        SetRunUp(dfNext, bRunUpEvery);
        Notify(Notice::RunUpSet);
        return 1;
    }
    case Action::RunUpEvery:
        SetRunUp(dfRunUpSeconds, !bRunUpEvery);
        Notify(Notice::RunUpSet);
        return 1;
    case Action::MarkerAdd:
        if (Engine.IsPlaying() == 0 || AddMarker(ullHeard) == 0)
        {
            return 0;
        }
        Notify(Notice::MarkerAdded);
        return 1;
    case Action::MarkerNext:
        return JumpToMarker(true);
    case Action::MarkerPrevious:
        return JumpToMarker(false);
    case Action::MarkerRemove:
        return RemoveNearestMarker();
    default:
        return 0;
    }
}

void PlaybackSession::Tick()
{
    if (Engine.IsPlaying() != 0)
    {
        ullLastHeard = GetHeardPosition();
    }
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
