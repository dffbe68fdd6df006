#include "app/OfflineRenderer.h"
#include "app/PlayerScales.h"
#include "app/PlayerTexts.h"
#include "app/cli/CliCommands.h"
#include "app/cli/CliNumbers.h"
#include "app/cli/ProgressBar.h"
#include "conversion/SamplingFrequencyConverter.h"
#include "runtime/FormatText.h"
#include "runtime/TextConversion.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <string>

namespace
{
const char* const USAGE_TEXT =
    "Usage: larkspur-cli render IN.wav OUT.wav [--rate HZ] [--speed X | --position P] [--shift BINS]\n"
    "                                [--bits N [--container 16|24|32]] [--volume DB]\n"
    "                                [--speed-at T=X | --position-at T=P ...]\n"
    "  --rate HZ      device sampling frequency of the output, 1 ... 1000000 (default 48000)\n"
    "  --speed X      playback speed, greater than 0 (default 1)\n"
    "  --position P   speed slider position 0 ... 280: speed = 1.00579294106785^(P - 120)\n"
    "  --speed-at T=X move the speed slider to speed X (0.5 ... 2.52, the nearest slider position)\n"
    "                 when T seconds of the input have been converted; it glides there as in the\n"
    "                 player. Repeatable, times in order, from 0 up to the input's length\n"
    "  --position-at T=P  the same with a slider position P, 0 ... 280\n"
    "  --shift BINS   spectrum shift in bins of input rate / 256, -127 ... 127\n"
    "  --bits N       integer output of N effective bits, 1 ... 32, as a device gets it\n"
    "                 (without --bits the output is 32-bit float)\n"
    "  --container C  bits per stored sample, 16, 24 or 32, at least N (default: the smallest)\n"
    "  --volume DB    volume 0 ... -80 dB in steps of 0.1 dB (default 0)\n";

constexpr int EXIT_DONE = 0;
constexpr int EXIT_USAGE = 1;
constexpr int EXIT_INPUT_REFUSED = 2;
constexpr int EXIT_CONVERTER_REFUSED = 3;
constexpr int EXIT_OUTPUT_FAILED = 4;
constexpr int EXIT_CONVERSION_FAILED = 5;

constexpr uint32_t MAXIMUM_RATE = 1000000;

struct RenderArguments
{
    std::string Input;
    std::string Output;
    OfflineRenderer::Settings Choice;
};

constexpr double SLOWEST_SPEED = 0.5;
constexpr double FASTEST_SPEED = 2.52;

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
    if (!ParseReal(Time, dfSeconds) || dfSeconds < 0.0)
    {
        Problem = Option + " needs " + (bPosition ? "T=P" : "T=X") +
                  " with T seconds of input, 0 or more, not '" + Value + "'";
        return false;
    }
    if (dfSeconds < dfPreviousSeconds)
    {
        Problem = Option + " " + Value + " goes back in time: the changes must come in order of time";
        return false;
    }
    int64_t llPosition = 0;
    double dfSpeed = 0.0;
    if (bPosition)
    {
        if (!ParseWhole(Target, llPosition) || llPosition < 0 ||
            llPosition > PlayerScales::SPEED_MAXIMUM_POSITION)
        {
            Problem = "--position-at needs a slider position from 0 to 280 after '=', not '" + Value + "'";
            return false;
        }
    }
    else
    {
        if (!ParseReal(Target, dfSpeed) || dfSpeed < SLOWEST_SPEED || dfSpeed > FASTEST_SPEED)
        {
            Problem = "--speed-at needs a speed from 0.5 to 2.52 after '=', not '" + Value + "'";
            return false;
        }
        // The slider moves in steps of 1/120 octave: the nearest position, within 0 ... 280.
        llPosition = std::clamp<int64_t>(std::llround(PlayerScales::PositionOfSpeed(dfSpeed)), 0,
                                         PlayerScales::SPEED_MAXIMUM_POSITION);
    }
    Change.dfInputSeconds = dfSeconds;
    Change.dfSpeed = PlayerScales::SpeedOfPosition(static_cast<int32_t>(llPosition));
    return true;
}

// Fills Parsed, or says what is wrong in Problem.
bool ParseArguments(const std::vector<std::string>& Arguments, RenderArguments& Parsed, std::string& Problem)
{
    std::vector<std::string> Files;
    bool bSpeedGiven = false;
    bool bPositionGiven = false;
    bool bContainerGiven = false;
    for (size_t i = 0; i < Arguments.size(); ++i)
    {
        const std::string& Word = Arguments[i];
        if (Word.size() < 2 || Word.compare(0, 2, "--") != 0)
        {
            Files.push_back(Word);
            continue;
        }
        if (i + 1 >= Arguments.size())
        {
            Problem = "option " + Word + " needs a value";
            return false;
        }
        const std::string& Value = Arguments[++i];
        int64_t llWhole = 0;
        double dfReal = 0.0;
        if (Word == "--rate")
        {
            if (!ParseWhole(Value, llWhole) || llWhole < 1 || llWhole > MAXIMUM_RATE)
            {
                Problem = "--rate needs a whole number of hertz from 1 to 1000000, not '" + Value + "'";
                return false;
            }
            Parsed.Choice.uiDeviceRate = static_cast<uint32_t>(llWhole);
        }
        else if (Word == "--speed")
        {
            if (!ParseReal(Value, dfReal) || !(dfReal > 0.0))
            {
                Problem = "--speed needs a number greater than 0, not '" + Value + "'";
                return false;
            }
            Parsed.Choice.dfSpeed = dfReal;
            bSpeedGiven = true;
        }
        else if (Word == "--position")
        {
            if (!ParseWhole(Value, llWhole) || llWhole < 0 || llWhole > PlayerScales::SPEED_MAXIMUM_POSITION)
            {
                Problem = "--position needs a whole number from 0 to 280, not '" + Value + "'";
                return false;
            }
            Parsed.Choice.dfSpeed = PlayerScales::SpeedOfPosition(static_cast<int32_t>(llWhole));
            bPositionGiven = true;
        }
        else if (Word == "--speed-at" || Word == "--position-at")
        {
            std::vector<OfflineRenderer::SpeedChange>& Changes = Parsed.Choice.SpeedChanges;
            OfflineRenderer::SpeedChange Change;
            if (!ParseSpeedChange(Word, Value, Changes.empty() ? 0.0 : Changes.back().dfInputSeconds, Change,
                                  Problem))
            {
                return false;
            }
            Changes.push_back(Change);
        }
        else if (Word == "--shift")
        {
            if (!ParseWhole(Value, llWhole) || llWhole < INT32_MIN || llWhole > INT32_MAX)
            {
                Problem = "--shift needs a whole number of bins, not '" + Value + "'";
                return false;
            }
            Parsed.Choice.iShift = static_cast<int32_t>(llWhole);
        }
        else if (Word == "--bits")
        {
            if (!ParseWhole(Value, llWhole) || llWhole < 1 || llWhole > 32)
            {
                Problem = "--bits needs a whole number from 1 to 32, not '" + Value + "'";
                return false;
            }
            Parsed.Choice.uiBitCount = static_cast<uint32_t>(llWhole);
        }
        else if (Word == "--container")
        {
            if (!ParseWhole(Value, llWhole) || (llWhole != 16 && llWhole != 24 && llWhole != 32))
            {
                Problem = "--container needs 16, 24 or 32, not '" + Value + "'";
                return false;
            }
            Parsed.Choice.uiContainerBits = static_cast<uint32_t>(llWhole);
            bContainerGiven = true;
        }
        else if (Word == "--volume")
        {
            // The slider moves in tenths of a decibel; a level between its steps is not one it has.
            if (!ParseReal(Value, dfReal) || dfReal > 0.0 || dfReal < PlayerScales::LOWEST_VOLUME_DB ||
                std::fabs(dfReal * 10.0 - std::round(dfReal * 10.0)) > 1e-6)
            {
                Problem = "--volume needs a level from 0 to -80 dB in steps of 0.1, not '" + Value + "'";
                return false;
            }
            Parsed.Choice.dfVolumeDb = dfReal;
        }
        else
        {
            Problem = "unknown option " + Word;
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
    if (Files.size() != 2)
    {
        Problem = "give one input and one output file";
        return false;
    }
    Parsed.Input = Files[0];
    Parsed.Output = Files[1];
    return true;
}

template <typename... Values> void PutLine(std::ostream& Out, const char16_t* pFormat, Values... Arguments)
{
    char16_t Line[128];
    FormatText(Line, sizeof(Line), pFormat, Arguments...);
    Out << WideToUtf8(Line) << '\n';
}
} // namespace

int RunRenderCommand(const std::vector<std::string>& Arguments, std::ostream& Out, std::ostream& Error)
{
    RenderArguments Parsed;
    std::string Problem;
    if (!ParseArguments(Arguments, Parsed, Problem))
    {
        Error << "larkspur-cli render: " << Problem << "\n" << USAGE_TEXT;
        return EXIT_USAGE;
    }

    const auto Start = std::chrono::steady_clock::now();
    const auto Elapsed = [&Start]
    { return std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count(); };
    ProgressBar Bar(Error);
    OfflineRenderer Renderer;
    const int32_t iResult = Renderer.Render(
        Utf8ToWide(Parsed.Input).c_str(), Utf8ToWide(Parsed.Output).c_str(), Parsed.Choice,
        [&](uint64_t ullDone, uint64_t ullTotal) { Bar.Update(ullDone, ullTotal, Elapsed()); });
    Bar.Finish(Elapsed());
    if (iResult < 0)
    {
        switch (Renderer.GetFailedStep())
        {
        case OfflineRenderer::Step::Settings:
            Error << "larkspur-cli render: bit counts or volume out of range\n" << USAGE_TEXT;
            return EXIT_USAGE;
        case OfflineRenderer::Step::OpenInput:
            Error << WideToUtf8(PlayerTexts::FILE_REFUSED) << '\n';
            return EXIT_INPUT_REFUSED;
        case OfflineRenderer::Step::SpeedChanges:
        {
            // Everything but the input's length was checked with the arguments.
            const double dfLength =
                Renderer.GetInputRate() == 0
                    ? 0.0
                    : static_cast<double>(Renderer.GetInputFrames()) / Renderer.GetInputRate();
            double dfBeyond = 0.0;
            for (const OfflineRenderer::SpeedChange& Change : Parsed.Choice.SpeedChanges)
            {
                if (Change.dfInputSeconds > dfLength)
                {
                    dfBeyond = Change.dfInputSeconds;
                    break;
                }
            }
            PutLine(Error,
                    u"larkspur-cli render: the speed change at %.3lf s lies beyond the end of the input "
                    u"(%.3lf s)",
                    dfBeyond, dfLength);
            return EXIT_USAGE;
        }
        case OfflineRenderer::Step::SetupConverter:
            Error << WideToUtf8(PlayerTexts::CONVERTER_FAILED) << '\n';
            PutLine(Error, u"larkspur-cli render: %u Hz into %u Hz at speed %.6lf, shift %d refused (%d)",
                    Renderer.GetInputRate(), Parsed.Choice.uiDeviceRate, Parsed.Choice.dfSpeed,
                    static_cast<int>(Parsed.Choice.iShift), static_cast<int>(iResult));
            if (const uint32_t uiLowest = SamplingFrequencyConverter::LowestInputRate(
                    Parsed.Choice.uiDeviceRate, PlayerScales::OVERSAMPLING_FACTOR);
                Renderer.GetInputRate() < uiLowest)
            {
                PutLine(Error, u"larkspur-cli render: the lowest file rate that converts into %u Hz is %u Hz",
                        Parsed.Choice.uiDeviceRate, uiLowest);
            }
            return EXIT_CONVERTER_REFUSED;
        case OfflineRenderer::Step::CreateOutput:
            Error << "larkspur-cli render: cannot create '" << Parsed.Output << "'"
                  << (iResult == -4 ? " (it is the input file)" : "") << '\n';
            return EXIT_OUTPUT_FAILED;
        case OfflineRenderer::Step::WriteOutput:
            Error << "larkspur-cli render: writing '" << Parsed.Output << "' failed; nothing was kept\n";
            return EXIT_OUTPUT_FAILED;
        default:
            PutLine(Error, u"larkspur-cli render: reading or converting failed (%d); nothing was kept",
                    static_cast<int>(iResult));
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
    if (Parsed.Choice.uiBitCount != 0)
    {
        const uint32_t uiContainer = Parsed.Choice.uiContainerBits != 0
                                         ? Parsed.Choice.uiContainerBits
                                         : OfflineRenderer::DefaultContainer(Parsed.Choice.uiBitCount);
        PutLine(Out, u"bits %u in %u", Parsed.Choice.uiBitCount, uiContainer);
    }
    return EXIT_DONE;
}
