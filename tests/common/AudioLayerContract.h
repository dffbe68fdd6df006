#pragma once
// What the sound stream relies on from every audio-client layer, as one parameterised suite.
// Include this header in exactly one source file of a test executable and instantiate the suite
// there for the layers that executable can build:
//
//   INSTANTIATE_TEST_SUITE_P(Virtual, AudioLayerContract, ::testing::Values(MyTarget()),
//                            AudioLayerContractName);
#include "output/AudioClientConstants.h"
#include "output/AudioStreamFormat.h"
#include "output/SAudioClientLayer.h"
#include "tests/common/LayerEndpoints.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

// One layer under test, and one stereo PCM format its default endpoint takes in a share mode.
struct AudioLayerContractTarget
{
    std::string Name;
    std::function<std::unique_ptr<SAudioClientLayer>()> Create;
    uint32_t uiShareMode = AUDIO_SHAREMODE_SHARED;
    uint32_t uiRate = 48000;
    uint32_t uiBits = 16;
};

// A target on a layer of type Layer made with its default constructor, in shared mode.
template <class Layer>
AudioLayerContractTarget SharedLayerTarget(const std::string& Name, uint32_t uiRate, uint32_t uiBits)
{
    AudioLayerContractTarget Target;
    Target.Name = Name;
    Target.Create = [] { return std::unique_ptr<SAudioClientLayer>(std::make_unique<Layer>()); };
    Target.uiShareMode = AUDIO_SHAREMODE_SHARED;
    Target.uiRate = uiRate;
    Target.uiBits = uiBits;
    return Target;
}

inline std::string AudioLayerContractName(const ::testing::TestParamInfo<AudioLayerContractTarget>& Info)
{
    return Info.param.Name;
}

class AudioLayerContract : public ::testing::TestWithParam<AudioLayerContractTarget>
{
protected:
    void SetUp() override
    {
        pLayer = GetParam().Create();
        ASSERT_NE(pLayer, nullptr) << "the layer could not be made";
        ASSERT_GE(pLayer->InitializeThread(), 0);
        bThreadInitialized = true;
        ASSERT_GE(pLayer->CreateDeviceEnumerator(pEnumerator), 0);
        ASSERT_NE(pEnumerator, nullptr);
    }
    void TearDown() override
    {
        pEnumerator.reset();
        if (bThreadInitialized)
        {
            pLayer->UninitializeThread();
        }
    }

    std::vector<std::u16string> EnumerateIds()
    {
        std::vector<std::u16string> Ids;
        std::unique_ptr<SAudioEndpointCollection> pCollection;
        EXPECT_GE(pEnumerator->EnumAudioEndpoints(pCollection), 0);
        if (pCollection == nullptr)
        {
            return Ids;
        }
        const std::vector<LayerEndpoints::Entry> Endpoints = LayerEndpoints::Read(*pCollection);
        for (size_t i = 0; i < Endpoints.size(); ++i)
        {
            const LayerEndpoints::Entry& Endpoint = Endpoints[i];
            EXPECT_TRUE(Endpoint.bIsText == 1 || (Endpoint.bIsText == 0 && Endpoint.Name.empty())) << i;
            EXPECT_FALSE(Endpoint.Id.empty()) << i;
            Ids.push_back(Endpoint.Id);
        }
        return Ids;
    }

    // An audio client on the default endpoint.
    std::unique_ptr<SAudioClient> ActivateDefault()
    {
        std::unique_ptr<SAudioEndpoint> pEndpoint;
        EXPECT_GE(pEnumerator->GetDefaultAudioEndpoint(pEndpoint), 0);
        std::unique_ptr<SAudioClient> pClient;
        if (pEndpoint != nullptr)
        {
            EXPECT_GE(pEndpoint->Activate(pClient), 0);
        }
        return pClient;
    }

    std::unique_ptr<SAudioClientLayer> pLayer;
    std::unique_ptr<SAudioDeviceEnumerator> pEnumerator;
    bool bThreadInitialized = false;
};

// The device list and SetupDevice number endpoints by their place in the enumeration, so two
// enumerations must agree; the default endpoint must resolve and name itself.
TEST_P(AudioLayerContract, EnumerationIsStableAndTheDefaultEndpointResolves)
{
    const std::vector<std::u16string> First = EnumerateIds();
    EXPECT_EQ(EnumerateIds(), First);
    std::unique_ptr<SAudioEndpoint> pDefault;
    ASSERT_GE(pEnumerator->GetDefaultAudioEndpoint(pDefault), 0);
    ASSERT_NE(pDefault, nullptr);
    std::u16string Id;
    EXPECT_GE(pDefault->GetId(Id), 0);
    EXPECT_FALSE(Id.empty());
}

// The probe the stream makes for 32, 24 and 16 bits, and the argument rules it keeps to.
TEST_P(AudioLayerContract, FormatProbeAnswers)
{
    const AudioLayerContractTarget& Target = GetParam();
    std::unique_ptr<SAudioClient> pClient = ActivateDefault();
    ASSERT_NE(pClient, nullptr);
    int64_t hnsDefault = 0;
    int64_t hnsMinimum = 0;
    ASSERT_GE(pClient->GetDevicePeriod(&hnsDefault, &hnsMinimum), 0);
    EXPECT_GT(hnsMinimum, 0);
    EXPECT_GE(hnsDefault, hnsMinimum);

    const AudioStreamFormat Good = MakeStereoPcmFormat(Target.uiRate, Target.uiBits);
    AudioStreamFormat Closest{};
    const bool bShared = Target.uiShareMode == AUDIO_SHAREMODE_SHARED;
    EXPECT_EQ(pClient->IsFormatSupported(Target.uiShareMode, &Good, bShared ? &Closest : nullptr), AUDIO_OK);
    // Exclusive mode offers no closest match; shared mode must have somewhere to put one.
    EXPECT_LT(pClient->IsFormatSupported(AUDIO_SHAREMODE_EXCLUSIVE, &Good, &Closest), 0);
    EXPECT_LT(pClient->IsFormatSupported(AUDIO_SHAREMODE_SHARED, &Good, nullptr), 0);
    EXPECT_LT(pClient->IsFormatSupported(Target.uiShareMode, nullptr, bShared ? &Closest : nullptr), 0);
    // A format no device plays is never taken as it is.
    AudioStreamFormat Odd = Good;
    Odd.wBitsPerSample = 12;
    Odd.wValidBitsPerSample = 12;
    Odd.nBlockAlign = 3;
    Odd.nAvgBytesPerSec = Odd.nSamplesPerSec * 3;
    EXPECT_NE(pClient->IsFormatSupported(Target.uiShareMode, &Odd, bShared ? &Closest : nullptr), AUDIO_OK);
}

// Initialise, buffer size, padding, get/release, start and stop in the order the stream uses them,
// and the failures of a client that was never initialised.
TEST_P(AudioLayerContract, StreamLifecycle)
{
    const AudioLayerContractTarget& Target = GetParam();
    std::unique_ptr<SAudioClient> pClient = ActivateDefault();
    ASSERT_NE(pClient, nullptr);
    uint32_t uiFrames = 0;
    EXPECT_LT(pClient->GetBufferSize(&uiFrames), 0);
    EXPECT_LT(pClient->GetCurrentPadding(&uiFrames), 0);
    EXPECT_LT(pClient->Start(), 0);
    std::unique_ptr<SAudioRenderClient> pRender;
    EXPECT_LT(pClient->GetRenderClient(pRender), 0);

    const AudioStreamFormat Format = MakeStereoPcmFormat(Target.uiRate, Target.uiBits);
    const int64_t hnsBuffer = AUDIO_HNS_PER_SECOND * 6 / 100;
    ASSERT_GE(
        pClient->Initialize(Target.uiShareMode, AUDIO_STREAMFLAGS_NOPERSIST, hnsBuffer, hnsBuffer, &Format),
        0);
    EXPECT_LT(
        pClient->Initialize(Target.uiShareMode, AUDIO_STREAMFLAGS_NOPERSIST, hnsBuffer, hnsBuffer, &Format),
        0);
    uint32_t uiBufferFrames = 0;
    ASSERT_GE(pClient->GetBufferSize(&uiBufferFrames), 0);
    EXPECT_GT(uiBufferFrames, 0u);
    uint32_t uiPadding = 1;
    ASSERT_GE(pClient->GetCurrentPadding(&uiPadding), 0);
    EXPECT_EQ(uiPadding, 0u);
    ASSERT_GE(pClient->GetRenderClient(pRender), 0);
    ASSERT_NE(pRender, nullptr);

    // Pre-fill half the buffer before the start, as the render thread does; nothing plays yet.
    const uint32_t uiHalf = uiBufferFrames / 2;
    uint8_t* pData = nullptr;
    EXPECT_LT(pRender->GetBuffer(uiBufferFrames + 1, &pData), 0);
    ASSERT_GE(pRender->GetBuffer(uiHalf, &pData), 0);
    ASSERT_NE(pData, nullptr);
    std::fill_n(pData, static_cast<size_t>(uiHalf) * Format.nBlockAlign, uint8_t{0});
    ASSERT_GE(pRender->ReleaseBuffer(uiHalf, 0), 0);
    ASSERT_GE(pClient->GetCurrentPadding(&uiPadding), 0);
    EXPECT_EQ(uiPadding, uiHalf);
    // More than the free room is refused.
    EXPECT_LT(pRender->GetBuffer(uiBufferFrames - uiHalf + 1, &pData), 0);

    ASSERT_GE(pClient->Start(), 0);
    EXPECT_LT(pClient->Start(), 0);
    ASSERT_GE(pClient->GetCurrentPadding(&uiPadding), 0);
    EXPECT_LE(uiPadding, uiHalf);
    EXPECT_GE(pClient->Stop(), 0);
    EXPECT_GE(pClient->Stop(), 0);
}
