#include "app/cli/CliCommands.h"

#include <iostream>

int main(int argc, char** argv)
{
    std::vector<std::string> Arguments(argv + 1, argv + argc);
    return RunCli(Arguments, std::cout, std::cerr);
}
