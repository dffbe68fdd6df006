#include "app/cli/CliCommands.h"
#include "runtime/TextConversion.h"

#include <iostream>
#include <windows.h>

int wmain(int argc, wchar_t** argv)
{
    // Messages are UTF-8; tell the console so Japanese text shows as text.
    SetConsoleOutputCP(CP_UTF8);
    std::vector<std::string> Arguments;
    for (int i = 1; i < argc; ++i)
    {
        Arguments.push_back(WideToUtf8(reinterpret_cast<const char16_t*>(argv[i])));
    }
    return RunCli(Arguments, std::cout, std::cerr);
}
