#include "app/cli/CliCommands.h"
#include "app/cli/CliFileMessages.h"
#include "app/cli/CliFormattedText.h"
#include "app/cli/CliOptionParser.h"
#include "app/cli/CliSettingValues.h"

#include "runtime/FormatText.h"
#include "runtime/TextConversion.h"
#include "wave/AudioFileOpener.h"

namespace
{
const char* const SYNOPSIS = "Usage: larkspur-cli info FILE\n";
const char* const HELP_TEXT =
    "Usage: larkspur-cli info FILE\n"
    "Shows a sound file's format and length as the player reads them (WAV, FLAC, MP3, AAC/M4A, ALAC,\n"
    "Ogg Vorbis, Opus, AIFF, WavPack, ...), one \"name value\" line each:\n"
    "  format              the coding, with the file's own bits where it has them (FLAC, 24-bit;\n"
    "                      MP3; WAV, 32-bit float)\n"
    "  header              consistent, or inconsistent when a size or rate field disagrees with the\n"
    "                      rest of the file (the player plays it all the same)\n"
    "  sampling_frequency  samples per second per channel\n"
    "  channels, bits      channels and bits per sample (- for lossy codings, which have none)\n"
    "  frames, length      sample frames, and the length in seconds (and as m:ss.s, or h:mm:ss.s\n"
    "                      from an hour on); \"(estimated)\" when the file does not say exactly\n"
    "A file the player cannot read gets one line on stderr saying why.\n"
    "Exit status: 0 shown; 1 wrong arguments; 2 the file is missing or not a sound file the player\n"
    "reads.\n";

constexpr int EXIT_ACCEPTED = 0;
constexpr int EXIT_USAGE = 1;
constexpr int EXIT_REFUSED = 2;

// One "name value" line. FormatText is locale-independent, so the numbers read the same everywhere.
// "FLAC, 24-bit", "MP3", "WAV, 32-bit float": the coding and the file's own bits where it has them.
std::string DescribeFormat(const AudioFileFormat& Format)
{
    std::string Text = WideToUtf8(Format.szCodingName);
    if (Format.uiBitCount != 0)
    {
        Text += ", " + std::to_string(Format.uiBitCount) + "-bit";
        if (Format.bFloatSamples != 0)
        {
            Text += " float";
        }
    }
    return Text;
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
        Problem = Parser.GetOperands().empty() ? "give a FILE" : "give one FILE";
    }
    if (!Problem.empty())
    {
        Error << "larkspur-cli info: " << Problem << '\n' << SYNOPSIS;
        return EXIT_USAGE;
    }
    const std::string& Path = Parser.GetOperands()[0];
    AudioFileOpener Reader;
    const int32_t iResult = Reader.Open(Utf8ToWide(Path).c_str());
    if (iResult < 0)
    {
        Error << "larkspur-cli info: " << CliFileMessages::RefusedInput(Path) << '\n';
        return EXIT_REFUSED;
    }
    // The length as the file information shows it: whole seconds in integers, the rest as a fraction.
    const AudioFileFormat& Format = Reader.GetFormat();
    const uint64_t ullRate = Format.uiSamplingFrequency;
    const double dfLength =
        static_cast<double>(Format.ullFrameCount / ullRate) +
        static_cast<double>(Format.ullFrameCount % ullRate) / static_cast<double>(ullRate);
    const char* pEstimated = Format.bFrameCountEstimated != 0 ? " (estimated)" : "";
    Out << "format " << DescribeFormat(Format) << '\n';
    Out << (iResult == 1 ? "header consistent\n"
                         : "header inconsistent: a size or rate field disagrees with the rest of the file "
                           "(the player plays it all the same)\n");
    PutLine(Out, u"sampling_frequency %.0lf", static_cast<double>(Format.uiSamplingFrequency));
    PutLine(Out, u"channels %d", static_cast<int>(Format.uiChannelCount));
    if (Format.uiBitCount != 0)
    {
        PutLine(Out, u"bits %d", static_cast<int>(Format.uiBitCount));
    }
    else
    {
        Out << "bits -\n";
    }
    char16_t Frames[64];
    FormatText(Frames, sizeof(Frames), u"%llu", static_cast<unsigned long long>(Format.ullFrameCount));
    Out << "frames " << WideToUtf8(Frames) << pEstimated << '\n';
    char16_t Seconds[64];
    FormatText(Seconds, sizeof(Seconds), u"%.3lf", dfLength);
    Out << "length " << WideToUtf8(Seconds) << " s (" << CliSettingValues::MinutesText(dfLength) << ")"
        << pEstimated << "\n";
    return EXIT_ACCEPTED;
}
