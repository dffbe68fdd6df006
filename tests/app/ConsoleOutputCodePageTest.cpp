// The Windows console's output code page: UTF-8 while larkspur-cli runs, the user's own again on
// every way out.
#ifdef _WIN32
#include "app/cli/win32/ConsoleOutputCodePage.h"

#include <gtest/gtest.h>

#include <string>
#include <windows.h>

namespace
{
constexpr UINT USER_CODE_PAGE = 850;
HANDLE hEventSeen = nullptr;

// larkspur-cli.exe of this build, in app/cli beside the tests folder.
std::wstring ProgramPath()
{
    wchar_t Path[MAX_PATH * 4] = {};
    GetModuleFileNameW(nullptr, Path, MAX_PATH * 4);
    std::wstring Folder(Path);
    Folder = Folder.substr(0, Folder.find_last_of(L"\\/"));
    Folder = Folder.substr(0, Folder.find_last_of(L"\\/"));
    return Folder + L"\\app\\cli\\larkspur-cli.exe";
}

// Stands for whoever watched for crashes before (the C runtime's own filter acts on the fake
// exception the test hands on).
bool bEarlierFilterCalled = false;
LONG WINAPI EarlierFilter(EXCEPTION_POINTERS*)
{
    bEarlierFilterCalled = true;
    return EXCEPTION_CONTINUE_SEARCH;
}

// Stands for the console's default action (which would end the test): takes the event.
BOOL WINAPI SwallowEvent(DWORD)
{
    SetEvent(hEventSeen);
    return TRUE;
}
} // namespace

TEST(ConsoleOutputCodePage, TheUsersCodePageReturnsOnEveryWayOut)
{
    // Run without a working console (output to a pipe), the test makes one of its own.
    const bool bOwnConsole = GetConsoleOutputCP() == 0;
    if (bOwnConsole)
    {
        FreeConsole();
        AllocConsole();
    }
    if (GetConsoleOutputCP() == 0 || SetConsoleOutputCP(USER_CODE_PAGE) == 0)
    {
        GTEST_SKIP() << "no console";
    }
    const UINT uiOriginal = GetConsoleOutputCP();
    ASSERT_EQ(uiOriginal, USER_CODE_PAGE);

    // The ordinary way out.
    {
        const ConsoleOutputCodePage CodePage;
        EXPECT_EQ(GetConsoleOutputCP(), static_cast<UINT>(CP_UTF8));
    }
    EXPECT_EQ(GetConsoleOutputCP(), USER_CODE_PAGE);

    // A crash: the unhandled-exception filter puts it back and hands the crash on.
    const LPTOP_LEVEL_EXCEPTION_FILTER pRuntimeFilter = SetUnhandledExceptionFilter(EarlierFilter);
    {
        const ConsoleOutputCodePage CodePage;
        const LPTOP_LEVEL_EXCEPTION_FILTER pFilter = SetUnhandledExceptionFilter(nullptr);
        SetUnhandledExceptionFilter(pFilter);
        ASSERT_NE(pFilter, nullptr);
        EXCEPTION_RECORD Record = {};
        Record.ExceptionCode = EXCEPTION_ACCESS_VIOLATION;
        CONTEXT Context = {};
        EXCEPTION_POINTERS Pointers = {&Record, &Context};
        EXPECT_EQ(pFilter(&Pointers), EXCEPTION_CONTINUE_SEARCH);
        EXPECT_TRUE(bEarlierFilterCalled);
        EXPECT_EQ(GetConsoleOutputCP(), USER_CODE_PAGE);
    }
    SetUnhandledExceptionFilter(pRuntimeFilter);
    EXPECT_EQ(GetConsoleOutputCP(), USER_CODE_PAGE);

    // Ctrl-C: put back before the event goes on to the handler that ends the process.
    hEventSeen = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_TRUE(SetConsoleCtrlHandler(SwallowEvent, TRUE));
    {
        const ConsoleOutputCodePage CodePage;
        ASSERT_EQ(GetConsoleOutputCP(), static_cast<UINT>(CP_UTF8));
        if (GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0) != 0)
        {
            EXPECT_EQ(WaitForSingleObject(hEventSeen, 10000), WAIT_OBJECT_0);
            EXPECT_EQ(GetConsoleOutputCP(), USER_CODE_PAGE);
        }
    }
    SetConsoleCtrlHandler(SwallowEvent, FALSE);
    CloseHandle(hEventSeen);
    EXPECT_EQ(GetConsoleOutputCP(), USER_CODE_PAGE);

    // The program itself, in this console: its messages in UTF-8, the code page as it was after.
    for (const std::wstring Arguments : {L" --version", L" info missing.wav", L" render"})
    {
        std::wstring CommandLine = L"\"" + ProgramPath() + L"\"" + Arguments;
        STARTUPINFOW Startup = {};
        Startup.cb = sizeof(Startup);
        PROCESS_INFORMATION Process = {};
        ASSERT_TRUE(CreateProcessW(nullptr, CommandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                   &Startup, &Process));
        WaitForSingleObject(Process.hProcess, 60000);
        CloseHandle(Process.hThread);
        CloseHandle(Process.hProcess);
        EXPECT_EQ(GetConsoleOutputCP(), USER_CODE_PAGE);
    }
    SetConsoleOutputCP(uiOriginal);
    if (bOwnConsole)
    {
        FreeConsole();
    }
}
#endif
