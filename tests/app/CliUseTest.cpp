// larkspur-cli as a careful user meets it: help and options read the same way by every command,
// and every refusal names the file and says what is wrong.
#include "app/cli/ConsolePlayer.h"
#include "app/player/RateTable.h"
#include "runtime/TextConversion.h"
#include "tests/app/CliRun.h"
#include "tests/common/TestFiles.h"
#include "tests/common/WaveFileBuilder.h"
#include "wave/AudioFileOpener.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace
{
const std::vector<std::string> COMMANDS = {"info", "render", "play", "devices"};

std::vector<double> Silence(size_t ullSamples)
{
    return std::vector<double>(ullSamples, 0.0);
}
} // namespace

TEST(CliUse, EveryCommandsHelpGoesToStdoutWithStatusZero)
{
    for (const std::string& Command : COMMANDS)
    {
        for (const std::vector<std::string>& Arguments :
             {std::vector<std::string>{"--help"}, std::vector<std::string>{"-h"},
              // The help wins over whatever else is wrong.
              std::vector<std::string>{"a.wav", "--frobnicate", "--help"}})
        {
            const CliRun Run = CliRun::Of(Command, Arguments);
            EXPECT_EQ(Run.iStatus, 0) << Command;
            EXPECT_EQ(Run.Error, "") << Command;
            EXPECT_EQ(Run.Out.rfind("Usage: larkspur-cli " + Command, 0), 0u) << Run.Out;
            EXPECT_NE(Run.Out.find("Exit status: 0"), std::string::npos) << Command;
        }
    }
    const CliRun Top = CliRun::Of("--help", {});
    EXPECT_EQ(Top.iStatus, 0);
    EXPECT_NE(Top.Out.find("LARKSPUR_AUDIO=virtual"), std::string::npos);
    EXPECT_NE(Top.Out.find("larkspur-cli COMMAND --help"), std::string::npos);
    // Every one of the 20 rates, 9600 included, in both commands that take a rate.
    for (const std::string Command : {"play", "render"})
    {
        const std::string Help = CliRun::Of(Command, {"--help"}).Out;
        for (uint32_t i = 0; i < RateTable::COUNT; ++i)
        {
            // Appended, not added: a sum trips a false overlap warning of GCC 12 at -O3.
            std::string Rate = " ";
            Rate += std::to_string(RateTable::Hz(i));
            EXPECT_NE(Help.find(Rate), std::string::npos) << Command << Rate;
        }
    }
}

TEST(CliUse, OptionsAreReadOneWayByEveryCommand)
{
    // An unknown option: said so, with the command's usage, status 1.
    for (const std::string& Command : COMMANDS)
    {
        const CliRun Run = CliRun::Of(Command, {"a.wav", "b.wav", "--frobnicate"});
        EXPECT_EQ(Run.iStatus, 1) << Command;
        EXPECT_EQ(Run.Out, "");
        EXPECT_EQ(Run.Error.rfind("larkspur-cli " + Command +
                                      ": unknown option --frobnicate\nUsage: larkspur-cli " + Command,
                                  0),
                  0u)
            << Run.Error;
    }
    const struct
    {
        std::vector<std::string> Arguments;
        const char* pProblem;
    } MISTAKES[] = {
        {{"--volume"}, "option --volume needs a value (--volume DB)"},
        {{"--no-enhancer=1"}, "option --no-enhancer takes no value"},
        {{"-x"}, "unknown option -x"},
    };
    for (const auto& Mistake : MISTAKES)
    {
        const CliRun Run = CliRun::Of("play", Mistake.Arguments);
        EXPECT_EQ(Run.iStatus, 1);
        EXPECT_EQ(Run.Error.rfind(std::string("larkspur-cli play: ") + Mistake.pProblem + "\n", 0), 0u)
            << Run.Error;
    }

    // --name=value as well as --name value; a minus may be U+2212, as typeset text has it.
    ConsolePlayer::Options Parsed;
    std::string Problem;
    ASSERT_TRUE(ConsolePlayer::ParseOptions({"--volume=-6.5", "--shift",
                                             "\xE2\x88\x92"
                                             "3",
                                             "--device=-1", "--speed=0.75", "--", "-odd name.wav"},
                                            Parsed, Problem))
        << Problem;
    EXPECT_EQ(Parsed.iVolumePosition, 65);
    EXPECT_EQ(Parsed.iShift, -3);
    EXPECT_EQ(Parsed.Device, "-1");
    EXPECT_EQ(Parsed.iSpeedPosition, 70);
    EXPECT_EQ(Parsed.File, "-odd name.wav");
    ASSERT_TRUE(ConsolePlayer::ParseOptions({"--volume", "\xE2\x88\x92"
                                                         "6.5"},
                                            Parsed, Problem))
        << Problem;
    EXPECT_EQ(Parsed.iVolumePosition, 65);

    const auto Input =
        TestFiles::Write("use-in.wav", WaveFileBuilder::PcmWave(Silence(2 * 4410), 2, 44100, 16));
    const auto Output = TestFiles::PathFor("use-out.wav");
    const CliRun Render = CliRun::Of("render", {Utf8(Input),
                                                "--volume=\xE2\x88\x92"
                                                "6",
                                                Utf8(Output), "--rate=44100", "--speed", "0.75"});
    ASSERT_EQ(Render.iStatus, 0) << Render.Error;
    // The speed the player's slider would take: 70 steps of 1/120 octave below x1.
    EXPECT_NE(Render.Out.find("sampling_frequency 44100\nspeed 0.749154\n"), std::string::npos) << Render.Out;
}

// render refuses at argument time what play refuses, with the same words, and writes nothing.
TEST(CliUse, RenderAndPlayRefuseTheSameSettingsTheSameWay)
{
    const auto Input =
        TestFiles::Write("same-in.wav", WaveFileBuilder::PcmWave(Silence(2 * 441), 2, 44100, 16));
    const auto Output = TestFiles::PathFor("same-out.wav");
    const struct
    {
        const char* pPlayOption;
        const char* pRenderOption;
        const char* pValue;
        const char* pProblem; // after the option's name
    } CASES[] = {
        {"--shift", "--shift", "128", " needs a whole number of bins from -127 to 127, not '128'"},
        {"--max-rate", "--rate", "100", " needs one of the rates 8000 9600 11025 12000 16000 22050"},
        {"--speed", "--speed", "1e9", " needs a speed from 0.5 to 2.5198"},
        {"--speed", "--speed", "0.49", " needs a speed from 0.5 to 2.5198"},
        {"--bits", "--bits", "33", " needs a whole number from 1 to 32, not '33'"},
        {"--volume", "--volume", "-80.5", " needs a level from 0 to -80 dB in steps of 0.1, not '-80.5'"},
    };
    for (const auto& Case : CASES)
    {
        const CliRun Play = CliRun::Of("play", {Utf8(Input), Case.pPlayOption, Case.pValue});
        const CliRun Render =
            CliRun::Of("render", {Utf8(Input), Utf8(Output), Case.pRenderOption, Case.pValue});
        for (const auto& [pCommand, pOption, Run] :
             {std::tuple{"play", Case.pPlayOption, &Play}, std::tuple{"render", Case.pRenderOption, &Render}})
        {
            EXPECT_EQ(Run->iStatus, 1) << pCommand << " " << pOption << " " << Case.pValue;
            EXPECT_EQ(
                Run->Error.rfind(std::string("larkspur-cli ") + pCommand + ": " + pOption + Case.pProblem, 0),
                0u)
                << Run->Error;
        }
        EXPECT_FALSE(std::filesystem::exists(Output));
    }
}

// Every file the commands cannot use: one line that names it and says what is wrong, and the
// documented status.
TEST(CliUse, EveryRefusedFileIsNamedWithWhatIsWrong)
{
    namespace fs = std::filesystem;
    const std::string Good =
        Utf8(TestFiles::Write("refuse-good.wav", WaveFileBuilder::PcmWave(Silence(2 * 441), 2, 44100, 16)));
    const std::string Missing = Utf8(TestFiles::PathFor("refuse-missing.wav"));
    const fs::path FolderPath = TestFiles::PathFor("refuse-folder.wav");
    fs::create_directories(FolderPath);
    const std::string Folder = Utf8(FolderPath);
    const std::string Empty = Utf8(TestFiles::Write("refuse-empty.wav", {}));
    const std::string Text = Utf8(TestFiles::Write("refuse-text.wav", {'h', 'e', 'l', 'l', 'o', '\n'}));
    // No WAV file: the platform's decoder says why in its own words.
    AudioFileOpener TextReader;
    EXPECT_LT(TextReader.Open(Utf8ToWide(Text).c_str()), 0);
    const std::string DecoderReason = WideToUtf8(TextReader.GetErrorText());
    const std::string Float = Utf8(TestFiles::Write(
        "refuse-float.wav",
        WaveFileBuilder().Pcm(2, 48000, 16).FormatTag(3).Data(WaveFileBuilder::Bytes(64, 0)).Build()));
    const std::string ExtensibleFloat =
        Utf8(TestFiles::Write("refuse-float-ext.wav", WaveFileBuilder()
                                                          .Pcm(2, 48000, 24)
                                                          .Extensible(WaveFileBuilder::SUBFORMAT_IEEE_FLOAT)
                                                          .Data(WaveFileBuilder::Bytes(64, 0))
                                                          .Build()));
    const std::string Adpcm = Utf8(TestFiles::Write(
        "refuse-adpcm.wav",
        WaveFileBuilder().Pcm(1, 8000, 4).FormatTag(2).Data(WaveFileBuilder::Bytes(64, 0)).Build()));
    const std::string TwelveBits = Utf8(TestFiles::Write(
        "refuse-12.wav", WaveFileBuilder().Pcm(1, 8000, 12).Data(WaveFileBuilder::Bytes(64, 0)).Build()));
    WaveFileBuilder::Bytes Cut = WaveFileBuilder::PcmWave(Silence(2 * 441), 2, 44100, 16);
    Cut.resize(30);
    const std::string Truncated = Utf8(TestFiles::Write("refuse-cut.wav", Cut));
    const std::string OutputFile = Utf8(TestFiles::PathFor("refuse-out.wav"));

    const struct
    {
        std::vector<std::string> Words;
        int iStatus;
        std::string Line;
    } CASES[] = {
        {{"info", Missing}, 2, "larkspur-cli info: '" + Missing + "' does not exist"},
        {{"info", Folder}, 2, "larkspur-cli info: '" + Folder + "' is a folder, not a WAV file"},
        {{"info", Empty}, 2, "larkspur-cli info: '" + Empty + "' is empty (0 bytes), not a WAV file"},
        {{"info", Text}, 2, "larkspur-cli info: '" + Text + "': " + DecoderReason},
        {{"info", Float},
         2,
         "larkspur-cli info: '" + Float +
             "': 16-bit float samples are not supported; 32- or 64-bit float or integer PCM only"},
        {{"info", ExtensibleFloat},
         2,
         "larkspur-cli info: '" + ExtensibleFloat +
             "': 24-bit float samples are not supported; 32- or 64-bit float or integer PCM only"},
        {{"info", Adpcm},
         2,
         "larkspur-cli info: '" + Adpcm + "': samples of a coding (format tag 0x0002) no decoder here takes"},
        {{"info", TwelveBits},
         2,
         "larkspur-cli info: '" + TwelveBits +
             "': 12-bit samples are not supported; 8, 16, 24 or 32 bits only"},
        {{"info", Truncated},
         2,
         "larkspur-cli info: '" + Truncated + "' is cut short: its WAV header ends before the sound data"},
        {{"render", Empty, OutputFile},
         2,
         "larkspur-cli render: '" + Empty + "' is empty (0 bytes), not a WAV file"},
        {{"render", Missing, OutputFile}, 2, "larkspur-cli render: '" + Missing + "' does not exist"},
        {{"render", Float, OutputFile},
         2,
         "larkspur-cli render: '" + Float +
             "': 16-bit float samples are not supported; 32- or 64-bit float or integer PCM only"},
        {{"play", Folder}, 2, "larkspur-cli play: '" + Folder + "' is a folder, not a WAV file"},
        {{"play", Missing}, 2, "larkspur-cli play: '" + Missing + "' does not exist"},
        {{"render", Good, Folder},
         4,
         "larkspur-cli render: '" + Folder + "' is a folder; give the output a file name"},
        {{"render", Good, Utf8(TestFiles::PathFor("no-such-folder") / "out.wav")},
         4,
         "larkspur-cli render: cannot write '" + Utf8(TestFiles::PathFor("no-such-folder") / "out.wav") +
             "': the folder '" + Utf8(TestFiles::PathFor("no-such-folder")) + "' does not exist"},
        {{"render", Good, Good},
         4,
         "larkspur-cli render: '" + Good + "' is the input file; give another output"},
    };
    for (const auto& Case : CASES)
    {
        const std::vector<std::string> Arguments(Case.Words.begin() + 1, Case.Words.end());
        const CliRun Run = CliRun::Of(Case.Words[0], Arguments);
        EXPECT_EQ(Run.iStatus, Case.iStatus) << Case.Line;
        EXPECT_EQ(Run.Error, Case.Line + "\n");
        EXPECT_EQ(Run.Out, "");
    }
    EXPECT_FALSE(fs::exists(OutputFile));
    EXPECT_TRUE(fs::is_directory(FolderPath));

    // A recording the virtual device could not write is refused before anything plays.
    for (const std::string& Capture : {Utf8(TestFiles::PathFor("no-such-folder") / "cap.wav"), Folder})
    {
        const ScopedVariable Audio("LARKSPUR_AUDIO", ("virtual:" + Capture).c_str());
        const CliRun Run = CliRun::Of("play", {Good});
        EXPECT_EQ(Run.iStatus, 3);
        EXPECT_EQ(Run.Error.rfind("larkspur-cli play: LARKSPUR_AUDIO asks to record, but ", 0), 0u)
            << Run.Error;
        EXPECT_NE(Run.Error.find("'" + Capture + "'"), std::string::npos) << Run.Error;
        EXPECT_NE(Run.Error.find("; nothing was played\n"), std::string::npos) << Run.Error;
        EXPECT_EQ(Run.Out, "");
    }
}

// Times take hours, minutes and seconds wherever they take minutes and seconds (render's --from,
// --to, --speed-at and --position-at, play's --from and --loop), and the messages show them so.
TEST(CliUse, TimesTakeHoursWhereverTheyTakeMinutes)
{
    const auto Input =
        TestFiles::Write("hours-in.wav", WaveFileBuilder::PcmWave(Silence(2 * 3 * 8000), 2, 8000, 16));
    const auto Output = TestFiles::PathFor("hours-out.wav");
    const std::string In = Utf8(Input);
    const std::string Out = Utf8(Output);
    const CliRun Section =
        CliRun::Of("render", {In, Out, "--rate", "8000", "--from", "0:00:01", "--to", "0:0:02.5",
                              "--speed-at", "0:00:01.5=2", "--position-at", "0:02=120"});
    EXPECT_EQ(Section.iStatus, 0) << Section.Error;
    EXPECT_NE(Section.Out.find("speed_at 1.500000 2.000000\nspeed_at 2.000000 1.000000\n"), std::string::npos)
        << Section.Out;
    std::filesystem::remove(Output);

    const struct
    {
        std::vector<std::string> Arguments;
        const char* pProblem;
    } REFUSED[] = {
        {{"render", In, Out, "--from", "1:00:00"},
         "larkspur-cli render: --from 1:00:00.0 lies beyond the end of the input (0:03.0); nothing was "
         "written\n"},
        {{"render", In, Out, "--from", "1:12:30", "--to", "1:12:00"},
         "larkspur-cli render: --to 1:12:00.0 must come after --from 1:12:30.0\n"},
        {{"render", In, Out, "--position-at", "1:00:00=100"},
         "larkspur-cli render: the speed change at 3600.000 s lies beyond the end of the input (3.000 s)\n"},
        {{"render", In, Out, "--speed-at", "1:60:00=2"},
         "larkspur-cli render: --speed-at needs T=X with T a time of the input, 0 or more, in seconds "
         "(72.5), "
         "minutes and seconds (1:12.5) or hours, minutes and seconds (1:12:30.5), not '1:60:00=2'\n"},
        {{"render", In, Out, "--to", "1:00:60"},
         "larkspur-cli render: --to needs a time of the file in "
         "seconds (72.5) or minutes and seconds (1:12.5), with hours "
         "before them from an hour on (1:12:30.5), not '1:00:60'\n"},
    };
    for (const auto& Case : REFUSED)
    {
        const std::vector<std::string> Arguments(Case.Arguments.begin() + 1, Case.Arguments.end());
        const CliRun Run = CliRun::Of(Case.Arguments[0], Arguments);
        EXPECT_EQ(Run.iStatus, 1) << Case.pProblem;
        EXPECT_EQ(Run.Error.substr(0, std::string(Case.pProblem).size()), Case.pProblem);
        EXPECT_FALSE(std::filesystem::exists(Output));
    }
    const ScopedVariable Audio("LARKSPUR_AUDIO", "virtual");
    const CliRun Play = CliRun::Of("play", {In, "--loop", "1:00:00-1:00:02"});
    EXPECT_EQ(Play.iStatus, 1);
    EXPECT_NE(Play.Error.find("larkspur-cli play: the loop's end 1:00:02.0 lies beyond the end of the file "
                              "(0:03.0)\n"),
              std::string::npos)
        << Play.Error;
}
