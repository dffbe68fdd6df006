#include "app/cli/CliCommands.h"
#include "app/cli/CliFileMessages.h"
#include "app/cli/CliOptionParser.h"
#include "app/cli/CliSettingValues.h"

#include "runtime/FormatText.h"
#include "runtime/TextConversion.h"
#include "wave/WaveFileReader.h"

namespace
{
const char* const SYNOPSIS = "Usage: larkspur-cli info FILE.wav\n";
const char* const HELP_TEXT =
    "Usage: larkspur-cli info FILE.wav\n"
    "Shows a WAV file's format and length as the player reads them, one \"name value\" line each:\n"
    "  header              consistent, or inconsistent when a size or rate field disagrees with the\n"
    "                      rest of the file (the player plays it all the same)\n"
    "  sampling_frequency  samples per second per channel\n"
    "  channels, bits      channels and bits per sample\n"
    "  frames, length      sample frames, and the length in seconds (and as m:ss.s, or h:mm:ss.s\n"
    "                      from an hour on)\n"
    "A file the player cannot read gets one line on stderr saying why.\n"
    "Exit status: 0 shown; 1 wrong arguments; 2 the file is missing or not a WAV file the player\n"
    "reads.\n";

constexpr int EXIT_ACCEPTED = 0;
constexpr int EXIT_USAGE = 1;
constexpr int EXIT_REFUSED = 2;

// One "name value" line. FormatText is locale-independent, so the numbers read the same everywhere.
template <typename... Values> void PutLine(std::ostream& Out, const char16_t* pFormat, Values... Arguments)
{
    char16_t Line[128];
    FormatText(Line, sizeof(Line), pFormat, Arguments...);
    Out << WideToUtf8(Line) << '\n';
}
} // namespace

int RunInfoCommand(const std::vector<std::string>& Arguments, std::ostream& Out, std::ostream& Error)
{
    CliOptionParser Parser({});
    std::string Problem;
    if (Parser.Parse(Arguments, Problem) && Parser.IsHelpAsked())
    {
        Out << HELP_TEXT;
        return EXIT_ACCEPTED;
    }
    if (Problem.empty() && Parser.GetOperands().size() != 1)
    {
        Problem = Parser.GetOperands().empty() ? "give a FILE.wav" : "give one FILE.wav";
    }
    if (!Problem.empty())
    {
        Error << "larkspur-cli info: " << Problem << '\n' << SYNOPSIS;
        return EXIT_USAGE;
    }
    const std::string& Path = Parser.GetOperands()[0];
    WaveFileReader Reader;
    const int32_t iResult = Reader.Open(Utf8ToWide(Path).c_str());
    if (iResult < 0)
    {
        Error << "larkspur-cli info: " << CliFileMessages::RefusedInput(Path) << '\n';
        return EXIT_REFUSED;
    }
    // The length as the file information shows it: whole seconds in integers, the rest as a fraction.
    const uint64_t ullRate = Reader.uiSamplingFrequency;
    const double dfLength =
        static_cast<double>(Reader.ullFrameCount / ullRate) +
        static_cast<double>(Reader.ullFrameCount % ullRate) / static_cast<double>(ullRate);
    Out << (iResult == 1 ? "header consistent\n"
                         : "header inconsistent: a size or rate field disagrees with the rest of the file "
                           "(the player plays it all the same)\n");
    PutLine(Out, u"sampling_frequency %.0lf", static_cast<double>(Reader.uiSamplingFrequency));
    PutLine(Out, u"channels %d", static_cast<int>(Reader.uiChannelCount));
    PutLine(Out, u"bits %d", static_cast<int>(Reader.uiBitCount));
    PutLine(Out, u"frames %llu", static_cast<unsigned long long>(Reader.ullFrameCount));
    char16_t Seconds[64];
    FormatText(Seconds, sizeof(Seconds), u"%.3lf", dfLength);
    Out << "length " << WideToUtf8(Seconds) << " s (" << CliSettingValues::MinutesText(dfLength) << ")\n";
    return EXIT_ACCEPTED;
}
