#include "output/linux/CLinuxAudioLayer.h"

#include "output/AudioClientConstants.h"
#include "output/CEndpointEnumerator.h"
#include "output/CreatePlatformAudioLayer.h"
#include "output/alsa/AlsaDeviceList.h"
#include "output/alsa/AlsaPcmStream.h"
#include "output/alsa/CAlsaAudioLayer.h"
#include "output/linux/LinuxSinkStream.h"

#include <algorithm>
#include <optional>
#include <utility>

namespace
{
// One listed output: a sink of the sound server (with the card's device behind it, when it has
// one, for exclusive mode), or an ALSA endpoint of its own.
struct LinuxEndpointEntry
{
    std::optional<PulseSinkInfo> Sink;
    // The ALSA endpoint itself, or the hardware behind the sink.
    std::optional<AlsaEndpointInfo> Alsa;
};

std::unique_ptr<SAudioEndpoint> MakeLinuxEndpoint(const std::shared_ptr<PulseServerConnection>& pConnection,
                                                  const LinuxEndpointEntry& Entry)
{
    if (Entry.Sink.has_value())
    {
        return LinuxSinkStream::MakeEndpoint(pConnection, *Entry.Sink, Entry.Alsa);
    }
    return AlsaPcmStream::MakeEndpoint(*Entry.Alsa);
}

// The card's device a sink plays on, when the card listing has it.
std::optional<AlsaEndpointInfo> HardwareOf(const PulseSinkInfo& Sink,
                                           const std::vector<AlsaEndpointInfo>& Cards)
{
    const auto Found =
        std::find_if(Cards.begin(), Cards.end(),
                     [&Sink](const AlsaEndpointInfo& Card)
                     { return Card.iCard == Sink.iAlsaCard && Card.iDevice == Sink.iAlsaDevice; });
    if (Sink.iAlsaCard < 0 || Found == Cards.end())
    {
        return std::nullopt;
    }
    return *Found;
}
// The list as the enumeration gives it: the server's sinks when pConnection is set, the cards'
// devices no sink plays on, the configuration's outputs. Negative only when the server went away
// while it was asked.
int32_t ListEndpoints(PulseServerConnection* pConnection, std::vector<AlsaEndpointInfo> Configured,
                      std::vector<LinuxEndpointEntry>& Entries)
{
    Entries.clear();
    std::vector<AlsaEndpointInfo> Cards;
    ListAlsaCardDevices(Cards);
    std::vector<PulseSinkInfo> Sinks;
    if (pConnection != nullptr)
    {
        const int32_t iListed = pConnection->ListSinks(Sinks);
        if (iListed < 0)
        {
            return iListed;
        }
    }
    for (PulseSinkInfo& Sink : Sinks)
    {
        std::optional<AlsaEndpointInfo> Hardware = HardwareOf(Sink, Cards);
        Entries.push_back({std::move(Sink), std::move(Hardware)});
    }
    // A card's device that a sink plays on is reached through that sink.
    std::erase_if(Cards,
                  [&Entries](const AlsaEndpointInfo& Card)
                  {
                      return std::any_of(Entries.begin(), Entries.end(),
                                         [&Card](const LinuxEndpointEntry& Entry)
                                         { return Entry.Alsa && Entry.Alsa->Id == Card.Id; });
                  });
    for (std::vector<AlsaEndpointInfo>* pGroup : {&Cards, &Configured})
    {
        for (AlsaEndpointInfo& Endpoint : *pGroup)
        {
            const bool bListed =
                std::any_of(Entries.begin(), Entries.end(),
                            [&Endpoint](const LinuxEndpointEntry& Entry)
                            { return !Entry.Sink && Entry.Alsa && Entry.Alsa->Id == Endpoint.Id; });
            if (!bListed)
            {
                Entries.push_back({std::nullopt, std::move(Endpoint)});
            }
        }
    }
    return AUDIO_OK;
}

// The server's default sink; ALSA's default without a server.
int32_t FindDefaultEndpoint(const std::shared_ptr<PulseServerConnection>& pServer,
                            std::unique_ptr<SAudioEndpoint>& pEndpoint)
{
    pEndpoint.reset();
    if (pServer != nullptr)
    {
        PulseSinkInfo Sink;
        const int32_t iDefault = pServer->GetDefaultSink(Sink);
        if (iDefault == AUDIO_E_NOTFOUND)
        {
            return iDefault; // a server without a sink: nothing plays by default
        }
        if (iDefault >= 0)
        {
            std::vector<AlsaEndpointInfo> Cards;
            ListAlsaCardDevices(Cards);
            std::optional<AlsaEndpointInfo> Hardware = HardwareOf(Sink, Cards);
            pEndpoint = MakeLinuxEndpoint(pServer, {std::move(Sink), std::move(Hardware)});
            return AUDIO_OK;
        }
        // The server went away just now: ALSA's default as without one.
    }
    pEndpoint = AlsaPcmStream::MakeEndpoint(DefaultAlsaEndpoint());
    return AUDIO_OK;
}

// The endpoints as they are now; ALSA's alone when the server has gone since it was asked.
std::vector<CEndpointCollection::EndpointMaker>
ListActiveEndpoints(const std::shared_ptr<PulseServerConnection>& pServer)
{
    std::vector<LinuxEndpointEntry> Entries;
    std::vector<AlsaEndpointInfo> Configured;
    ListAlsaConfiguredOutputs(Configured);
    if (ListEndpoints(pServer.get(), Configured, Entries) < 0)
    {
        ListEndpoints(nullptr, Configured, Entries);
    }
    std::vector<CEndpointCollection::EndpointMaker> Items;
    for (LinuxEndpointEntry& Entry : Entries)
    {
        Items.push_back([pConnection = pServer, Listed = std::move(Entry)]
                        { return MakeLinuxEndpoint(pConnection, Listed); });
    }
    return Items;
}
} // namespace

CLinuxAudioLayer::CLinuxAudioLayer()
{
    CAlsaAudioLayer::QuietErrorOutput();
}

// Neither library needs per-thread set-up.
int32_t CLinuxAudioLayer::InitializeThread()
{
    return AUDIO_OK;
}

void CLinuxAudioLayer::UninitializeThread() {}

std::shared_ptr<PulseServerConnection> CLinuxAudioLayer::ServerConnection()
{
    std::lock_guard<std::mutex> Lock(Mutex);
    if (pConnection != nullptr && pConnection->IsConnected())
    {
        return pConnection;
    }
    PulseServerConnection::Connect(pConnection);
    return pConnection;
}

int32_t CLinuxAudioLayer::CreateDeviceEnumerator(std::unique_ptr<SAudioDeviceEnumerator>& pEnumerator)
{
    std::shared_ptr<PulseServerConnection> pServer = ServerConnection();
    pEnumerator = std::make_unique<CEndpointEnumerator>([pServer](std::unique_ptr<SAudioEndpoint>& pEndpoint)
                                                        { return FindDefaultEndpoint(pServer, pEndpoint); },
                                                        [pServer] { return ListActiveEndpoints(pServer); });
    return AUDIO_OK;
}

// The layer the programs use on this platform.
std::unique_ptr<SAudioClientLayer> CreatePlatformAudioLayer()
{
    return std::make_unique<CLinuxAudioLayer>();
}
