#include "app/cli/CliCommands.h"
#include "app/player/RateTable.h"
#include "tests/app/CliRun.h"
#include "tests/scripted/CVirtualAudioLayer.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace
{
// Runs `larkspur-cli devices` with LARKSPUR_AUDIO set to pSetting.
CliRun RunDevices(const char* pSetting, const std::vector<std::string>& Arguments)
{
    const ScopedVariable Audio("LARKSPUR_AUDIO", pSetting);
    return CliRun::Of("devices", Arguments);
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
    EXPECT_EQ(
        Extra.Error,
        "larkspur-cli devices: unknown option --all\nUsage: larkspur-cli devices [--probe] [--verbose]\n");

    const CliRun Unknown = RunDevices("speakers", {});
    EXPECT_EQ(Unknown.iStatus, 2);
    EXPECT_EQ(Unknown.Out, "");
    EXPECT_NE(Unknown.Error.find("unknown LARKSPUR_AUDIO setting 'speakers'"), std::string::npos);
}

// Without any endpoint the list says so, and what the player will do.
TEST(CliDevices, NoEndpointIsSaidPlainly)
{
    CVirtualAudioLayer Empty;
    std::ostringstream Out;
    std::ostringstream Error;
    EXPECT_EQ(PrintDevices(Empty, "platform audio", false, Out, Error), 0);
    EXPECT_EQ(Error.str(), "");
    EXPECT_EQ(Out.str(),
              "Output devices (platform audio):\n"
              "No output device was found (no sound card or sound server). The player's device list "
              "then holds only\nits default entry, 既定のオーディオ再生デバイス, and Play shows\n"
              "出力先のオーディオデバイスを初期化できませんでした。 (the output device could not be "
              "initialised).\nLARKSPUR_AUDIO=virtual plays onto a virtual device instead.\n");
}
