#pragma once
#include "runtime/CNonCopyable.h"

// The console's output code page, set to UTF-8 (the program's messages are UTF-8) for the life of
// the program and put back on every way out: the destructor, the console's Ctrl-C, Ctrl-Break and
// close events, an unhandled exception and abort. Otherwise programs run after it in the same
// console would print their text in the wrong code page. One instance, made first in wmain.
class ConsoleOutputCodePage : private CNonCopyable
{
public:
    ConsoleOutputCodePage();
    ~ConsoleOutputCodePage();

    // Puts the saved code page back now; safe to repeat and from any thread.
    static void Restore();
};
