#include "app/dialog/PlayerLanguageChoice.h"
#include "app/win32/PlayerProgram.h"

#include <windows.h>

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE, PWSTR, int)
{
    PlayerTexts::SetLanguage(PlayerLanguageChoice::AtStart());
    const wchar_t* pArguments = SkipProgramName(GetCommandLineW());
    return RunPlayer(hInstance, reinterpret_cast<const char16_t*>(pArguments), {}, true);
}
