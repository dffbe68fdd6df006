#include "app/cli/CliAudioLayer.h"
#include "app/cli/CliCommands.h"
#include "app/cli/CliOptionParser.h"
#include "app/cli/DisplayColumns.h"
#include "app/cli/OutputDeviceList.h"
#include "app/dialog/PlayerTexts.h"
#include "app/player/AudioLayerSelection.h"
#include "app/player/RateTable.h"

#include "output/AudioClientConstants.h"
#include "output/AudioStreamFormat.h"
#include "output/SAudioClient.h"
#include "output/SAudioDeviceEnumerator.h"
#include "output/SAudioEndpoint.h"
#include "output/SAudioEndpointCollection.h"
#include "runtime/TextConversion.h"

#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace
{
constexpr int EXIT_LISTED = 0;
constexpr int EXIT_USAGE = 1;
constexpr int EXIT_NO_AUDIO = 2;
constexpr uint32_t PROBED_BITS[] = {32, 24, 16};
const char* const SYNOPSIS = "Usage: larkspur-cli devices [--probe] [--verbose]\n";
const char* const HELP_TEXT =
    "Usage: larkspur-cli devices [--probe] [--verbose]\n"
    "Lists the output devices by the index the player uses (-1 is the default device), with their\n"
    "names and identifiers; 'larkspur-cli play --device' takes any of the three.\n"
    "  --probe     also show, for each of the 20 rates, which of 32, 24 and 16 bits each device\n"
    "              takes in exclusive and in shared mode (busy: another program holds it)\n"
    "  --verbose   let the sound system print its own diagnostics\n"
    "  -h, --help  show this text\n"
    "LARKSPUR_AUDIO=virtual lists the virtual device instead.\n"
    "Exit status: 0 listed (also when there is no device); 1 wrong arguments; 2 no sound system, or\n"
    "LARKSPUR_AUDIO set to something unknown.\n";
// Said when no endpoint exists: what the player then does.
std::string NoDeviceText()
{
    return "No output device was found (no sound card or sound server). The player's device list then "
           "holds only\nits default entry, " +
           WideToUtf8(PlayerTexts::DEFAULT_DEVICE) + ", and Play shows\n" +
           WideToUtf8(PlayerTexts::DEVICE_NOT_INITIALISED) +
           " (the output device could not be initialised).\n"
           "LARKSPUR_AUDIO=virtual plays onto a virtual device instead.\n";
}

const CliOptionParser::Option OPTIONS[] = {{"--probe", nullptr}, {"--verbose", nullptr}};

// The bits the endpoint takes at a rate in a share mode, as the stream probes them: "32 24 16",
// "-" for none, "busy" when another program holds the device.
std::string ProbeCell(SAudioClient& Client, uint32_t uiShareMode, uint32_t uiRate)
{
    std::string Cell;
    bool bBusy = false;
    for (const uint32_t uiBits : PROBED_BITS)
    {
        const AudioStreamFormat Format = MakeStereoPcmFormat(uiRate, uiBits);
        AudioStreamFormat Closest{};
        const int32_t iResult = Client.IsFormatSupported(
            uiShareMode, &Format, uiShareMode == AUDIO_SHAREMODE_SHARED ? &Closest : nullptr);
        if (iResult == AUDIO_OK)
        {
            if (!Cell.empty())
            {
                Cell += ' ';
            }
            Cell += std::to_string(uiBits);
        }
        bBusy = bBusy || iResult == AUDIO_E_DEVICE_IN_USE;
    }
    if (Cell.empty())
    {
        return bBusy ? "busy" : "-";
    }
    return Cell;
}

void PrintProbe(OutputDeviceList::Entry& Line, std::ostream& Out)
{
    const std::string Indent(9, ' ');
    std::unique_ptr<SAudioClient> pClient;
    if (Line.pEndpoint->Activate(pClient) < 0 || pClient == nullptr)
    {
        Out << Indent << "(cannot be opened)\n";
        return;
    }
    constexpr size_t RATE_WIDTH = 12;
    constexpr size_t MODE_WIDTH = 12;
    Out << Indent << PadToColumns("rate", RATE_WIDTH) << PadToColumns("exclusive", MODE_WIDTH) << "shared\n";
    for (uint32_t i = 0; i < RateTable::COUNT; ++i)
    {
        const uint32_t uiRate = RateTable::Hz(i);
        Out << Indent << PadToColumns(WideToUtf8(RateTable::TEXTS[i]), RATE_WIDTH)
            << PadToColumns(ProbeCell(*pClient, AUDIO_SHAREMODE_EXCLUSIVE, uiRate), MODE_WIDTH)
            << ProbeCell(*pClient, AUDIO_SHAREMODE_SHARED, uiRate) << '\n';
    }
}
} // namespace

int RunDevicesCommand(const std::vector<std::string>& Arguments, std::ostream& Out, std::ostream& Error)
{
    CliOptionParser Parser({std::begin(OPTIONS), std::end(OPTIONS)});
    std::string Problem;
    if (Parser.Parse(Arguments, Problem) && Parser.IsHelpAsked())
    {
        Out << HELP_TEXT;
        return EXIT_LISTED;
    }
    if (Problem.empty() && !Parser.GetOperands().empty())
    {
        Problem = "unexpected '" + Parser.GetOperands()[0] + "'";
    }
    if (!Problem.empty())
    {
        Error << "larkspur-cli devices: " << Problem << '\n' << SYNOPSIS;
        return EXIT_USAGE;
    }
    bool bProbe = false;
    bool bVerbose = false;
    for (const CliOptionParser::Given& Item : Parser.GetOptions())
    {
        (Item.Name == "--probe" ? bProbe : bVerbose) = true;
    }
    std::unique_ptr<SAudioClientLayer> pLayer;
    std::string Description;
    if (OpenCliAudioLayer(bVerbose, pLayer, Description) < 0 || pLayer == nullptr)
    {
        Error << "larkspur-cli devices: " << Description << '\n';
        return EXIT_NO_AUDIO;
    }
    return PrintDevices(*pLayer, Description, bProbe, Out, Error);
}

int PrintDevices(SAudioClientLayer& Layer, const std::string& Description, bool bProbe, std::ostream& Out,
                 std::ostream& Error)
{
    const bool bThread = Layer.InitializeThread() >= 0;
    int iStatus = EXIT_LISTED;
    {
        OutputDeviceList Devices;
        if (Devices.Load(Layer) < 0)
        {
            Error << "larkspur-cli devices: the audio system lists no devices\n";
            iStatus = EXIT_NO_AUDIO;
        }
        else
        {
            Out << "Output devices (" << Description << "):\n";
            if (!Devices.GetEntries().empty())
            {
                Out << Devices.HeaderLine() << '\n';
            }
            for (OutputDeviceList::Entry& Item : Devices.GetEntries())
            {
                Out << Devices.LineOf(Item) << '\n';
                if (bProbe)
                {
                    PrintProbe(Item, Out);
                }
            }
            if (Devices.CountEndpoints() == 0)
            {
                Out << NoDeviceText();
            }
        }
    }
    if (bThread)
    {
        Layer.UninitializeThread();
    }
    return iStatus;
}
