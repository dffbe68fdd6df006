#include "output/AudioClientConstants.h"
#include "output/EnumerateOutputDevices.h"
#include "output/SAudioDeviceEnumerator.h"
#include "output/SAudioEndpointCollection.h"
#include "output/alsa/AlsaDeviceList.h"
#include "output/alsa/AlsaPcmStream.h"
#include "output/alsa/CAlsaAudioLayer.h"
#include "tests/alsa/AlsaTestSetup.h"
#include "tests/common/LayerEndpoints.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// The machine running the tests has no sound card, so what is listed comes from the written
// configuration alone: its hinted playback PCMs in the configuration's order, each by the first
// line of its description, without PCMs the configuration does not show, per-card variants and
// "default", which is index -1.
TEST(AlsaEndpoints, ListsTheHintedPlaybackPcmsOfTheConfigurationInItsOrder)
{
    const std::string LongName(70, 'x');
    AlsaTestSetup::Write(
        {
            TestDeviceProfile("zeta_out", "Zeta output\nsecond line of the description"),
            TestDeviceProfile("alpha_out", LongName, "Output"),
            TestDeviceProfile("unhinted"),
            TestDeviceProfile("odd_name", "Caf\xE9 output"),
        },
        "pcm.!default { type plug slave.pcm \"zeta_out\" hint { show on description \"Default\" } }\n"
        "pcm.!front { @args [ CARD ] @args.CARD { type string } type null hint { show on description "
        "\"Front speakers\" } }\n");
    CAlsaAudioLayer Layer;
    const std::vector<LayerEndpoints::Entry> Endpoints = LayerEndpoints::List(Layer);
    ASSERT_EQ(LayerEndpoints::Ids(Endpoints),
              (std::vector<std::u16string>{u"zeta_out", u"alpha_out", u"odd_name"}));
    EXPECT_EQ(Endpoints[0].Name, u"Zeta output");
    EXPECT_EQ(Endpoints[2].bIsText, 0);

    // The device list shows what the player's list would: names cut to 63 characters, odd ones as
    // "Unknown".
    std::vector<std::u16string> Names;
    ASSERT_EQ(EnumerateOutputDevices(&Layer, Names), 1);
    ASSERT_EQ(Names.size(), 3u);
    EXPECT_EQ(Names[1], std::u16string(63, u'x'));
    EXPECT_EQ(Names[2], u"Unknown");

    // Listing twice gives the same order.
    EXPECT_EQ(LayerEndpoints::Ids(LayerEndpoints::List(Layer)), LayerEndpoints::Ids(Endpoints));

    std::unique_ptr<SAudioDeviceEnumerator> pEnumerator;
    std::unique_ptr<SAudioEndpoint> pDefault;
    std::u16string DefaultId;
    ASSERT_GE(Layer.CreateDeviceEnumerator(pEnumerator), 0);
    ASSERT_GE(pEnumerator->GetDefaultAudioEndpoint(pDefault), 0);
    ASSERT_GE(pDefault->GetId(DefaultId), 0);
    EXPECT_EQ(DefaultId, u"default");
}

TEST(AlsaEndpoints, PerCardVariantsAndCaptureOnlyHintsAreNotListedBySelf)
{
    for (const char* pName :
         {"hw:CARD=PCH,DEV=0", "plughw:CARD=PCH,DEV=0", "sysdefault:CARD=PCH", "front:CARD=PCH,DEV=0",
          "surround51:CARD=PCH,DEV=0", "dmix:CARD=PCH,DEV=0", "dsnoop:CARD=PCH,DEV=0", "hdmi:CARD=HDMI,DEV=3",
          "iec958:CARD=PCH,DEV=0", "default", "mixer:CARD=PCH"})
    {
        EXPECT_FALSE(IsListedHint(pName, "")) << pName;
    }
    EXPECT_FALSE(IsListedHint("bluealsa", "Input"));
    EXPECT_TRUE(IsListedHint("bluealsa:DEV=00:11:22:33:44:55,PROFILE=a2dp", ""));
    EXPECT_TRUE(IsListedHint("my_mix", "Output"));
}

// Only what leads to an output of its own is listed: an alias of the device is, while a rate
// converter, an upmix, a null sink, routes to sound servers and an alias of an absent card are
// not. Listing and probing print nothing of ALSA's own. A route to a server never opens in
// exclusive mode, nor does a converting alias; the device itself does.
TEST(AlsaEndpoints, OnlyOutputsAreListedAndOnlyDevicesOfTheirOwnAreExclusive)
{
    const auto Hinted = [](const char* pName, const std::string& Body)
    {
        return std::string("pcm.") + pName + " { " + Body + " hint { show on description \"" + pName +
               "\" } }\n";
    };
    AlsaTestSetup::Write({TestDeviceProfile("real_dev")},
                         Hinted("my_rate", "type rate slave { pcm \"real_dev\" rate 48000 }") +
                             Hinted("my_upmix", "type upmix slave.pcm \"real_dev\"") +
                             Hinted("my_null", "type null") +
                             Hinted("my_pulse", "type pulse server \"unix:/nonexistent\"") +
                             Hinted("my_jack", "type jack playback_ports { 0 system:playback_1 }") +
                             Hinted("my_absent", "type plug slave.pcm \"hw:CARD=Absent,DEV=0\"") +
                             Hinted("my_alias", "type plug slave.pcm \"real_dev\""));
    CAlsaAudioLayer Layer;
    testing::internal::CaptureStderr();
    const std::vector<LayerEndpoints::Entry> Endpoints = LayerEndpoints::List(Layer);
    const auto Probe = [](const char* pName)
    {
        AlsaEndpointInfo Info;
        Info.Type = AlsaEndpointInfo::Kind::Hinted;
        Info.Id = pName;
        const std::unique_ptr<SAudioEndpoint> pEndpoint = AlsaPcmStream::MakeEndpoint(Info);
        std::unique_ptr<SAudioClient> pClient;
        EXPECT_GE(pEndpoint->Activate(pClient), 0);
        const AudioStreamFormat Format = MakeStereoPcmFormat(48000, 16);
        return pClient->IsFormatSupported(AUDIO_SHAREMODE_EXCLUSIVE, &Format, nullptr);
    };
    EXPECT_EQ(Probe("my_pulse"), AUDIO_E_UNSUPPORTED_FORMAT);
    EXPECT_EQ(Probe("my_alias"), AUDIO_E_UNSUPPORTED_FORMAT);
    EXPECT_EQ(Probe("real_dev"), AUDIO_OK);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    ASSERT_EQ(LayerEndpoints::Ids(Endpoints), std::vector<std::u16string>{u"my_alias"});
    for (const char* pType : {"rate", "upmix", "null", "pulse", "pipewire", "jack", "oss"})
    {
        EXPECT_TRUE(IsUnlistedPcmType(pType)) << pType;
        EXPECT_TRUE(IsSharedOnlyPcmType(pType)) << pType;
    }
    EXPECT_FALSE(IsUnlistedPcmType("bluealsa"));
    EXPECT_TRUE(IsSharedOnlyPcmType("bluealsa"));
}

// Shared mode reaches a card's device through its mixing device, "default" and a hinted PCM
// directly, with conversion in front of each.
TEST(AlsaEndpoints, SharedAndExclusivePathsOfEachKindOfEndpoint)
{
    AlsaEndpointInfo Card;
    Card.Type = AlsaEndpointInfo::Kind::Hardware;
    Card.Id = "hw:CARD=PCH,DEV=3";
    std::string Path;
    EXPECT_EQ(ExclusivePathFor(Card, Path), 1);
    EXPECT_EQ(Path, "hw:CARD=PCH,DEV=3");
    EXPECT_EQ(SharedPathFor(Card), "plug:\"dmix:CARD=PCH,DEV=3\"");

    AlsaEndpointInfo Hinted;
    Hinted.Type = AlsaEndpointInfo::Kind::Hinted;
    Hinted.Id = "pulse";
    EXPECT_EQ(ExclusivePathFor(Hinted, Path), 1);
    EXPECT_EQ(Path, "pulse");
    EXPECT_EQ(SharedPathFor(Hinted), "plug:\"pulse\"");

    // "default" on a plugin has no card behind it: exclusive mode has nothing to open.
    AlsaTestSetup::Write({TestDeviceProfile("plain", "Plain")}, "pcm.!default \"plain\"\n");
    EXPECT_LT(ExclusivePathFor(DefaultAlsaEndpoint(), Path), 0);
    EXPECT_EQ(SharedPathFor(DefaultAlsaEndpoint()), "plug:\"default\"");
}
