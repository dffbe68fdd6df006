#include "tests/app/CliRun.h"

#include "app/cli/CliCommands.h"

#include <cstdlib>
#include <sstream>

CliRun CliRun::Of(const std::string& Command, const std::vector<std::string>& Arguments,
                  const std::locale& OutLocale)
{
    std::ostringstream Out;
    std::ostringstream Error;
    Out.imbue(OutLocale);
    std::vector<std::string> Words = {Command};
    Words.insert(Words.end(), Arguments.begin(), Arguments.end());
    CliRun Run;
    Run.iStatus = RunCli(Words, Out, Error);
    Run.Out = Out.str();
    Run.Error = Error.str();
    return Run;
}

std::string Utf8(const std::filesystem::path& Path)
{
    const std::u8string Text = Path.u8string();
    return std::string(Text.begin(), Text.end());
}
