#include "app/cli/ConsoleTerminal.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>

namespace
{
// What the signal handlers may touch: flags and the two terminal settings. The flags are lock-free
// atomics rather than volatile sig_atomic_t because job-control signals may land on any thread,
// including the playback threads; the settings are written before the flag that publishes them.
static_assert(std::atomic<int>::is_always_lock_free);
std::atomic<int> bStopRequested = 0;
// Raw mode is in force; raw mode is wanted (from Open until Restore, also while suspended).
std::atomic<int> bRawMode = 0;
std::atomic<int> bRawWanted = 0;
std::atomic<int> bSizeChanged = 1;
struct termios SavedSettings;
struct termios RawSettings;

// How long the rest of an escape sequence may take before a lone ESC counts as the Escape key.
constexpr int ESCAPE_WAIT_MS = 40;

constexpr int STOP_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int CRASH_SIGNALS[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
constexpr int JOB_SIGNALS[] = {SIGTSTP, SIGCONT, SIGWINCH};

void RestoreSettings()
{
    if (bRawMode != 0)
    {
        tcsetattr(STDIN_FILENO, TCSANOW, &SavedSettings);
        bRawMode = 0;
    }
}

// Raw mode again, but only in the foreground: a background process that sets the terminal is
// stopped, and its settings would land in the shell's way.
void ApplyRawInForeground()
{
    if (bRawWanted != 0 && bRawMode == 0 && tcgetpgrp(STDIN_FILENO) == getpgrp() &&
        tcsetattr(STDIN_FILENO, TCSANOW, &RawSettings) == 0)
    {
        bRawMode = 1;
    }
}

void Install(int iSignal, void (*pHandler)(int), bool bOneShot)
{
    struct sigaction Action = {};
    Action.sa_handler = pHandler;
    sigemptyset(&Action.sa_mask);
    Action.sa_flags = bOneShot ? SA_RESETHAND : 0;
    sigaction(iSignal, &Action, nullptr);
}

extern "C" void OnSuspendSignal(int iSignal)
{
    const int iSavedError = errno;
    // The shell gets its terminal as it was; then the process stops as without us, here.
    RestoreSettings();
    signal(iSignal, SIG_DFL);
    sigset_t Unblocked;
    sigemptyset(&Unblocked);
    sigaddset(&Unblocked, iSignal);
    raise(iSignal);
    pthread_sigmask(SIG_UNBLOCK, &Unblocked, nullptr);
    // Continued (fg or bg).
    Install(iSignal, OnSuspendSignal, false);
    ApplyRawInForeground();
    errno = iSavedError;
}

extern "C" void OnContinueSignal(int)
{
    const int iSavedError = errno;
    ApplyRawInForeground();
    errno = iSavedError;
}

extern "C" void OnSizeSignal(int)
{
    bSizeChanged = 1;
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

} // namespace

ConsoleTerminal::ConsoleTerminal() = default;

ConsoleTerminal::~ConsoleTerminal()
{
    Restore();
    for (int iSignal : CRASH_SIGNALS)
    {
        signal(iSignal, SIG_DFL);
    }
    for (int iSignal : JOB_SIGNALS)
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
    bSizeChanged = 1;
    Install(SIGWINCH, OnSizeSignal, false);
    if (isatty(STDIN_FILENO) == 0 || tcgetattr(STDIN_FILENO, &SavedSettings) != 0)
    {
        bKeys = 0;
        return 0;
    }
    for (int iSignal : CRASH_SIGNALS)
    {
        Install(iSignal, OnCrashSignal, true);
    }
    RawSettings = SavedSettings;
    // Keys one at a time and unechoed; ISIG stays so Ctrl-C and Ctrl-Z arrive as signals.
    RawSettings.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    RawSettings.c_cc[VMIN] = 0;
    RawSettings.c_cc[VTIME] = 0;
    bRawMode = 1;
    if (tcsetattr(STDIN_FILENO, TCSANOW, &RawSettings) != 0)
    {
        bRawMode = 0;
        bKeys = 0;
        return 0;
    }
    bRawWanted = 1;
    Install(SIGTSTP, OnSuspendSignal, false);
    Install(SIGCONT, OnContinueSignal, false);
    bKeys = 1;
    return 1;
}

void ConsoleTerminal::Restore()
{
    bRawWanted = 0;
    RestoreSettings();
    bKeys = 0;
}

uint32_t ConsoleTerminal::GetColumns()
{
    if (bSizeChanged.exchange(0) != 0)
    {
        struct winsize Size = {};
        uiColumns = ioctl(STDOUT_FILENO, TIOCGWINSZ, &Size) == 0 ? Size.ws_col : 0;
    }
    return uiColumns;
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
