#include "output/EnumerateOutputDevices.h"
#include "output/AudioClientConstants.h"
#include "output/CSoundStreamWASAPI.h"
#include "tests/output/OutputTestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace
{
// Six endpoints: "Speakers", a name that is not text, a 70-character name, one that has gone, one
// whose name cannot be read, "Headphones".
struct EndpointSet
{
    EndpointSet()
    {
        const char16_t* pIds[] = {u"{a}", u"{b}", u"{c}", u"{d}", u"{e}", u"{f}"};
        for (const char16_t* pId : pIds)
        {
            auto pDevice = std::make_shared<VirtualAudioDevice>();
            pDevice->SetId(pId);
            pDevice->AcceptFormat(AUDIO_SHAREMODE_EXCLUSIVE, 48000, 32);
            Devices.push_back(pDevice);
            Layer.AddDevice(pDevice);
        }
        Devices[0]->SetFriendlyName(u"Speakers");
        Devices[1]->SetFriendlyNameNotText();
        Devices[2]->SetFriendlyName(LongName);
        Devices[3]->Vanish();
        Devices[4]->FailAfter(VirtualOperation::GetFriendlyName, 0);
        Devices[5]->SetFriendlyName(u"Headphones");
    }

    const std::u16string LongName = u"0123456789abcdefghij0123456789ABCDEFGHIJ0123456789abcdefghij0123456789";
    CVirtualAudioLayer Layer;
    std::vector<std::shared_ptr<VirtualAudioDevice>> Devices;
};

std::u16string IdOf(CSoundStreamWASAPI& Stream, int32_t iIndex)
{
    std::unique_ptr<SAudioEndpoint> pEndpoint;
    std::u16string Id;
    if (Stream.GetAudioEndpoint(iIndex, pEndpoint) != 1 || pEndpoint->GetId(Id) < 0)
    {
        return u"(none)";
    }
    return Id;
}
} // namespace

TEST(EnumerateOutputDevices, ListsTheActiveEndpointsInOrderWithTheirNamesCut)
{
    EndpointSet Set;
    std::vector<std::u16string> Names = {u"stale"};
    ASSERT_EQ(EnumerateOutputDevices(&Set.Layer, Names), 1);
    ASSERT_EQ(Set.LongName.size(), 70u);
    const std::vector<std::u16string> Expected = {u"Speakers", u"Unknown", Set.LongName.substr(0, 63),
                                                  u"Headphones"};
    EXPECT_EQ(Names, Expected);

    // Nothing to list is still a successful enumeration.
    CVirtualAudioLayer Empty;
    ASSERT_EQ(EnumerateOutputDevices(&Empty, Names), 1);
    EXPECT_TRUE(Names.empty());
}

TEST(EnumerateOutputDevices, AFailingEnumeratorOrEnumerationListsNothing)
{
    EndpointSet Set;
    std::vector<std::u16string> Names;
    Set.Layer.FailAfter(VirtualOperation::EnumAudioEndpoints, 0);
    EXPECT_EQ(EnumerateOutputDevices(&Set.Layer, Names), 0);
    EXPECT_TRUE(Names.empty());
    Set.Layer.Heal(VirtualOperation::EnumAudioEndpoints);
    Set.Layer.FailAfter(VirtualOperation::CreateDeviceEnumerator, 0);
    Names = {u"stale"};
    EXPECT_EQ(EnumerateOutputDevices(&Set.Layer, Names), 0);
    EXPECT_TRUE(Names.empty());
    EXPECT_EQ(EnumerateOutputDevices(nullptr, Names), 0);
}

TEST(EnumerateOutputDevices, EndpointsAreNumberedAsTheStreamOpensThem)
{
    EndpointSet Set;
    CSoundStreamWASAPI Stream(&Set.Layer);
    // Index k counts active endpoints, including the one whose name the list could not show.
    EXPECT_EQ(IdOf(Stream, 0), u"{a}");
    EXPECT_EQ(IdOf(Stream, 2), u"{c}");
    EXPECT_EQ(IdOf(Stream, 3), u"{e}");
    EXPECT_EQ(IdOf(Stream, 4), u"{f}");
    EXPECT_EQ(IdOf(Stream, 5), u"(none)");
    EXPECT_EQ(IdOf(Stream, -2), u"(none)");
    // The default endpoint: the first active one, unless one is chosen.
    EXPECT_EQ(IdOf(Stream, -1), u"{a}");
    Set.Layer.SetDefaultDevice(Set.Devices[5]);
    EXPECT_EQ(IdOf(Stream, -1), u"{f}");
    Set.Layer.SetDefaultDevice(Set.Devices[3]);
    EXPECT_EQ(IdOf(Stream, -1), u"(none)");

    double dfSeconds = 0.06;
    ASSERT_EQ(Stream.SetupDevice(48000, &dfSeconds, 1), 1);
    EXPECT_EQ(Set.Devices[1]->GetCallCount(VirtualOperation::Initialize), 1u);
    EXPECT_EQ(Set.Devices[0]->GetCallCount(VirtualOperation::Initialize), 0u);
}
