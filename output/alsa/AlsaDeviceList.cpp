#include "output/alsa/AlsaDeviceList.h"

#include "output/alsa/AlsaHandles.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <string_view>

namespace
{
constexpr char DEFAULT_DEVICE[] = "default";

// Plug-in types that hand the samples to another program (a sound server, a Bluetooth daemon, a
// kernel emulation): never exclusive, and not even opened to find a card behind them, since that
// connects to the server (or, with none running, can be loud).
constexpr std::array<std::string_view, 5> SERVER_TYPES = {"pulse", "pipewire", "jack", "oss", "bluealsa"};
// Plug-in types that are no output of their own: rate and format converters, channel mixers,
// filters, sinks that play nothing, capture sharers. Routes to a server are not listed either: with one
// running its sinks are listed by themselves, and one that is absent is no output.
constexpr std::array<std::string_view, 18> UNLISTED_TYPES = {
    "rate",  "route", "linear", "lfloat",   "mulaw", "alaw", "adpcm", "iec958", "ladspa",
    "equal", "meter", "upmix",  "vdownmix", "speex", "a52",  "null",  "file",   "dsnoop"};
// Types that mix or convert the samples on their way to the hardware: shared only.
constexpr std::array<std::string_view, 7> MIXING_TYPES = {"plug",  "dmix",  "dshare", "softvol",
                                                          "multi", "share", "shm"};

bool IsOneOf(std::string_view Type, const auto& Types)
{
    return std::find(Types.begin(), Types.end(), Type) != Types.end();
}

// Hint names that stand for a card's device under another route (conversion, mixing, channel
// maps, digital outputs): the hardware device is listed already.
constexpr std::array<std::string_view, 22> PER_CARD_VARIANTS = {
    "hw",         "plughw",     "sysdefault", "front",      "rear",       "center_lfe", "side",  "surround21",
    "surround40", "surround41", "surround50", "surround51", "surround71", "iec958",     "spdif", "hdmi",
    "dmix",       "dsnoop",     "usbstream",  "default",    "plug",       "shm"};

// One line of a hint: the text up to its first line break.
std::string FirstLine(const char* pText)
{
    const std::string Text = pText != nullptr ? pText : "";
    return Text.substr(0, Text.find('\n'));
}

void AppendCardDevices(int iCard, std::vector<AlsaEndpointInfo>& Endpoints)
{
    AlsaCtlHandle Ctl;
    {
        snd_ctl_t* pCtl = nullptr;
        const std::string CtlName = "hw:" + std::to_string(iCard);
        if (snd_ctl_open(&pCtl, CtlName.c_str(), 0) < 0)
        {
            return;
        }
        Ctl.reset(pCtl);
    }
    AlsaCardInfo CardInfo = MakeAlsaCardInfo();
    AlsaPcmInfo PcmInfo = MakeAlsaPcmInfo();
    if (CardInfo == nullptr || PcmInfo == nullptr || snd_ctl_card_info(Ctl.get(), CardInfo.get()) < 0)
    {
        return;
    }
    const std::string CardId = snd_ctl_card_info_get_id(CardInfo.get());
    const std::string CardName = snd_ctl_card_info_get_name(CardInfo.get());
    int iDevice = -1;
    while (snd_ctl_pcm_next_device(Ctl.get(), &iDevice) >= 0 && iDevice >= 0)
    {
        snd_pcm_info_set_device(PcmInfo.get(), static_cast<unsigned int>(iDevice));
        snd_pcm_info_set_subdevice(PcmInfo.get(), 0);
        snd_pcm_info_set_stream(PcmInfo.get(), SND_PCM_STREAM_PLAYBACK);
        if (snd_ctl_pcm_info(Ctl.get(), PcmInfo.get()) < 0)
        {
            continue; // a capture-only device
        }
        const std::string DeviceName = snd_pcm_info_get_name(PcmInfo.get());
        AlsaEndpointInfo Endpoint;
        Endpoint.Type = AlsaEndpointInfo::Kind::Hardware;
        Endpoint.Id = "hw:CARD=" + CardId + ",DEV=" + std::to_string(iDevice);
        Endpoint.iCard = iCard;
        Endpoint.iDevice = iDevice;
        // What the card listing shows: the card's name and the device's.
        if (CardName.empty() || DeviceName.empty())
        {
            Endpoint.Name = CardName + DeviceName;
        }
        else
        {
            Endpoint.Name = CardName + ": " + DeviceName;
        }
        Endpoints.push_back(std::move(Endpoint));
    }
}

// True when the PCM opens for playback now, or is only busy: a route to a device or a server that
// is absent fails.
bool OpensNow(const char* pName)
{
    snd_pcm_t* pPcm = nullptr;
    const int iError = snd_pcm_open(&pPcm, pName, SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
    if (iError < 0)
    {
        return iError == -EBUSY || iError == -EAGAIN;
    }
    snd_pcm_close(pPcm);
    return true;
}

void AppendHintedDevices(std::vector<AlsaEndpointInfo>& Endpoints)
{
    AlsaHints Hints;
    {
        void** ppHints = nullptr;
        if (snd_device_name_hint(-1, "pcm", &ppHints) < 0 || ppHints == nullptr)
        {
            return;
        }
        Hints.reset(ppHints);
    }
    for (void** ppHint = Hints.get(); *ppHint != nullptr; ++ppHint)
    {
        const AlsaText Name(snd_device_name_get_hint(*ppHint, "NAME"));
        const AlsaText Description(snd_device_name_get_hint(*ppHint, "DESC"));
        const AlsaText Direction(snd_device_name_get_hint(*ppHint, "IOID"));
        if (Name == nullptr || !IsListedHint(Name.get(), Direction != nullptr ? Direction.get() : "") ||
            IsUnlistedPcmType(AlsaPcmTypeOf(Name.get())) || !OpensNow(Name.get()))
        {
            continue;
        }
        AlsaEndpointInfo Endpoint;
        Endpoint.Type = AlsaEndpointInfo::Kind::Hinted;
        Endpoint.Id = Name.get();
        Endpoint.Name = Description != nullptr ? FirstLine(Description.get()) : Endpoint.Id;
        Endpoints.push_back(std::move(Endpoint));
    }
}
} // namespace

bool IsListedHint(const std::string& Name, const std::string& Direction)
{
    if (Name.empty() || Direction == "Input")
    {
        return false;
    }
    const std::string_view Base = std::string_view(Name).substr(0, Name.find(':'));
    if (std::find(PER_CARD_VARIANTS.begin(), PER_CARD_VARIANTS.end(), Base) != PER_CARD_VARIANTS.end())
    {
        return false;
    }
    // Any other route onto one card is a variant of that card's device too.
    return Name.find("CARD=") == std::string::npos;
}

bool IsUnlistedPcmType(const std::string& Type)
{
    return IsOneOf(Type, UNLISTED_TYPES) || (IsOneOf(Type, SERVER_TYPES) && Type != "bluealsa");
}

bool IsServerPcmType(const std::string& Type)
{
    return IsOneOf(Type, SERVER_TYPES);
}

bool IsSharedOnlyPcmType(const std::string& Type)
{
    return IsOneOf(Type, SERVER_TYPES) || IsOneOf(Type, UNLISTED_TYPES) || IsOneOf(Type, MIXING_TYPES);
}

std::string AlsaPcmTypeOf(const std::string& Name)
{
    snd_config_t* pTop = nullptr;
    if (snd_config_update_ref(&pTop) < 0 || pTop == nullptr)
    {
        return {};
    }
    std::string Type;
    snd_config_t* pDefinition = nullptr;
    if (snd_config_search_definition(pTop, "pcm", Name.c_str(), &pDefinition) >= 0)
    {
        snd_config_t* pType = nullptr;
        const char* pText = nullptr;
        if (snd_config_search(pDefinition, "type", &pType) >= 0 &&
            snd_config_get_string(pType, &pText) >= 0 && pText != nullptr)
        {
            Type = pText;
        }
        snd_config_delete(pDefinition);
    }
    snd_config_unref(pTop);
    return Type;
}

int32_t ListAlsaCardDevices(std::vector<AlsaEndpointInfo>& Endpoints)
{
    Endpoints.clear();
    int iCard = -1;
    while (snd_card_next(&iCard) >= 0 && iCard >= 0)
    {
        AppendCardDevices(iCard, Endpoints);
    }
    return 1;
}

int32_t ListAlsaConfiguredOutputs(std::vector<AlsaEndpointInfo>& Endpoints)
{
    Endpoints.clear();
    AppendHintedDevices(Endpoints);
    return 1;
}

int32_t ListAlsaEndpoints(std::vector<AlsaEndpointInfo>& Endpoints)
{
    ListAlsaCardDevices(Endpoints);
    std::vector<AlsaEndpointInfo> Configured;
    ListAlsaConfiguredOutputs(Configured);
    for (AlsaEndpointInfo& Endpoint : Configured)
    {
        const bool bListed =
            std::any_of(Endpoints.begin(), Endpoints.end(),
                        [&](const AlsaEndpointInfo& Other) { return Other.Id == Endpoint.Id; });
        if (!bListed)
        {
            Endpoints.push_back(std::move(Endpoint));
        }
    }
    return 1;
}

AlsaEndpointInfo DefaultAlsaEndpoint()
{
    AlsaEndpointInfo Endpoint;
    Endpoint.Type = AlsaEndpointInfo::Kind::Default;
    Endpoint.Id = DEFAULT_DEVICE;
    Endpoint.Name = "Default output";
    return Endpoint;
}

int32_t ExclusivePathFor(const AlsaEndpointInfo& Endpoint, std::string& Path)
{
    Path.clear();
    if (Endpoint.Type != AlsaEndpointInfo::Kind::Default)
    {
        Path = Endpoint.Id;
        return 1;
    }
    // Which card and device "default" plays on, if it is a card's device at all: ALSA reports the
    // hardware below plug and mixing layers; a sound server or a plugin reports no card. A route to
    // a server is not even opened: that would connect to it.
    const std::string DefaultType = AlsaPcmTypeOf(DEFAULT_DEVICE);
    if (DefaultType.empty() || IsServerPcmType(DefaultType) || IsUnlistedPcmType(DefaultType))
    {
        return -1;
    }
    AlsaPcmHandle Pcm;
    {
        snd_pcm_t* pPcm = nullptr;
        if (snd_pcm_open(&pPcm, DEFAULT_DEVICE, SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0)
        {
            return -1;
        }
        Pcm.reset(pPcm);
    }
    AlsaPcmInfo Info = MakeAlsaPcmInfo();
    if (Info == nullptr || snd_pcm_info(Pcm.get(), Info.get()) < 0 || snd_pcm_info_get_card(Info.get()) < 0)
    {
        return -1;
    }
    const int iCard = snd_pcm_info_get_card(Info.get());
    const unsigned int uiDevice = snd_pcm_info_get_device(Info.get());
    Pcm.reset();
    AlsaCtlHandle Ctl;
    {
        snd_ctl_t* pCtl = nullptr;
        const std::string CtlName = "hw:" + std::to_string(iCard);
        if (snd_ctl_open(&pCtl, CtlName.c_str(), 0) < 0)
        {
            return -1;
        }
        Ctl.reset(pCtl);
    }
    AlsaCardInfo CardInfo = MakeAlsaCardInfo();
    if (CardInfo == nullptr || snd_ctl_card_info(Ctl.get(), CardInfo.get()) < 0)
    {
        return -1;
    }
    Path = std::string("hw:CARD=") + snd_ctl_card_info_get_id(CardInfo.get()) +
           ",DEV=" + std::to_string(uiDevice);
    return 1;
}

std::string SharedPathFor(const AlsaEndpointInfo& Endpoint)
{
    switch (Endpoint.Type)
    {
    case AlsaEndpointInfo::Kind::Hardware:
        // The card's mixing device, with conversion in front of it: dmix only takes its own format.
        return "plug:\"dmix:" + Endpoint.Id.substr(Endpoint.Id.find(':') + 1) + "\"";
    case AlsaEndpointInfo::Kind::Default:
    case AlsaEndpointInfo::Kind::Hinted:
    default:
        // Usually a sound server or a converting path already; if not, this one converts.
        return "plug:\"" + Endpoint.Id + "\"";
    }
}
