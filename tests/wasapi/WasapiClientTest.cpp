#include "output/AudioClientConstants.h"
#include "output/CSoundStreamWASAPI.h"
#include "output/wasapi/WaveFormatTranslation.h"
#include "tests/wasapi/RawEndpoint.h"
#include "tests/wasapi/TestSink.h"

#include <gtest/gtest.h>

#include <objbase.h>

namespace
{
// The stream's proposal with a channel mask.
AudioStreamFormat Proposal(uint32_t uiRate, uint32_t uiBits, uint32_t uiMask = 0)
{
    AudioStreamFormat Format = MakeStereoPcmFormat(uiRate, uiBits);
    Format.dwChannelMask = uiMask;
    return Format;
}

// The endpoint's mix format, asked of the platform directly (the layer never asks for it).
AudioStreamFormat MixFormat(const std::u16string& Id)
{
    AudioStreamFormat Mix{};
    ComPointer<IAudioClient> pRaw = RawClient(Id);
    WAVEFORMATEX* pFormat = nullptr;
    if (pRaw && pRaw->GetMixFormat(&pFormat) >= 0)
    {
        FromWaveFormat(pFormat, Mix);
    }
    CoTaskMemFree(pFormat);
    return Mix;
}

HRESULT RawProbe(const std::u16string& Id, uint32_t uiShareMode, const AudioStreamFormat& Format)
{
    WAVEFORMATEXTENSIBLE Native{};
    ToWaveFormat(Format, Native);
    WAVEFORMATEX* pClosest = nullptr;
    const HRESULT hResult =
        RawClient(Id)->IsFormatSupported(static_cast<AUDCLNT_SHAREMODE>(uiShareMode), &Native.Format,
                                         uiShareMode == AUDIO_SHAREMODE_SHARED ? &pClosest : nullptr);
    CoTaskMemFree(pClosest);
    return hResult;
}

class WasapiClientTest : public TestSinkFixture
{
protected:
    void SetUp() override
    {
        TestSinkFixture::SetUp();
        if (IsSkipped() || HasFatalFailure())
        {
            return;
        }
        CSoundStreamWASAPI Stream(&Layer);
        ASSERT_EQ(Stream.GetAudioEndpoint(iSinkIndex, pEndpoint), 1);
        ASSERT_GE(pEndpoint->GetId(Id), 0);
        Mix = MixFormat(Id);
        ASSERT_EQ(Mix.nSamplesPerSec, Sink.uiRate);
    }

    std::unique_ptr<SAudioClient> NewClient()
    {
        std::unique_ptr<SAudioClient> pClient;
        EXPECT_GE(pEndpoint->Activate(pClient), 0);
        return pClient;
    }

    std::unique_ptr<SAudioEndpoint> pEndpoint;
    std::u16string Id;
    AudioStreamFormat Mix{};
};
} // namespace

TEST_F(WasapiClientTest, FormatProbesGiveThePlatformsResultsAndItsClosestMatch)
{
    const std::unique_ptr<SAudioClient> pClient = NewClient();
    ASSERT_NE(pClient, nullptr);
    for (const uint32_t uiBits : {32u, 24u, 16u})
    {
        SCOPED_TRACE(uiBits);
        const AudioStreamFormat Format = Proposal(Mix.nSamplesPerSec, uiBits);
        AudioStreamFormat Closest{};
        const int32_t iShared = pClient->IsFormatSupported(AUDIO_SHAREMODE_SHARED, &Format, &Closest);
        EXPECT_EQ(iShared, RawProbe(Id, AUDIO_SHAREMODE_SHARED, Format));
        // Shared mode takes the proposal as it is or offers the mix format instead.
        ASSERT_GE(iShared, 0);
        if (iShared == AUDIO_S_CLOSEST_MATCH)
        {
            EXPECT_EQ(Closest, Mix);
        }
        else
        {
            EXPECT_EQ(Closest, AudioStreamFormat{});
        }
        EXPECT_EQ(pClient->IsFormatSupported(AUDIO_SHAREMODE_EXCLUSIVE, &Format, nullptr),
                  RawProbe(Id, AUDIO_SHAREMODE_EXCLUSIVE, Format));
    }
    // A container no device takes is refused, with the platform's own result and no offer.
    const AudioStreamFormat Odd = Proposal(Mix.nSamplesPerSec, 20);
    AudioStreamFormat Closest{};
    const int32_t iOdd = pClient->IsFormatSupported(AUDIO_SHAREMODE_SHARED, &Odd, &Closest);
    EXPECT_LT(iOdd, 0);
    EXPECT_EQ(iOdd, RawProbe(Id, AUDIO_SHAREMODE_SHARED, Odd));
    EXPECT_EQ(Closest, AudioStreamFormat{});
}

TEST_F(WasapiClientTest, TheLadderLandsOnTheMixRateAndBitsInSharedMode)
{
    CSoundStreamWASAPI Stream(&Layer);
    double dfSeconds = 0.06;
    Stream.bSharedMode = 0;
    const int32_t iExclusive = Stream.SetupDevice(Mix.nSamplesPerSec, &dfSeconds, iSinkIndex);
    if (iExclusive == 1)
    {
        GTEST_SKIP() << "this endpoint takes a channel mask of 0 in exclusive mode";
    }
    // Exclusive mode refuses a stream without speaker positions here, so the next pass is shared.
    EXPECT_EQ(iExclusive, -1);
    EXPECT_EQ(Stream.uiStreamMode, STREAM_MODE_NONE);
    Stream.Close();
    Stream.bSharedMode = 1;
    dfSeconds = 0.06;
    ASSERT_EQ(Stream.SetupDevice(Mix.nSamplesPerSec, &dfSeconds, iSinkIndex), 1);
    EXPECT_EQ(Stream.uiStreamMode, STREAM_MODE_RENDER);
    EXPECT_EQ(Stream.dfSamplingFrequency, Mix.nSamplesPerSec);
    EXPECT_EQ(Stream.uiBitCount, Mix.wBitsPerSample);
    EXPECT_GT(Stream.ullBufferFrameCount, 0u);
    EXPECT_DOUBLE_EQ(dfSeconds, static_cast<double>(Stream.ullBufferFrameCount) / Mix.nSamplesPerSec);
    Stream.Close();
}

TEST_F(WasapiClientTest, ExclusiveModeWithTheEndpointsOwnMask)
{
    const std::unique_ptr<SAudioClient> pClient = NewClient();
    ASSERT_NE(pClient, nullptr);
    const AudioStreamFormat Format = Proposal(Mix.nSamplesPerSec, 16, Mix.dwChannelMask);
    const int32_t iProbe = pClient->IsFormatSupported(AUDIO_SHAREMODE_EXCLUSIVE, &Format, nullptr);
    if (iProbe < 0)
    {
        GTEST_SKIP() << "exclusive mode refused even with the endpoint's channel mask (0x" << std::hex
                     << iProbe << ")";
    }
    int64_t hnsDefault = 0;
    int64_t hnsMinimum = 0;
    ASSERT_GE(pClient->GetDevicePeriod(&hnsDefault, &hnsMinimum), 0);
    ASSERT_GE(pClient->Initialize(AUDIO_SHAREMODE_EXCLUSIVE, AUDIO_STREAMFLAGS_NOPERSIST, hnsDefault,
                                  hnsDefault, &Format),
              0);
    uint32_t uiFrames = 0;
    EXPECT_GE(pClient->GetBufferSize(&uiFrames), 0);
    EXPECT_GT(uiFrames, 0u);
}
