#include "app/cli/CliCommands.h"
#include "app/cli/win32/ConsoleOutputCodePage.h"
#include "app/dialog/PlayerLanguageChoice.h"
#include "runtime/TextConversion.h"

#include <cstdio>
#include <iostream>
#include <windows.h>

int wmain(int argc, wchar_t** argv)
{
    // Messages are UTF-8; the console is told so while the program runs.
    const ConsoleOutputCodePage CodePage;
    PlayerTexts::SetLanguage(PlayerLanguageChoice::AtStart());
    std::vector<std::string> Arguments;
    for (int i = 1; i < argc; ++i)
    {
        Arguments.push_back(WideToUtf8(reinterpret_cast<const char16_t*>(argv[i])));
    }
    const int iStatus = RunCli(Arguments, std::cout, std::cerr);
    // Everything printed reaches the console while it still takes UTF-8.
    std::cout.flush();
    std::cerr.flush();
    std::fflush(stdout);
    std::fflush(stderr);
    return iStatus;
}
