#pragma once
#include <chrono>
#include <cstdint>
#include <functional>

class PlaybackEngine;

// What every front end offers for practising a passage, beyond the dialog's own controls: the
// place heard and the length, seeks (relative, absolute, by tenths of the file), the A-B loop and
// the speed trainer, which makes the loop a little faster after every few repetitions. Results are
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
        SeekBack,       // 5 s back
        SeekForward,    // 5 s on
        SeekBackFar,    // 30 s back
        SeekForwardFar, // 30 s on
        LoopStart,      // A here
        LoopEnd,        // B here, and loop from A
        LoopClear,
        Trainer, // on / off
        Jump0,   // 0 %, 10 % ... 90 % of the file, in this order
        Jump1,
        Jump2,
        Jump3,
        Jump4,
        Jump5,
        Jump6,
        Jump7,
        Jump8,
        Jump9,
        KeepPitch, // on / off: the tempo follows the speed, the pitch stays
    };

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
        TrainerAtTarget, // the speed is at the trainer's target already
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
    // and where playback starts (negative: the loop's start, or the beginning). 1 taken;
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
};
