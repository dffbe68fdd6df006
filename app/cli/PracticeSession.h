#pragma once
#include "app/cli/KeyDecoder.h"

#include <chrono>
#include <cstdint>
#include <string>

class ConsoleDialogHost;
class PlaybackEngine;

// What the terminal player offers for practising a passage, on top of the engine: seeking by keys,
// the A-B loop, and the speed trainer, which makes the loop a little faster after every few
// repetitions. It also says what the status line shows of them. UI thread only.
class PracticeSession
{
public:
    static constexpr double SHORTEST_LOOP_SECONDS = 0.5;
    static constexpr double SHORT_SEEK_SECONDS = 5.0;
    static constexpr double LONG_SEEK_SECONDS = 30.0;
    // How long a notice (a refused loop, the trainer switched) stays on the status line at most; the
    // next key's result takes its place at once.
    static constexpr std::chrono::milliseconds NOTICE_TIME{3000};

    // The trainer's program: iSteps speed-slider steps faster after every uiEvery repetitions,
    // until the slider position iUntilPosition.
    struct TrainerProgram
    {
        int32_t iSteps = 2;
        uint32_t uiEvery = 3;
        int32_t iUntilPosition = 120;
    };

    PracticeSession(PlaybackEngine& Engine, ConsoleDialogHost& Host);

    // The trainer's program, and whether it runs from the start (t toggles it later).
    void SetTrainer(const TrainerProgram& Program, bool bOn);
    // Before the start: the loop in seconds of the file (it plays from its start unless dfFrom is
    // 0 or more) and where playback starts (negative: the loop's start, or the beginning). Returns
    // false with Problem when a time lies beyond the end of the file.
    bool Prepare(double dfLoopStart, double dfLoopEnd, double dfFrom, std::string& Problem);
    // Before a restart: it starts from the loop's start while a loop is set.
    void BeforeRestart();

    // The seek, loop and trainer keys; false for any other key. Any key ends the notice shown.
    bool HandleKey(ConsoleKey Key);
    // Ends the notice shown (before the last status line).
    void DropNotice() { Notice.clear(); }
    // After every turn of the player's loop: counts the repetitions and lets the trainer arm the
    // speed the next return to the loop's start glides to; the speed slider follows when it has.
    void Tick();

    // "A 0:12.0 B 0:19.5 rep 3 next x0.79", "A 0:12.0", a notice, or empty.
    std::string StatusText() const;

    bool HasLoop() const { return bLoop; }
    // The repetition now playing, 1 for the first; 0 without a loop.
    uint64_t GetRepetition() const;

private:
    // Goes to frame ullFrame (clamped to the file) while playing or paused.
    void SeekTo(int64_t llFrame);
    // A seek on that would reach the end is refused with a notice.
    void SeekForward(int64_t llFrame);
    // Sets the loop [ullStart, ullEnd) or refuses it with a notice; true when set.
    bool TrySetLoop(uint64_t ullStart, uint64_t ullEnd);
    void ClearLoop();
    void Notify(std::string Text);
    int32_t SpeedPosition() const;
    // The trainer's next slider position from iFrom; iFrom when it has reached its target.
    int32_t NextTrainerPosition(int32_t iFrom) const;
    double Seconds(uint64_t ullFrames) const;
    uint64_t Frames(double dfSeconds) const;

    PlaybackEngine& Engine;
    ConsoleDialogHost& Host;
    bool bLoop = false;
    uint64_t ullLoopStart = 0;
    uint64_t ullLoopEnd = 0;
    // A start marked with a while no loop is set.
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
    std::string Notice;
    std::chrono::steady_clock::time_point NoticeUntil;
};
