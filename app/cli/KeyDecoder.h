#pragma once
#include <cstdint>
#include <string>

// The terminal player's keys.
enum class ConsoleKey
{
    None,
    SpeedDown,     // left arrow
    SpeedUp,       // right arrow
    SpeedDownTen,  // Shift+left, '['
    SpeedUpTen,    // Shift+right, ']'
    VolumeUp,      // up arrow
    VolumeDown,    // down arrow
    PauseOrResume, // space
    Restart,       // r
    Quit,          // q, Esc, Ctrl-C typed as a byte
    // The practice keys, in the order of the session's actions (PlaybackSession::Action).
    SeekBack,       // ',': 5 s back
    SeekForward,    // '.': 5 s on
    SeekBackFar,    // '<': 30 s back
    SeekForwardFar, // '>': 30 s on
    LoopStart,      // a
    LoopEnd,        // b
    LoopClear,      // l
    Trainer,        // t
    Jump0,          // '0' ... '9': to 0 %, 10 % ... 90 % of the file, in this order
    Jump1,
    Jump2,
    Jump3,
    Jump4,
    Jump5,
    Jump6,
    Jump7,
    Jump8,
    Jump9,
    NudgeStartEarlier, // z x: A 10 ms earlier / later; s d: 100 ms; c v, f g the same for B
    NudgeStartLater,
    NudgeStartEarlierFar,
    NudgeStartLaterFar,
    NudgeEndEarlier,
    NudgeEndLater,
    NudgeEndEarlierFar,
    NudgeEndLaterFar,
    RunUp,          // u: the run-up's length
    RunUpEvery,     // i: before every repetition / the first only
    MarkerAdd,      // m
    MarkerNext,     // n
    MarkerPrevious, // p
    MarkerRemove,   // e: the nearest
    KeepPitch,      // k
    Help,           // ? or h
    Other,          // any other character: no action of its own
};

// The tenths of the file a jump key goes to (0 ... 9); -1 for any other key.
int32_t JumpTenths(ConsoleKey Key);

// Turns the bytes a terminal sends in raw mode into keys: plain characters, and the escape
// sequences of the arrow keys (ESC [ X, ESC O X, and ESC [ 1 ; m X with a modifier). A lone ESC is
// the Escape key only once no further byte followed in time, so the reader calls Flush after a
// short silence. Unknown sequences are swallowed whole.
class KeyDecoder
{
public:
    // The key the byte completes, or None.
    ConsoleKey Feed(uint8_t ucByte);
    // The input went quiet: a pending lone ESC becomes Quit; an unfinished sequence is dropped.
    ConsoleKey Flush();
    bool IsPending() const { return !Pending.empty(); }

private:
    std::string Pending;
};
