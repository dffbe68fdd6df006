#include "app/cli/CliCommands.h"
#include "app/dialog/PlayerTexts.h"

#include "runtime/FormatText.h"
#include "runtime/TextConversion.h"
#include "wave/WaveFileReader.h"

namespace
{

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
    if (Arguments.size() != 1)
    {
        Error << "Usage: larkspur-cli info FILE\n";
        return EXIT_USAGE;
    }
    WaveFileReader Reader;
    const int32_t iResult = Reader.Open(Utf8ToWide(Arguments[0]).c_str());
    if (iResult < 0)
    {
        Error << WideToUtf8(PlayerTexts::FILE_REFUSED) << '\n';
        return EXIT_REFUSED;
    }
    // The length as the file information shows it: whole seconds in integers, the rest as a fraction.
    const uint64_t ullRate = Reader.uiSamplingFrequency;
    const double dfLength =
        static_cast<double>(Reader.ullFrameCount / ullRate) +
        static_cast<double>(Reader.ullFrameCount % ullRate) / static_cast<double>(ullRate);
    PutLine(Out, u"result %d", static_cast<int>(iResult));
    PutLine(Out, u"sampling_frequency %.0lf", static_cast<double>(Reader.uiSamplingFrequency));
    PutLine(Out, u"channels %d", static_cast<int>(Reader.uiChannelCount));
    PutLine(Out, u"bits %d", static_cast<int>(Reader.uiBitCount));
    PutLine(Out, u"frames %llu", static_cast<unsigned long long>(Reader.ullFrameCount));
    PutLine(Out, u"length %.3lf", dfLength);
    return EXIT_ACCEPTED;
}
