#include "app/cli/CliCommands.h"
#include "app/cli/CliFileMessages.h"
#include "app/cli/CliFormattedText.h"
#include "app/cli/CliNumbers.h"
#include "app/cli/CliOptionParser.h"
#include "app/cli/CliSettingValues.h"
#include "app/cli/ProgressBar.h"
#include "app/player/OfflineRenderer.h"
#include "app/player/PlayerScales.h"
#include "app/player/RateTable.h"
#include "conversion/SamplingFrequencyConverter.h"
#include "runtime/FormatText.h"
#include "runtime/TextConversion.h"

#include <chrono>
#include <cmath>
#include <filesystem>
#include <iterator>
#include <string>
#include <system_error>

namespace
{
const char* const SYNOPSIS =
    "Usage: larkspur-cli render IN OUT.wav [--rate HZ] [--speed X | --position P] [--shift BINS]\n"
    "                           [--bits N [--container 16|24|32]] [--volume DB]\n"
    "                           [--speed-at T=X | --position-at T=P ...] [--from T] [--to T]\n"
    "                           [--keep-pitch]\n";

const std::string HELP_TEXT =
    std::string(SYNOPSIS) +
    "Converts IN (WAV, FLAC, MP3, AAC/M4A, Ogg, Opus, AIFF, ...) offline exactly as the player plays\n"
    "it and writes OUT.wav: stereo at the device rate, 32-bit float, or integer PCM with --bits.\n"
    "OUT.wav is written beside its place and put there only when it is complete: a failed or\n"
    "interrupted render leaves a file already at OUT.wav as it was.\n"
    "Options (--name VALUE or --name=VALUE):\n"
    "  --rate HZ      device rate of the output (default 48000), one of\n"
    "                 " +
    CliSettingValues::RateList(0, 10) + "\n                 " + CliSettingValues::RateList(10, 10) +
    "\n"
    "  --speed X      playback speed 0.5 ... 2.5198, taken to the nearest 1/120-octave step as the\n"
    "                 player's speed slider takes it (default 1)\n"
    "  --position P   speed slider position 0 ... 280: speed = 2^((P - 120) / 120)\n"
    "  --speed-at T=X move the speed slider to speed X (0.5 ... 2.52, the nearest slider position)\n"
    "                 when the input up to T has been converted (a time as for --from); it glides\n"
    "                 there as in the player. Repeatable, times in order, from 0 up to the input's\n"
    "                 length\n"
    "  --position-at T=P  the same with a slider position P, 0 ... 280\n"
    "  --shift BINS   spectrum shift in bins of input rate / 256, -127 ... 127 (default 0)\n"
    "  --bits N       integer output of N effective bits, 1 ... 32, as a device gets it\n"
    "                 (without --bits the output is 32-bit float)\n"
    "  --container C  bits per stored sample, 16, 24 or 32, at least N (default: the smallest)\n"
    "  --volume DB    volume 0 ... -80 dB in steps of 0.1 dB (default 0)\n"
    "  --from T       render only the section of IN from T (seconds, 72.5, minutes and\n"
    "                 seconds, 1:12.5, or hours, minutes and seconds, 1:12:30.5) ...\n"
    "  --to T         ... up to T (default: the whole file), as a file holding only that section\n"
    "                 would render; --speed-at times stay times of IN, inside the section\n"
    "  --keep-pitch   keep the pitch: the tempo follows the speed, the pitch stays that of IN\n"
    "                 (without it the pitch follows the speed, as on tape)\n"
    "  -h, --help     show this text\n"
    "When done it prints frames, sampling_frequency and speed (and speed_at, keep_pitch, bits) on\n"
    "stdout.\n"
    "Exit status: 0 written; 1 wrong arguments; 2 IN missing or not a sound file the player reads;\n"
    "3 the converter cannot convert IN's rate to the device rate; 4 OUT.wav cannot be written;\n"
    "5 reading or converting failed part-way. Interrupted (Ctrl-C), it ends by that signal (130).\n";

constexpr int EXIT_DONE = 0;
constexpr int EXIT_USAGE = 1;
constexpr int EXIT_INPUT_REFUSED = 2;
constexpr int EXIT_CONVERTER_REFUSED = 3;
constexpr int EXIT_OUTPUT_FAILED = 4;
constexpr int EXIT_CONVERSION_FAILED = 5;

const CliOptionParser::Option OPTIONS[] = {
    {"--rate", "HZ"},         {"--speed", "X"},    {"--position", "P"}, {"--speed-at", "T=X"},
    {"--position-at", "T=P"}, {"--shift", "BINS"}, {"--bits", "N"},     {"--container", "C"},
    {"--volume", "DB"},       {"--from", "T"},     {"--to", "T"},       {"--keep-pitch", nullptr},
};

struct RenderArguments
{
    std::string Input;
    std::string Output;
    OfflineRenderer::Settings Choice;
};

// "T=X" of --speed-at or "T=P" of --position-at: T seconds of input, not before the previous
// change, and the speed of the slider position meant.
bool ParseSpeedChange(const std::string& Option, const std::string& Value, double dfPreviousSeconds,
                      OfflineRenderer::SpeedChange& Change, std::string& Problem)
{
    const bool bPosition = Option == "--position-at";
    const size_t ullEquals = Value.find('=');
    const std::string Time = ullEquals == std::string::npos ? std::string() : Value.substr(0, ullEquals);
    const std::string Target = ullEquals == std::string::npos ? std::string() : Value.substr(ullEquals + 1);
    double dfSeconds = 0.0;
    std::string Ignored;
    if (!CliSettingValues::ParseTime(Option, Time, dfSeconds, Ignored))
    {
        Problem = Option + " needs " + (bPosition ? "T=P" : "T=X") +
                  " with T a time of the input, 0 or more, in seconds (72.5), minutes and seconds (1:12.5) "
                  "or hours, minutes and seconds (1:12:30.5), not '" +
                  Value + "'";
        return false;
    }
    if (dfSeconds < dfPreviousSeconds)
    {
        Problem = Option + " " + Value + " goes back in time: the changes must come in order of time";
        return false;
    }
    int32_t iPosition = 0;
    const bool bParsed = bPosition ? CliSettingValues::ParsePosition(Option, Target, iPosition, Problem)
                                   : CliSettingValues::ParseSpeed(Option, Target, iPosition, Problem);
    if (!bParsed)
    {
        Problem += " (after '=' in '" + Value + "')";
        return false;
    }
    Change.dfInputSeconds = dfSeconds;
    Change.dfSpeed = PlayerScales::SpeedOfPosition(iPosition);
    return true;
}

// Fills Parsed from the checked options, or says what is wrong in Problem.
bool TakeOptions(const CliOptionParser& Parser, RenderArguments& Parsed, std::string& Problem)
{
    bool bSpeedGiven = false;
    bool bPositionGiven = false;
    bool bContainerGiven = false;
    for (const CliOptionParser::Given& Item : Parser.GetOptions())
    {
        const std::string& Word = Item.Name;
        const std::string& Value = Item.Value;
        int32_t iPosition = 0;
        bool bGood = true;
        if (Word == "--rate")
        {
            uint32_t uiRateIndex = 0;
            bGood = CliSettingValues::ParseRate(Word, Value, uiRateIndex, Problem);
            Parsed.Choice.uiDeviceRate = RateTable::Hz(uiRateIndex);
        }
        else if (Word == "--speed" || Word == "--position")
        {
            bGood = Word == "--speed" ? CliSettingValues::ParseSpeed(Word, Value, iPosition, Problem)
                                      : CliSettingValues::ParsePosition(Word, Value, iPosition, Problem);
            Parsed.Choice.dfSpeed = PlayerScales::SpeedOfPosition(iPosition);
            (Word == "--speed" ? bSpeedGiven : bPositionGiven) = true;
        }
        else if (Word == "--speed-at" || Word == "--position-at")
        {
            std::vector<OfflineRenderer::SpeedChange>& Changes = Parsed.Choice.SpeedChanges;
            OfflineRenderer::SpeedChange Change;
            bGood = ParseSpeedChange(Word, Value, Changes.empty() ? 0.0 : Changes.back().dfInputSeconds,
                                     Change, Problem);
            Changes.push_back(Change);
        }
        else if (Word == "--shift")
        {
            bGood = CliSettingValues::ParseShift(Word, Value, Parsed.Choice.iShift, Problem);
        }
        else if (Word == "--bits")
        {
            bGood = CliSettingValues::ParseBits(Word, Value, Parsed.Choice.uiBitCount, Problem);
        }
        else if (Word == "--container")
        {
            int64_t llWhole = 0;
            bGood = ParseWhole(Value, llWhole) && (llWhole == 16 || llWhole == 24 || llWhole == 32);
            if (!bGood)
            {
                Problem = "--container needs 16, 24 or 32, not '" + Value + "'";
            }
            Parsed.Choice.uiContainerBits = static_cast<uint32_t>(llWhole);
            bContainerGiven = true;
        }
        else if (Word == "--from")
        {
            bGood = CliSettingValues::ParseTime(Word, Value, Parsed.Choice.dfFromSeconds, Problem);
        }
        else if (Word == "--to")
        {
            bGood = CliSettingValues::ParseTime(Word, Value, Parsed.Choice.dfToSeconds, Problem);
        }
        else if (Word == "--volume")
        {
            bGood = CliSettingValues::ParseVolume(Word, Value, iPosition, Problem);
            Parsed.Choice.dfVolumeDb = PlayerScales::LevelOfVolumePosition(iPosition);
        }
        else if (Word == "--keep-pitch")
        {
            Parsed.Choice.bKeepPitch = 1;
        }
        if (!bGood)
        {
            return false;
        }
    }
    if (bSpeedGiven && bPositionGiven)
    {
        Problem = "give --speed or --position, not both";
        return false;
    }
    if (bContainerGiven && Parsed.Choice.uiBitCount == 0)
    {
        Problem = "--container needs --bits";
        return false;
    }
    if (Parsed.Choice.uiContainerBits != 0 && Parsed.Choice.uiContainerBits < Parsed.Choice.uiBitCount)
    {
        Problem = "a container of " + std::to_string(Parsed.Choice.uiContainerBits) + " bits cannot hold " +
                  std::to_string(Parsed.Choice.uiBitCount) + " bits";
        return false;
    }
    const OfflineRenderer::Settings& Choice = Parsed.Choice;
    if (Choice.dfToSeconds >= 0.0 && !(Choice.dfToSeconds > Choice.dfFromSeconds))
    {
        Problem = "--to " + CliSettingValues::MinutesText(Choice.dfToSeconds) + " must come after --from " +
                  CliSettingValues::MinutesText(Choice.dfFromSeconds);
        return false;
    }
    if (!Choice.SpeedChanges.empty() && Choice.SpeedChanges.front().dfInputSeconds < Choice.dfFromSeconds)
    {
        Problem = "the speed change at " +
                  CliSettingValues::MinutesText(Choice.SpeedChanges.front().dfInputSeconds) +
                  " comes before --from " + CliSettingValues::MinutesText(Choice.dfFromSeconds) +
                  ": speed changes must fall inside the section";
        return false;
    }
    if (Choice.dfToSeconds >= 0.0 && !Choice.SpeedChanges.empty() &&
        Choice.SpeedChanges.back().dfInputSeconds > Choice.dfToSeconds)
    {
        Problem = "the speed change at " +
                  CliSettingValues::MinutesText(Choice.SpeedChanges.back().dfInputSeconds) +
                  " comes after --to " + CliSettingValues::MinutesText(Choice.dfToSeconds) +
                  ": speed changes must fall inside the section";
        return false;
    }
    const std::vector<std::string>& Files = Parser.GetOperands();
    if (Files.size() != 2)
    {
        Problem = "give one input and one output file";
        return false;
    }
    Parsed.Input = Files[0];
    Parsed.Output = Files[1];
    return true;
}
} // namespace

int RunRenderCommand(const std::vector<std::string>& Arguments, std::ostream& Out, std::ostream& Error)
{
    CliOptionParser Parser({std::begin(OPTIONS), std::end(OPTIONS)});
    RenderArguments Parsed;
    std::string Problem;
    if (Parser.Parse(Arguments, Problem) && Parser.IsHelpAsked())
    {
        Out << HELP_TEXT;
        return EXIT_DONE;
    }
    if (!Problem.empty() || !TakeOptions(Parser, Parsed, Problem))
    {
        Error << "larkspur-cli render: " << Problem << "\n"
              << SYNOPSIS << "'larkspur-cli render --help' describes the options.\n";
        return EXIT_USAGE;
    }
    const std::string InputProblem = CliFileMessages::InputProblem(Parsed.Input);
    if (!InputProblem.empty())
    {
        Error << "larkspur-cli render: " << InputProblem << '\n';
        return EXIT_INPUT_REFUSED;
    }
    std::error_code Ignored;
    const bool bOutputExisted =
        std::filesystem::exists(std::filesystem::path(Utf8ToWide(Parsed.Output)), Ignored);

    const auto Start = std::chrono::steady_clock::now();
    const auto Elapsed = [&Start]
    { return std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count(); };
    ProgressBar Bar(Error);
    OfflineRenderer Renderer;
    const int32_t iResult = Renderer.Render(
        Utf8ToWide(Parsed.Input).c_str(), Utf8ToWide(Parsed.Output).c_str(), Parsed.Choice,
        [&](uint64_t ullDone, uint64_t ullTotal) { Bar.Update(ullDone, ullTotal, Elapsed()); });
    Bar.Finish(Elapsed(), iResult >= 0);
    if (iResult < 0)
    {
        Error << "larkspur-cli render: ";
        // The input's length in seconds, for the section and speed change messages.
        const double dfLength =
            Renderer.GetInputRate() == 0
                ? 0.0
                : static_cast<double>(Renderer.GetInputFrames()) / Renderer.GetInputRate();
        switch (Renderer.GetFailedStep())
        {
        case OfflineRenderer::Step::Settings:
            Error << "bit counts or volume out of range\n" << SYNOPSIS;
            return EXIT_USAGE;
        case OfflineRenderer::Step::OpenInput:
            Error << CliFileMessages::RefusedInput(Parsed.Input) << '\n';
            return EXIT_INPUT_REFUSED;
        case OfflineRenderer::Step::Section:
        {
            const double dfFrom = Parsed.Choice.dfFromSeconds;
            const double dfTo = Parsed.Choice.dfToSeconds;
            if (dfFrom >= dfLength || dfTo > dfLength)
            {
                const bool bFrom = dfFrom >= dfLength;
                Error << (bFrom ? "--from " : "--to ") << CliSettingValues::MinutesText(bFrom ? dfFrom : dfTo)
                      << " lies beyond the end of the input (" << CliSettingValues::MinutesText(dfLength)
                      << ")";
            }
            else
            {
                Error << "the section holds no frame of the input";
            }
            Error << "; nothing was written\n";
            return EXIT_USAGE;
        }
        case OfflineRenderer::Step::SpeedChanges:
        {
            // Everything but the input's length was checked with the arguments.
            double dfBeyond = 0.0;
            for (const OfflineRenderer::SpeedChange& Change : Parsed.Choice.SpeedChanges)
            {
                if (Change.dfInputSeconds > dfLength)
                {
                    dfBeyond = Change.dfInputSeconds;
                    break;
                }
            }
            PutLine(Error, u"the speed change at %.3lf s lies beyond the end of the input (%.3lf s)",
                    dfBeyond, dfLength);
            return EXIT_USAGE;
        }
        case OfflineRenderer::Step::SetupConverter:
            PutLine(
                Error,
                u"the converter cannot convert the input's %u Hz into %u Hz at speed %.6lf, shift %d (%d)",
                Renderer.GetInputRate(), Parsed.Choice.uiDeviceRate, Parsed.Choice.dfSpeed,
                static_cast<int>(Parsed.Choice.iShift), static_cast<int>(iResult));
            if (const uint32_t uiLowest = SamplingFrequencyConverter::LowestInputRate(
                    Parsed.Choice.uiDeviceRate, PlayerScales::OVERSAMPLING_FACTOR);
                Renderer.GetInputRate() < uiLowest)
            {
                PutLine(Error, u"the lowest file rate that converts into %u Hz is %u Hz",
                        Parsed.Choice.uiDeviceRate, uiLowest);
            }
            return EXIT_CONVERTER_REFUSED;
        case OfflineRenderer::Step::OutputIsInput:
            Error << CliFileMessages::Quoted(Parsed.Output) << " is the input file; give another output\n";
            return EXIT_OUTPUT_FAILED;
        case OfflineRenderer::Step::CreateOutput:
            Error << CliFileMessages::OutputCreateProblem(Parsed.Output) << '\n';
            return EXIT_OUTPUT_FAILED;
        case OfflineRenderer::Step::WriteOutput:
            Error << CliFileMessages::OutputWriteProblem(Parsed.Output, Renderer.GetSystemError(),
                                                         bOutputExisted)
                  << '\n';
            return EXIT_OUTPUT_FAILED;
        case OfflineRenderer::Step::ReplaceOutput:
            Error << CliFileMessages::OutputReplaceProblem(Parsed.Output, bOutputExisted) << '\n';
            return EXIT_OUTPUT_FAILED;
        default:
            Error << "reading " << CliFileMessages::Quoted(Parsed.Input)
                  << " or converting it failed part-way (" << iResult << "); "
                  << (bOutputExisted ? CliFileMessages::Quoted(Parsed.Output) + " is unchanged"
                                     : "no file was made")
                  << '\n';
            return EXIT_CONVERSION_FAILED;
        }
    }
    PutLine(Out, u"frames %llu", static_cast<unsigned long long>(Renderer.GetFramesWritten()));
    PutLine(Out, u"sampling_frequency %u", Parsed.Choice.uiDeviceRate);
    PutLine(Out, u"speed %.6lf", Parsed.Choice.dfSpeed);
    for (const OfflineRenderer::SpeedChange& Change : Parsed.Choice.SpeedChanges)
    {
        PutLine(Out, u"speed_at %.6lf %.6lf", Change.dfInputSeconds, Change.dfSpeed);
    }
    if (Parsed.Choice.bKeepPitch != 0)
    {
        PutLine(Out, u"keep_pitch 1");
    }
    if (Parsed.Choice.uiBitCount != 0)
    {
        const uint32_t uiContainer = Parsed.Choice.uiContainerBits != 0
                                         ? Parsed.Choice.uiContainerBits
                                         : OfflineRenderer::DefaultContainer(Parsed.Choice.uiBitCount);
        PutLine(Out, u"bits %u in %u", Parsed.Choice.uiBitCount, uiContainer);
    }
    return EXIT_DONE;
}
