#include "output/CSoundStreamWASAPI.h"
#include "output/EnumerateOutputDevices.h"
#include "output/SAudioEndpointCollection.h"
#include "tests/common/LayerEndpoints.h"
#include "tests/wasapi/RawEndpoint.h"
#include "tests/wasapi/TestSink.h"

#include <gtest/gtest.h>

#include <set>

using WasapiEndpointTest = TestSinkFixture;

TEST_F(WasapiEndpointTest, TheDeviceListNamesTheSinkAndEveryEndpointHasItsOwnIdentifier)
{
    std::vector<std::u16string> Names;
    ASSERT_EQ(EnumerateOutputDevices(&Layer, Names), 1);
    ASSERT_LT(static_cast<size_t>(iSinkIndex), Names.size());
    EXPECT_EQ(Names[iSinkIndex], Sink.Name);

    CSoundStreamWASAPI Stream(&Layer);
    std::set<std::u16string> Ids;
    for (int32_t i = 0; i < static_cast<int32_t>(Names.size()); ++i)
    {
        std::unique_ptr<SAudioEndpoint> pEndpoint;
        ASSERT_EQ(Stream.GetAudioEndpoint(i, pEndpoint), 1);
        std::u16string Id;
        ASSERT_GE(pEndpoint->GetId(Id), 0);
        EXPECT_FALSE(Id.empty());
        Ids.insert(Id);
        // The identifier leads the platform back to the same endpoint.
        EXPECT_TRUE(RawEndpoint(Id)) << i;
    }
    EXPECT_EQ(Ids.size(), Names.size());
}

TEST_F(WasapiEndpointTest, TheDefaultEndpointResolvesAndOpensAClient)
{
    CSoundStreamWASAPI Stream(&Layer);
    std::unique_ptr<SAudioEndpoint> pEndpoint;
    ASSERT_EQ(Stream.GetAudioEndpoint(-1, pEndpoint), 1);
    std::u16string Name;
    int32_t bIsText = 0;
    ASSERT_GE(pEndpoint->GetFriendlyName(Name, bIsText), 0);
    EXPECT_EQ(bIsText, 1);
    EXPECT_FALSE(Name.empty());
    std::unique_ptr<SAudioClient> pClient;
    ASSERT_GE(pEndpoint->Activate(pClient), 0);
    int64_t hnsDefault = 0;
    int64_t hnsMinimum = 0;
    ASSERT_GE(pClient->GetDevicePeriod(&hnsDefault, &hnsMinimum), 0);
    EXPECT_GT(hnsMinimum, 0);
    EXPECT_GE(hnsDefault, hnsMinimum);
}

TEST_F(WasapiEndpointTest, AnIndexPastTheEndIsRefusedWithThePlatformsOwnResult)
{
    const std::unique_ptr<SAudioEndpointCollection> pCollection = LayerEndpoints::Collection(Layer);
    ASSERT_NE(pCollection, nullptr);
    uint32_t uiCount = 0;
    ASSERT_GE(pCollection->GetCount(&uiCount), 0);

    ComPointer<IMMDeviceCollection> pRaw;
    ASSERT_GE(RawEnumerator()->EnumAudioEndpoints(eRender, DEVICE_STATE_ACTIVE, pRaw.Receive()), 0);
    ComPointer<IMMDevice> pNone;
    const HRESULT hRaw = pRaw->Item(uiCount, pNone.Receive());
    ASSERT_LT(hRaw, 0);

    std::unique_ptr<SAudioEndpoint> pEndpoint;
    EXPECT_EQ(pCollection->Item(uiCount, pEndpoint), hRaw);
    EXPECT_EQ(pEndpoint, nullptr);
    CSoundStreamWASAPI Stream(&Layer);
    EXPECT_EQ(Stream.GetAudioEndpoint(static_cast<int32_t>(uiCount), pEndpoint), -1);
}
