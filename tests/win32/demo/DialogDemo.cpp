// Shows the real dialog with a file loaded and playing, for screenshots: chooses FILE.wav through
// the dialog's own "..." path (the file dialog bypassed), clicks Play, moves the speed slider to
// POSITION, prints "ready" and keeps playing until the file STOP exists (or a minute has passed),
// then closes the dialog with Escape.
//   larkspur-dialog-demo FILE.wav STOP [POSITION]
#include "app/dialog/DialogControlIds.h"
#include "app/dialog/PlayerLanguageChoice.h"
#include "app/win32/PlayerProgram.h"

#include <chrono>
#include <commctrl.h>
#include <cstdio>
#include <cwchar>
#include <filesystem>
#include <string>
#include <thread>
#include <windows.h>

using namespace DialogControlIds;

namespace
{
BOOL CALLBACK FindDialog(HWND hWindow, LPARAM lParam)
{
    wchar_t Name[16] = {};
    GetClassNameW(hWindow, Name, 16);
    if (std::wcscmp(Name, L"#32770") == 0 && IsWindowVisible(hWindow))
    {
        *reinterpret_cast<HWND*>(lParam) = hWindow;
        return FALSE;
    }
    return TRUE;
}
} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3)
    {
        std::fprintf(stderr, "usage: larkspur-dialog-demo FILE.wav STOP [POSITION]\n");
        return 2;
    }
    PlayerTexts::SetLanguage(PlayerLanguageChoice::AtStart());
    const std::u16string File = reinterpret_cast<const char16_t*>(argv[1]);
    const std::filesystem::path Stop = argv[2];
    const int iPosition = argc > 3 ? _wtoi(argv[3]) : 120;

    DWORD uiThreadId = 0;
    int32_t iResult = -1;
    std::thread Player(
        [&]
        {
            uiThreadId = GetCurrentThreadId();
            iResult =
                RunPlayer(GetModuleHandleW(nullptr), nullptr,
                          [&File](const char16_t*, const char16_t*, uint32_t, uint32_t, std::u16string& Path)
                          {
                              Path = File;
                              return 1;
                          });
        });
    HWND hDialog = nullptr;
    for (int i = 0; i < 1000 && hDialog == nullptr; ++i)
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (uiThreadId != 0)
        {
            EnumThreadWindows(uiThreadId, FindDialog, reinterpret_cast<LPARAM>(&hDialog));
        }
    }
    if (hDialog == nullptr)
    {
        std::fprintf(stderr, "larkspur-dialog-demo: the dialog did not appear\n");
        Player.detach();
        return 1;
    }
    SendMessageW(GetDlgItem(hDialog, ID_CHOOSE_FILE), BM_CLICK, 0, 0);
    SendMessageW(GetDlgItem(hDialog, ID_PLAY), BM_CLICK, 0, 0);
    const HWND hSpeed = GetDlgItem(hDialog, ID_SPEED_SLIDER);
    SendMessageW(hSpeed, TBM_SETPOS, TRUE, iPosition);
    SendMessageW(hDialog, WM_VSCROLL, MAKEWPARAM(TB_ENDTRACK, 0), reinterpret_cast<LPARAM>(hSpeed));
    std::printf("ready\n");
    std::fflush(stdout);
    for (int i = 0; i < 600 && !std::filesystem::exists(Stop); ++i)
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    PostMessageW(hDialog, WM_KEYDOWN, VK_ESCAPE, 0);
    Player.join();
    return iResult;
}
