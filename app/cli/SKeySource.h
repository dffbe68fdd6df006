#pragma once
#include "app/cli/KeyDecoder.h"
#include "runtime/CNonCopyable.h"

#include <cstdint>

// Where the terminal player's keys come from: the terminal, or a script in the tests.
class SKeySource : private CNonCopyable
{
public:
    virtual ~SKeySource() = default;

    // Waits up to uiMilliseconds for a key; None when none came (or there are no keys at all).
    virtual ConsoleKey WaitForKey(uint32_t uiMilliseconds) = 0;
    // True once the user asked the program to stop from outside the keys (Ctrl-C, a hang-up).
    virtual bool IsStopRequested() = 0;
};
