#pragma once
#include "app/dialog/PracticeActions.h"

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
    // The practice keys: one for each of the session's actions, in their order; the keys are the
    // window's (MainDialog::ActionOfKey): ',' '.' 5 s back / on, '<' '>' 30 s; a b the loop's A and B,
    // l no loop, t the trainer; '0' ... '9' to 0 %, 10 % ... 90 % of the file; z x A 10 ms earlier /
    // later, s d 100 ms, c v and f g the same for B; u the run-up's length, i before every repetition
    // or the first only; m a marker, n p the next and previous one, e away with the nearest; k keep
    // pitch.
    // clang-format off
    LARKSPUR_PRACTICE_ACTIONS(LARKSPUR_PRACTICE_ENUMERATOR)
    // clang-format on
    Help,  // ? or h
    Other, // any other character: no action of its own
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
