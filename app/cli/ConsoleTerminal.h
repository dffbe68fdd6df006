#pragma once
#include "app/cli/KeyDecoder.h"
#include "app/cli/SKeySource.h"

#include <cstdint>

// The terminal the player runs in. Open puts the input into raw mode when it is a terminal (keys
// arrive one by one, unechoed; Ctrl-C still interrupts) and installs the signal handlers: an
// interrupt or hang-up only sets a flag the player polls; a crash signal puts the terminal back as
// it was and then lets the signal take its course; a suspension (Ctrl-Z) puts it back while the
// player is stopped and raw mode returns when it continues in the foreground. The destructor
// restores the terminal on every other way out. One instance per process.
class ConsoleTerminal : public SKeySource
{
public:
    ConsoleTerminal();
    ~ConsoleTerminal() override;

    // 1 keys are read from a terminal; 0 the input is no terminal (no keys, only the stop flag).
    int32_t Open();
    // Puts the terminal back now (also done by the destructor). Safe to repeat.
    void Restore();
    // Whether the standard output is a terminal (the status line is then redrawn in place).
    static bool IsOutputTerminal();
    // The output terminal's width in columns (asked again after each change of size); 0 unknown.
    uint32_t GetColumns();

    ConsoleKey WaitForKey(uint32_t uiMilliseconds) override;
    bool IsStopRequested() override;

private:
    KeyDecoder Decoder;
    int32_t bKeys = 0;
    uint32_t uiColumns = 0;
};
