#include "app/player/RateTable.h"
#include "tests/app/CliRun.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>

namespace
{
// Sets an environment variable, or removes it for null.
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

// Runs `larkspur-cli devices` with LARKSPUR_AUDIO set to pSetting, restoring it afterwards.
CliRun RunDevices(const char* pSetting, const std::vector<std::string>& Arguments)
{
    const char* pOld = std::getenv("LARKSPUR_AUDIO");
    const std::string Old = pOld != nullptr ? pOld : "";
    SetVariable("LARKSPUR_AUDIO", pSetting);
    CliRun Run = CliRun::Of("devices", Arguments);
    SetVariable("LARKSPUR_AUDIO", pOld != nullptr ? Old.c_str() : nullptr);
    return Run;
}

std::vector<std::string> Lines(const std::string& Text)
{
    std::vector<std::string> Result;
    std::istringstream Stream(Text);
    for (std::string Line; std::getline(Stream, Line);)
    {
        Result.push_back(Line);
    }
    return Result;
}
} // namespace

TEST(CliDevices, ListsTheDefaultFirstAsMinusOneThenEveryEndpoint)
{
    const CliRun Run = RunDevices("virtual", {});
    EXPECT_EQ(Run.iStatus, 0);
    EXPECT_EQ(Run.Error, "");
    EXPECT_EQ(Run.Out, "Output devices (virtual device):\n"
                       "  index  name                     identifier\n"
                       "     -1  Larkspur Virtual Output  {virtual.render.0}\n"
                       "      0  Larkspur Virtual Output  {virtual.render.0}\n");
}

// The probe asks each endpoint about the 20 rates, 32, 24 and 16 bits, in both share modes.
TEST(CliDevices, ProbeShowsWhatEachEndpointTakesAtEveryRate)
{
    const CliRun Run = RunDevices("virtual", {"--probe"});
    EXPECT_EQ(Run.iStatus, 0);
    const std::vector<std::string> Out = Lines(Run.Out);
    ASSERT_EQ(Out.size(), 2u + 2u * (2u + RateTable::COUNT));
    EXPECT_EQ(Out[3], "         rate        exclusive   shared");
    EXPECT_EQ(Out[4], "         384 kHz     32 24 16    32 24 16");
    EXPECT_EQ(Out[3 + RateTable::COUNT], "         8 kHz       32 24 16    32 24 16");
    EXPECT_EQ(Out[4 + RateTable::COUNT], "      0  Larkspur Virtual Output  {virtual.render.0}");
}

TEST(CliDevices, RefusesUnknownArgumentsAndUnknownAudioSettings)
{
    const CliRun Extra = RunDevices("virtual", {"--all"});
    EXPECT_EQ(Extra.iStatus, 1);
    EXPECT_EQ(Extra.Out, "");
    EXPECT_EQ(Extra.Error, "Usage: larkspur-cli devices [--probe]\n");

    const CliRun Unknown = RunDevices("speakers", {});
    EXPECT_EQ(Unknown.iStatus, 2);
    EXPECT_EQ(Unknown.Out, "");
    EXPECT_NE(Unknown.Error.find("unknown LARKSPUR_AUDIO setting 'speakers'"), std::string::npos);
}
