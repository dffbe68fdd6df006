#include "app/cli/ConsoleTerminal.h"

#include <windows.h>

namespace
{
// What the control handler and the crash filter may touch.
volatile LONG bStopRequested = 0;
volatile LONG bModeSaved = 0;
DWORD uiSavedMode = 0;
volatile LONG bOutputModeSaved = 0;
DWORD uiSavedOutputMode = 0;
LPTOP_LEVEL_EXCEPTION_FILTER pPreviousFilter = nullptr;
bool bFilterSet = false;

void RestoreMode()
{
    if (InterlockedExchange(&bModeSaved, 0) != 0)
    {
        SetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), uiSavedMode);
    }
    if (InterlockedExchange(&bOutputModeSaved, 0) != 0)
    {
        SetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), uiSavedOutputMode);
    }
}

BOOL WINAPI OnControlEvent(DWORD uiEvent)
{
    if (uiEvent == CTRL_C_EVENT || uiEvent == CTRL_BREAK_EVENT || uiEvent == CTRL_CLOSE_EVENT)
    {
        InterlockedExchange(&bStopRequested, 1);
        return TRUE;
    }
    return FALSE;
}

LONG WINAPI OnCrash(EXCEPTION_POINTERS* pException)
{
    RestoreMode();
    // Whoever watched for crashes before (the console's code page) gets to act too.
    return pPreviousFilter != nullptr ? pPreviousFilter(pException) : EXCEPTION_CONTINUE_SEARCH;
}

ConsoleKey KeyOfRecord(const KEY_EVENT_RECORD& Record)
{
    const bool bShift = (Record.dwControlKeyState & SHIFT_PRESSED) != 0;
    switch (Record.wVirtualKeyCode)
    {
    case VK_LEFT:
        return bShift ? ConsoleKey::SpeedDownTen : ConsoleKey::SpeedDown;
    case VK_RIGHT:
        return bShift ? ConsoleKey::SpeedUpTen : ConsoleKey::SpeedUp;
    case VK_UP:
        return ConsoleKey::VolumeUp;
    case VK_DOWN:
        return ConsoleKey::VolumeDown;
    case VK_ESCAPE:
        return ConsoleKey::Quit;
    default:
        break;
    }
    // Plain characters go through the same decoder as a terminal's bytes.
    KeyDecoder Decoder;
    const wchar_t cCharacter = Record.uChar.UnicodeChar;
    return cCharacter > 0 && cCharacter < 0x80 && cCharacter != 0x1b
               ? Decoder.Feed(static_cast<uint8_t>(cCharacter))
               : ConsoleKey::None;
}
} // namespace

ConsoleTerminal::ConsoleTerminal() = default;

ConsoleTerminal::~ConsoleTerminal()
{
    Restore();
    SetConsoleCtrlHandler(OnControlEvent, FALSE);
    if (bFilterSet)
    {
        SetUnhandledExceptionFilter(pPreviousFilter);
        bFilterSet = false;
    }
}

int32_t ConsoleTerminal::Open()
{
    InterlockedExchange(&bStopRequested, 0);
    SetConsoleCtrlHandler(OnControlEvent, TRUE);
    // The status line is redrawn with the terminal sequences carriage return and erase-to-end.
    DWORD uiOutputMode = 0;
    if (GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &uiOutputMode) != 0)
    {
        uiSavedOutputMode = uiOutputMode;
        InterlockedExchange(&bOutputModeSaved, 1);
        SetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), uiOutputMode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
    }
    const HANDLE hInput = GetStdHandle(STD_INPUT_HANDLE);
    DWORD uiMode = 0;
    if (hInput == INVALID_HANDLE_VALUE || hInput == nullptr || GetConsoleMode(hInput, &uiMode) == 0)
    {
        bKeys = 0;
        return 0;
    }
    uiSavedMode = uiMode;
    InterlockedExchange(&bModeSaved, 1);
    pPreviousFilter = SetUnhandledExceptionFilter(OnCrash);
    bFilterSet = true;
    // Keys one at a time and unechoed; processed input keeps Ctrl-C a control event.
    if (SetConsoleMode(hInput, (uiMode & ~static_cast<DWORD>(ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT)) |
                                   ENABLE_PROCESSED_INPUT) == 0)
    {
        InterlockedExchange(&bModeSaved, 0);
        bKeys = 0;
        return 0;
    }
    bKeys = 1;
    return 1;
}

void ConsoleTerminal::Restore()
{
    RestoreMode();
    bKeys = 0;
}

bool ConsoleTerminal::IsOutputTerminal()
{
    DWORD uiMode = 0;
    return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &uiMode) != 0;
}

uint32_t ConsoleTerminal::GetColumns()
{
    // The console reports its window directly; asking each time follows every resize.
    CONSOLE_SCREEN_BUFFER_INFO Info = {};
    uiColumns = GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &Info) != 0
                    ? static_cast<uint32_t>(Info.srWindow.Right - Info.srWindow.Left + 1)
                    : 0;
    return uiColumns;
}

ConsoleKey ConsoleTerminal::WaitForKey(uint32_t uiMilliseconds)
{
    if (bKeys == 0)
    {
        Sleep(uiMilliseconds);
        return ConsoleKey::None;
    }
    const HANDLE hInput = GetStdHandle(STD_INPUT_HANDLE);
    DWORD uiWait = uiMilliseconds;
    while (WaitForSingleObject(hInput, uiWait) == WAIT_OBJECT_0)
    {
        INPUT_RECORD Record = {};
        DWORD uiRead = 0;
        if (ReadConsoleInputW(hInput, &Record, 1, &uiRead) == 0 || uiRead == 0)
        {
            return ConsoleKey::None;
        }
        if (Record.EventType == KEY_EVENT && Record.Event.KeyEvent.bKeyDown)
        {
            const ConsoleKey Key = KeyOfRecord(Record.Event.KeyEvent);
            if (Key != ConsoleKey::None)
            {
                return Key;
            }
        }
        uiWait = 0;
    }
    return ConsoleKey::None;
}

bool ConsoleTerminal::IsStopRequested()
{
    return bStopRequested != 0;
}
