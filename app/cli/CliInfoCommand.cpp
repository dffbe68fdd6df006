#include "app/cli/CliCommands.h"

int RunInfoCommand(const std::vector<std::string>&, std::ostream&, std::ostream& Error)
{
    Error << "larkspur-cli: info is not available in this build\n";
    return 1;
}
