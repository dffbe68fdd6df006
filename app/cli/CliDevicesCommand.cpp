#include "app/cli/CliCommands.h"
#include "app/player/AudioLayerSelection.h"
#include "app/player/RateTable.h"

#include "output/AudioClientConstants.h"
#include "output/AudioStreamFormat.h"
#include "output/SAudioClient.h"
#include "output/SAudioDeviceEnumerator.h"
#include "output/SAudioEndpoint.h"
#include "output/SAudioEndpointCollection.h"
#include "runtime/TextConversion.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace
{
constexpr int EXIT_LISTED = 0;
constexpr int EXIT_USAGE = 1;
constexpr int EXIT_NO_AUDIO = 2;
constexpr uint32_t PROBED_BITS[] = {32, 24, 16};
const char* const USAGE = "Usage: larkspur-cli devices [--probe]\n";

struct EndpointLine
{
    int32_t iIndex;
    std::string Name;
    std::string Id;
    std::unique_ptr<SAudioEndpoint> pEndpoint;
};

// Characters, not bytes, so that names outside ASCII line up.
size_t DisplayWidth(const std::string& Text)
{
    return static_cast<size_t>(std::count_if(
        Text.begin(), Text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

std::string PadRight(const std::string& Text, size_t ullWidth)
{
    const size_t ullShown = DisplayWidth(Text);
    return Text + std::string(ullShown < ullWidth ? ullWidth - ullShown : 0, ' ');
}

std::string PadLeft(const std::string& Text, size_t ullWidth)
{
    return std::string(Text.size() < ullWidth ? ullWidth - Text.size() : 0, ' ') + Text;
}

EndpointLine Describe(int32_t iIndex, std::unique_ptr<SAudioEndpoint> pEndpoint)
{
    EndpointLine Line{iIndex, "Unknown", "", std::move(pEndpoint)};
    std::u16string Name;
    int32_t bIsText = 0;
    if (Line.pEndpoint->GetFriendlyName(Name, bIsText) >= 0 && bIsText != 0)
    {
        Line.Name = WideToUtf8(Name);
    }
    std::u16string Id;
    if (Line.pEndpoint->GetId(Id) >= 0)
    {
        Line.Id = WideToUtf8(Id);
    }
    return Line;
}

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

void PrintProbe(EndpointLine& Line, std::ostream& Out)
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
    Out << Indent << PadRight("rate", RATE_WIDTH) << PadRight("exclusive", MODE_WIDTH) << "shared\n";
    for (uint32_t i = 0; i < RateTable::COUNT; ++i)
    {
        const uint32_t uiRate = RateTable::Hz(i);
        Out << Indent << PadRight(WideToUtf8(RateTable::TEXTS[i]), RATE_WIDTH)
            << PadRight(ProbeCell(*pClient, AUDIO_SHAREMODE_EXCLUSIVE, uiRate), MODE_WIDTH)
            << ProbeCell(*pClient, AUDIO_SHAREMODE_SHARED, uiRate) << '\n';
    }
}
} // namespace

int RunDevicesCommand(const std::vector<std::string>& Arguments, std::ostream& Out, std::ostream& Error)
{
    bool bProbe = false;
    for (const std::string& Argument : Arguments)
    {
        if (Argument != "--probe")
        {
            Error << USAGE;
            return EXIT_USAGE;
        }
        bProbe = true;
    }
    std::unique_ptr<SAudioClientLayer> pLayer;
    std::string Description;
    if (SelectAudioLayerFromEnvironment(pLayer, Description) < 0 || pLayer == nullptr)
    {
        Error << "larkspur-cli: " << Description << '\n';
        return EXIT_NO_AUDIO;
    }
    const bool bThread = pLayer->InitializeThread() >= 0;
    std::unique_ptr<SAudioDeviceEnumerator> pEnumerator;
    if (pLayer->CreateDeviceEnumerator(pEnumerator) < 0 || pEnumerator == nullptr)
    {
        Error << "larkspur-cli: the audio system lists no devices\n";
        if (bThread)
        {
            pLayer->UninitializeThread();
        }
        return EXIT_NO_AUDIO;
    }

    // The default endpoint first, as index -1, then the endpoints in the order the player numbers them.
    std::vector<EndpointLine> Lines;
    std::unique_ptr<SAudioEndpoint> pDefault;
    if (pEnumerator->GetDefaultAudioEndpoint(pDefault) >= 0 && pDefault != nullptr)
    {
        Lines.push_back(Describe(-1, std::move(pDefault)));
    }
    std::unique_ptr<SAudioEndpointCollection> pCollection;
    uint32_t uiCount = 0;
    if (pEnumerator->EnumAudioEndpoints(pCollection) >= 0 && pCollection != nullptr &&
        pCollection->GetCount(&uiCount) >= 0)
    {
        for (uint32_t i = 0; i < uiCount; ++i)
        {
            std::unique_ptr<SAudioEndpoint> pEndpoint;
            if (pCollection->Item(i, pEndpoint) >= 0 && pEndpoint != nullptr)
            {
                Lines.push_back(Describe(static_cast<int32_t>(i), std::move(pEndpoint)));
            }
        }
    }

    size_t ullNameWidth = 4;
    for (const EndpointLine& Line : Lines)
    {
        ullNameWidth = std::max(ullNameWidth, DisplayWidth(Line.Name));
    }
    Out << "Output devices (" << Description << "):\n";
    Out << PadLeft("index", 7) << "  " << PadRight("name", ullNameWidth) << "  identifier\n";
    for (EndpointLine& Line : Lines)
    {
        Out << PadLeft(std::to_string(Line.iIndex), 7) << "  " << PadRight(Line.Name, ullNameWidth) << "  "
            << Line.Id << '\n';
        if (bProbe)
        {
            PrintProbe(Line, Out);
        }
    }
    Lines.clear();
    pCollection.reset();
    pEnumerator.reset();
    if (bThread)
    {
        pLayer->UninitializeThread();
    }
    return EXIT_LISTED;
}
