#include "app/cli/CliCommands.h"
#include "app/dialog/PlayerLanguageChoice.h"

#include <iostream>

int main(int argc, char** argv)
{
    PlayerTexts::SetLanguage(PlayerLanguageChoice::AtStart());
    std::vector<std::string> Arguments(argv + 1, argv + argc);
    return RunCli(Arguments, std::cout, std::cerr);
}
