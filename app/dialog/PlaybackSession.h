#pragma once
#include "app/dialog/PracticeActions.h"
#include "app/dialog/PracticeRecord.h"
#include "app/dialog/PracticeStore.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

class PlaybackEngine;

// What every front end offers for practising a passage, beyond the dialog's own controls: the
// place heard and the length, seeks (relative, absolute, by tenths of the file), the A-B loop and
// the speed trainer, which makes the loop a little faster after every few repetitions; loop points
// nudged by small steps, a run-up before the loop, markers, and each file's practice remembered
// between runs (when the program asks for that). Results are
// typed: the front end words them (the window in its texts, the terminal in its status line).
// UI thread only; time comes from a clock the owner may replace (tests run on virtual time).
class PlaybackSession
{
public:
    using Clock = std::chrono::steady_clock;
    using TimeSource = std::function<Clock::time_point()>;

    static constexpr double SHORTEST_LOOP_SECONDS = 0.5;
    static constexpr double SHORT_SEEK_SECONDS = 5.0;
    static constexpr double LONG_SEEK_SECONDS = 30.0;
    // How long a notice stays at most; the next action's result takes its place at once.
    static constexpr std::chrono::milliseconds NOTICE_TIME{3000};
    static constexpr double NUDGE_SECONDS = 0.01;
    static constexpr double FAR_NUDGE_SECONDS = 0.1;
    static constexpr double LONGEST_RUN_UP_SECONDS = PracticeRecord::LONGEST_RUN_UP_SECONDS;
    static constexpr uint32_t MAX_MARKERS = PracticeRecord::MAX_MARKERS;
    // Previous goes to the marker before the one just passed when that one is less than this behind.
    static constexpr double MARKER_BACK_GRACE_SECONDS = 1.0;

    // The trainer's program: iSteps speed-slider steps faster after every uiEvery repetitions,
    // until the slider position iUntilPosition.
    struct TrainerProgram
    {
        int32_t iSteps = 2;
        uint32_t uiEvery = 3;
        int32_t iUntilPosition = 120;
    };

    // What the keys, the progress bar's menu and the media controls ask for.
    enum class Action : uint32_t
    {
        LARKSPUR_PRACTICE_ACTIONS(LARKSPUR_PRACTICE_ENUMERATOR)
    };
    static constexpr Action LAST_ACTION = Action::KeepPitch;

    // The last thing an action said, kept for NOTICE_TIME.
    enum class Notice : uint32_t
    {
        None,
        PastTheEnd,     // a seek on would have reached the end (the file's length in Seconds)
        LoopOrder,      // B must come after A
        LoopTooShort,   // shorter than SHORTEST_LOOP_SECONDS
        LoopNeedsStart, // B without A
        TrainerOn,      // with its program
        TrainerOff,
        TrainerAtTarget,  // the speed is at the trainer's target already
        LoopNudged,       // a loop point moved (GetLastNudged says which and where)
        NudgeNeedsLoop,   // a nudge without a loop
        NudgePastTheFile, // the point would leave the file
        RunUpSet,         // the run-up's length and whether before every repetition
        MarkerAdded,      // GetMarkerPlace counts it
        MarkerRemoved,
        MarkersFull,  // MAX_MARKERS already
        NoMarker,     // none in that direction (or none at all)
        StateDamaged, // the file's remembered practice could not be read and was ignored
        KeepPitchOn,
        KeepPitchOff,
    };

    // The speed slider as the front end has it: its position, and a move of it that the front end
    // carries out as a user's move (label, converter).
    using SliderReader = std::function<int32_t()>;
    using SliderMover = std::function<void(int32_t)>;

    PlaybackSession(PlaybackEngine& Engine, SliderReader ReadSpeed, SliderMover MoveSpeed,
                    TimeSource Now = nullptr);

    // The file: its rate (0 without one), its length in frames, and the place now heard (what the
    // loudspeaker plays, behind the converter by what is queued) in frames.
    uint32_t GetRate() const;
    uint64_t GetLength() const;
    uint64_t GetHeardPosition() const;
    double Seconds(uint64_t ullFrames) const;
    uint64_t Frames(double dfSeconds) const;
    int32_t IsPlaying() const;
    int32_t IsPaused() const;

    // Seeks while playing or paused (1 moved, 0 not playing or refused): to a frame (clamped to the
    // file; the end ends playback as the end of the file does), to a fraction 0 ... 1 of the file,
    // or by seconds from the place heard (back stops at the start; on is refused, with PastTheEnd,
    // when it would reach the end, so a key pressed once too often never loses the place).
    int32_t SeekTo(uint64_t ullFrame);
    int32_t SeekToFraction(double dfFraction);
    int32_t SeekBy(double dfSeconds);

    // Any action; 1 done, 0 refused (a notice says why) or nothing to do.
    int32_t Perform(Action What);

    // Before the start: the loop in seconds of the file (dfLoopEnd > dfLoopStart; none otherwise)
    // and where playback starts (negative: the place remembered, else the loop's start less the
    // run-up, else the beginning; a loop given here starts at its own start). 1 taken;
    // LOOP_BEYOND_END or FROM_BEYOND_END when that time lies beyond the end of the file.
    static constexpr int32_t LOOP_BEYOND_END = -1;
    static constexpr int32_t FROM_BEYOND_END = -4;
    int32_t Prepare(double dfLoopStart, double dfLoopEnd, double dfFrom);
    // Before a restart: it starts from the loop's start while a loop is set.
    void BeforeRestart();
    // The loop [ullStart, ullEnd) in frames, or a notice; 1 set.
    int32_t SetLoop(uint64_t ullStart, uint64_t ullEnd);
    void ClearLoop();
    void SetTrainer(const TrainerProgram& Program, bool bOn);
    // The run-up: each pass into the loop starts dfSeconds (0 ... LONGEST_RUN_UP_SECONDS) before A,
    // the first only or (bEvery) every repetition. 1; 0 out of range (nothing changes).
    int32_t SetRunUp(double dfSeconds, bool bEvery);
    double GetRunUpSeconds() const { return dfRunUpSeconds; }
    bool IsRunUpEvery() const { return bRunUpEvery; }
    // Moves A (bEnd false) or B by dfSeconds while a loop is set: A stays SHORTEST_LOOP_SECONDS
    // before B and both within the file, otherwise refused with a notice. Playing, the new point
    // takes effect at the next repetition. 1 moved; 0 refused.
    int32_t Nudge(bool bEnd, double dfSeconds);
    // Which point the last nudge moved: true for B.
    bool WasEndNudged() const { return bLastNudgedEnd; }

    // Markers, ascending, in frames. AddMarker: 1 added; 0 one is there already, or MarkersFull.
    int32_t AddMarker(uint64_t ullFrame);
    const std::vector<uint64_t>& GetMarkers() const { return Markers; }
    // How many markers lie at or before the place heard (the "3" of "3/7").
    uint32_t GetMarkerPlace() const;

    // Remembering: off until the program turns it on (tests and --fresh leave it off). The folder
    // for the entries (empty: the user's state folder).
    void SetRemembering(bool bOn) { bRemembering = bOn; }
    void SetStateFolder(std::u16string Folder) { Store.SetFolder(std::move(Folder)); }
    // The volume slider as the front end has it, for what is remembered.
    void SetVolumeSlider(SliderReader Read, SliderMover Move)
    {
        ReadVolume = std::move(Read);
        MoveVolume = std::move(Move);
    }
    // A file was opened: its markers replace the last file's, and, remembering, what was kept for it
    // comes back (speed, volume, loop, run-up, trainer, markers, where the next start plays from).
    // 1 restored; 0 nothing kept (or not remembering); -1 the entry was damaged: ignored, with
    // StateDamaged.
    int32_t RecallFile(const char16_t* pPath);
    // Whether the last RecallFile restored what was kept.
    bool IsRecalled() const { return bRecalled; }
    // Keeps the practice of the file recalled last. 1 written; 0 not remembering or no file; negative
    // the store's failure (playback goes on regardless).
    int32_t RememberFile();
    // What would be kept now.
    PracticeRecord Capture() const;
    // Keep pitch (also before the start; kept across starts): the speed changes the tempo only.
    // Switched while playing, the old mode crossfades into the new one within a device period.
    void SetKeepPitch(bool bOn);
    bool IsKeepPitchOn() const;

    // After every turn of the front end's timer: counts the repetitions and lets the trainer arm the
    // speed the next return to the loop's start glides to; the speed slider follows when it has.
    void Tick();

    bool HasLoop() const { return bLoop; }
    uint64_t GetLoopStart() const { return ullLoopStart; }
    uint64_t GetLoopEnd() const { return ullLoopEnd; }
    // A start marked with LoopStart while no loop is set.
    bool HasMarkedStart() const { return bStartMarked; }
    uint64_t GetMarkedStart() const { return ullMarkedStart; }
    // The repetition now playing, 1 for the first; 0 without a loop.
    uint64_t GetRepetition() const;
    bool IsTrainerOn() const { return bTrainerOn; }
    const TrainerProgram& GetTrainer() const { return Trainer; }
    // The slider position the trainer goes to next (the position itself once at its target).
    int32_t GetTrainerNextPosition() const;

    // The notice of the last action while it lasts (None afterwards or after DropNotice).
    Notice GetNotice() const;
    void DropNotice() { LastNotice = Notice::None; }

private:
    // The loop [ullStart, ullEnd) handed to the engine with the run-up that every return takes.
    int32_t ApplyLoop(uint64_t ullStart, uint64_t ullEnd);
    // Where a pass into the loop starts: A less the run-up.
    uint64_t LoopEntry() const;
    int32_t JumpToMarker(bool bNext);
    int32_t RemoveNearestMarker();
    void Restore(const PracticeRecord& Record);
    // Why the loop [ullStart, ullEnd) cannot be set, or None.
    Notice LoopRefusal(uint64_t ullStart, uint64_t ullEnd) const;
    // Seeks on to llFrame, refused with a notice at or past the end.
    int32_t SeekForwardTo(int64_t llFrame);
    void Notify(Notice What);
    int32_t NextTrainerPosition(int32_t iFrom) const;
    Clock::time_point Now() const;

    PlaybackEngine& Engine;
    SliderReader ReadSpeed;
    SliderMover MoveSpeed;
    TimeSource NowSource;
    bool bLoop = false;
    uint64_t ullLoopStart = 0;
    uint64_t ullLoopEnd = 0;
    bool bStartMarked = false;
    uint64_t ullMarkedStart = 0;
    // The engine's count of returns to a loop's start when this loop (and the trainer's count)
    // began.
    uint64_t ullLoopBase = 0;
    uint64_t ullTrainerBase = 0;
    TrainerProgram Trainer;
    bool bTrainerOn = false;
    // The position armed for the next seam (-1 none), the position it was armed from, and the
    // repetition it was armed in.
    int32_t iArmedPosition = -1;
    int32_t iArmedFrom = -1;
    uint64_t ullArmedIn = UINT64_MAX;
    uint64_t ullSeenPasses = 0;
    Notice LastNotice = Notice::None;
    Clock::time_point NoticeUntil{};
    double dfRunUpSeconds = 0.0;
    bool bRunUpEvery = false;
    bool bLastNudgedEnd = false;
    std::vector<uint64_t> Markers;
    SliderReader ReadVolume;
    SliderMover MoveVolume;
    PracticeStore Store;
    bool bRemembering = false;
    // The file recalled last (its identity in the record's file fields), and the place last heard
    // while it played.
    bool bIdentified = false;
    bool bRecalled = false;
    PracticeRecord Identity;
    uint64_t ullLastHeard = 0;
    // A start frame remembered for the file (UINT64_MAX none).
    uint64_t ullResumeFrame = UINT64_MAX;
};
