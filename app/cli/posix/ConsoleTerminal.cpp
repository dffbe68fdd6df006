#include "app/cli/ConsoleTerminal.h"

#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace
{
// What the signal handlers may touch: plain flags and the saved terminal settings.
volatile sig_atomic_t bStopRequested = 0;
volatile sig_atomic_t bRawMode = 0;
struct termios SavedSettings;

// How long the rest of an escape sequence may take before a lone ESC counts as the Escape key.
constexpr int ESCAPE_WAIT_MS = 40;

constexpr int STOP_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int CRASH_SIGNALS[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};

void RestoreSettings()
{
    if (bRawMode != 0)
    {
        tcsetattr(STDIN_FILENO, TCSANOW, &SavedSettings);
        bRawMode = 0;
    }
}

extern "C" void OnStopSignal(int)
{
    bStopRequested = 1;
}

extern "C" void OnCrashSignal(int iSignal)
{
    // Only async-signal-safe calls: put the terminal back, then die of the signal as before.
    RestoreSettings();
    signal(iSignal, SIG_DFL);
    raise(iSignal);
}

void Install(int iSignal, void (*pHandler)(int), bool bOneShot)
{
    struct sigaction Action = {};
    Action.sa_handler = pHandler;
    sigemptyset(&Action.sa_mask);
    Action.sa_flags = bOneShot ? SA_RESETHAND : 0;
    sigaction(iSignal, &Action, nullptr);
}
} // namespace

ConsoleTerminal::ConsoleTerminal() = default;

ConsoleTerminal::~ConsoleTerminal()
{
    Restore();
    for (int iSignal : CRASH_SIGNALS)
    {
        signal(iSignal, SIG_DFL);
    }
}

int32_t ConsoleTerminal::Open()
{
    bStopRequested = 0;
    for (int iSignal : STOP_SIGNALS)
    {
        Install(iSignal, OnStopSignal, false);
    }
    if (isatty(STDIN_FILENO) == 0 || tcgetattr(STDIN_FILENO, &SavedSettings) != 0)
    {
        bKeys = 0;
        return 0;
    }
    for (int iSignal : CRASH_SIGNALS)
    {
        Install(iSignal, OnCrashSignal, true);
    }
    struct termios Raw = SavedSettings;
    // Keys one at a time and unechoed; ISIG stays so Ctrl-C arrives as a signal.
    Raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    Raw.c_cc[VMIN] = 0;
    Raw.c_cc[VTIME] = 0;
    bRawMode = 1;
    if (tcsetattr(STDIN_FILENO, TCSANOW, &Raw) != 0)
    {
        bRawMode = 0;
        bKeys = 0;
        return 0;
    }
    bKeys = 1;
    return 1;
}

void ConsoleTerminal::Restore()
{
    RestoreSettings();
    bKeys = 0;
}

bool ConsoleTerminal::IsOutputTerminal()
{
    return isatty(STDOUT_FILENO) != 0;
}

ConsoleKey ConsoleTerminal::WaitForKey(uint32_t uiMilliseconds)
{
    if (bKeys == 0)
    {
        struct timespec Wait = {static_cast<time_t>(uiMilliseconds / 1000),
                                static_cast<long>(uiMilliseconds % 1000) * 1000000L};
        nanosleep(&Wait, nullptr);
        return ConsoleKey::None;
    }
    int iWait = static_cast<int>(uiMilliseconds);
    for (;;)
    {
        struct pollfd Input = {STDIN_FILENO, POLLIN, 0};
        const int iReady = poll(&Input, 1, Decoder.IsPending() ? ESCAPE_WAIT_MS : iWait);
        if (iReady < 0)
        {
            return ConsoleKey::None; // a signal: the caller looks at the stop flag
        }
        if (iReady == 0)
        {
            return Decoder.Flush();
        }
        unsigned char ucByte = 0;
        const ssize_t iRead = read(STDIN_FILENO, &ucByte, 1);
        if (iRead <= 0)
        {
            // The terminal went away: no more keys.
            bKeys = 0;
            return Decoder.Flush();
        }
        const ConsoleKey Key = Decoder.Feed(ucByte);
        if (Key != ConsoleKey::None)
        {
            return Key;
        }
        if (!Decoder.IsPending())
        {
            iWait = 0;
        }
    }
}

bool ConsoleTerminal::IsStopRequested()
{
    return bStopRequested != 0;
}
