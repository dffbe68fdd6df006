#include "app/cli/win32/ConsoleOutputCodePage.h"

#include <csignal>
#include <windows.h>

namespace
{
// What the handlers may touch.
volatile LONG bSaved = 0;
UINT uiSavedCodePage = 0;
LPTOP_LEVEL_EXCEPTION_FILTER pPreviousFilter = nullptr;
void (*pPreviousAbort)(int) = SIG_DFL;

BOOL WINAPI OnConsoleEvent(DWORD)
{
    ConsoleOutputCodePage::Restore();
    // The event goes on to the next handler (in the end the one that ends the process).
    return FALSE;
}

LONG WINAPI OnCrash(EXCEPTION_POINTERS* pException)
{
    ConsoleOutputCodePage::Restore();
    return pPreviousFilter != nullptr ? pPreviousFilter(pException) : EXCEPTION_CONTINUE_SEARCH;
}

void OnAbort(int iSignal)
{
    ConsoleOutputCodePage::Restore();
    std::signal(iSignal, pPreviousAbort);
    std::raise(iSignal);
}
} // namespace

ConsoleOutputCodePage::ConsoleOutputCodePage()
{
    const UINT uiCurrent = GetConsoleOutputCP();
    if (uiCurrent == 0 || uiCurrent == CP_UTF8)
    {
        return; // no console, or nothing to change
    }
    uiSavedCodePage = uiCurrent;
    InterlockedExchange(&bSaved, 1);
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
    pPreviousFilter = SetUnhandledExceptionFilter(OnCrash);
    pPreviousAbort = std::signal(SIGABRT, OnAbort);
    SetConsoleOutputCP(CP_UTF8);
}

ConsoleOutputCodePage::~ConsoleOutputCodePage()
{
    Restore();
    SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
}

void ConsoleOutputCodePage::Restore()
{
    if (InterlockedExchange(&bSaved, 0) != 0)
    {
        SetConsoleOutputCP(uiSavedCodePage);
    }
}
