#include "app/cli/CliCommands.h"

int RunRenderCommand(const std::vector<std::string>&, std::ostream&, std::ostream& Error)
{
    Error << "larkspur-cli: render is not available in this build\n";
    return 1;
}
