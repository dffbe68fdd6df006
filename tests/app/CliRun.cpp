#include "tests/app/CliRun.h"

#include "app/cli/CliCommands.h"
#include "tests/common/TestFiles.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

CliRun CliRun::Refused(const std::string& Command, const std::vector<std::string>& Arguments, int iStatus,
                       const char* pReason)
{
    CliRun Run = Of(Command, Arguments);
    EXPECT_EQ(Run.iStatus, iStatus) << pReason;
    EXPECT_NE(Run.Error.find("larkspur-cli " + Command + ": " + pReason), std::string::npos) << Run.Error;
    return Run;
}

CliRun CliRun::Of(const std::string& Command, const std::vector<std::string>& Arguments,
                  const std::locale& OutLocale)
{
    std::ostringstream Out;
    std::ostringstream Error;
    Out.imbue(OutLocale);
    std::vector<std::string> Words = {Command};
    Words.insert(Words.end(), Arguments.begin(), Arguments.end());
    // What a played file keeps goes to the tests' own state folder, never the user's.
    const std::string State = Utf8(TestFiles::PathFor("state"));
    const ScopedVariable StateHome("XDG_STATE_HOME", State.c_str());
    const ScopedVariable LocalData("LOCALAPPDATA", State.c_str());
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

namespace
{
void SetVariable(const char* pName, const char* pValue)
{
#ifdef _WIN32
    _putenv_s(pName, pValue != nullptr ? pValue : "");
#else
    if (pValue != nullptr)
    {
        setenv(pName, pValue, 1);
    }
    else
    {
        unsetenv(pName);
    }
#endif
}
} // namespace

ScopedVariable::ScopedVariable(const char* pName, const char* pValue) : Name(pName)
{
    const char* pOld = std::getenv(pName);
    bHad = pOld != nullptr;
    Old = bHad ? pOld : "";
    SetVariable(pName, pValue);
}

ScopedVariable::~ScopedVariable()
{
    SetVariable(Name.c_str(), bHad ? Old.c_str() : nullptr);
}
