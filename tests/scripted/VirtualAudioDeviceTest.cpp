#include "output/AudioClientConstants.h"
#include "tests/output/OutputTestSupport.h"
#include "tests/scripted/CVirtualEndpoint.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace
{
AudioStreamFormat Stereo24At48k()
{
    AudioStreamFormat Format{};
    Format.wFormatTag = AUDIO_FORMAT_TAG_EXTENSIBLE;
    Format.nChannels = 2;
    Format.nSamplesPerSec = 48000;
    Format.nBlockAlign = 6;
    Format.nAvgBytesPerSec = 288000;
    Format.wBitsPerSample = 24;
    Format.cbSize = AUDIO_FORMAT_EXTENSIBLE_SIZE;
    Format.wValidBitsPerSample = 24;
    Format.SubFormat = AUDIO_SUBTYPE_PCM;
    return Format;
}
} // namespace

// The stream tests lean on the virtual device behaving like a strict endpoint; these keep it so.
TEST(VirtualAudioDevice, RefusesWhatAStrictEndpointRefuses)
{
    auto pDevice = std::make_shared<VirtualAudioDevice>();
    pDevice->AcceptFormat(AUDIO_SHAREMODE_EXCLUSIVE, 48000, 24);
    pDevice->SetBufferGrant(128, 0);
    CVirtualEndpoint Endpoint(pDevice);
    std::unique_ptr<SAudioClient> pClient;
    std::unique_ptr<SAudioClient> pOther;
    ASSERT_EQ(Endpoint.Activate(pClient), AUDIO_OK);
    ASSERT_EQ(Endpoint.Activate(pOther), AUDIO_OK);
    const AudioStreamFormat Format = Stereo24At48k();
    AudioStreamFormat Float = Format;
    Float.SubFormat = AUDIO_SUBTYPE_IEEE_FLOAT;
    AudioStreamFormat Closest{};

    EXPECT_EQ(pClient->IsFormatSupported(AUDIO_SHAREMODE_EXCLUSIVE, &Format, nullptr), AUDIO_OK);
    EXPECT_EQ(pClient->IsFormatSupported(AUDIO_SHAREMODE_EXCLUSIVE, &Format, &Closest), AUDIO_E_INVALIDARG);
    EXPECT_EQ(pClient->IsFormatSupported(AUDIO_SHAREMODE_SHARED, &Format, nullptr), AUDIO_E_POINTER);
    EXPECT_EQ(pClient->IsFormatSupported(AUDIO_SHAREMODE_EXCLUSIVE, &Float, nullptr),
              AUDIO_E_UNSUPPORTED_FORMAT);
    EXPECT_EQ(pClient->GetBufferSize(nullptr), AUDIO_E_NOT_INITIALIZED);
    EXPECT_EQ(pClient->Initialize(AUDIO_SHAREMODE_EXCLUSIVE, 0, 20000, 20000, &Format),
              AUDIO_E_INVALID_DEVICE_PERIOD);
    ASSERT_EQ(pClient->Initialize(AUDIO_SHAREMODE_EXCLUSIVE, 0, 50000, 50000, &Format), AUDIO_OK);
    EXPECT_EQ(pClient->Initialize(AUDIO_SHAREMODE_EXCLUSIVE, 0, 50000, 50000, &Format),
              AUDIO_E_ALREADY_INITIALIZED);
    EXPECT_EQ(pOther->Initialize(AUDIO_SHAREMODE_EXCLUSIVE, 0, 50000, 50000, &Format), AUDIO_E_DEVICE_IN_USE);
    uint32_t uiFrames = 0;
    ASSERT_EQ(pClient->GetBufferSize(&uiFrames), AUDIO_OK);
    EXPECT_EQ(uiFrames, 256u); // 240 frames rounded up to whole blocks of 128

    std::unique_ptr<SAudioRenderClient> pRender;
    ASSERT_EQ(pClient->GetRenderClient(pRender), AUDIO_OK);
    uint8_t* pData = nullptr;
    EXPECT_EQ(pRender->ReleaseBuffer(0, 0), AUDIO_E_OUT_OF_ORDER);
    EXPECT_EQ(pRender->GetBuffer(257, &pData), AUDIO_E_BUFFER_TOO_LARGE);
    ASSERT_EQ(pRender->GetBuffer(200, &pData), AUDIO_OK);
    uint8_t* pSecond = pData;
    EXPECT_EQ(pRender->GetBuffer(10, &pSecond), AUDIO_E_OUT_OF_ORDER);
    EXPECT_EQ(pSecond, nullptr);
    EXPECT_EQ(pRender->ReleaseBuffer(201, 0), AUDIO_E_INVALID_SIZE);
    pData[0] = 0x12;
    ASSERT_EQ(pRender->ReleaseBuffer(2, 0), AUDIO_OK);
    // Bytes the writer left alone keep the device's pattern; they are recorded as they were.
    const std::vector<uint8_t> Bytes = pDevice->GetWrittenBytes();
    ASSERT_EQ(Bytes.size(), 12u);
    EXPECT_EQ(Bytes[0], 0x12);
    EXPECT_EQ(Bytes[1], 0xA5);

    // While stopped the clock does not move; started, it plays what is queued and counts the rest.
    EXPECT_EQ(pDevice->Advance(5), 0u);
    ASSERT_EQ(pClient->Start(), AUDIO_OK);
    EXPECT_EQ(pClient->Start(), AUDIO_E_NOT_STOPPED);
    EXPECT_EQ(pDevice->Advance(5), 2u);
    EXPECT_EQ(pDevice->GetStreamState().ullUnderrunFrames, 3u);
    EXPECT_EQ(pDevice->GetStreamState().ullWrittenBeforeStart, 2u);

    // Gone: every call fails as invalidated and the endpoint cannot be opened again.
    pDevice->Vanish();
    EXPECT_EQ(pClient->GetCurrentPadding(&uiFrames), AUDIO_E_DEVICE_INVALIDATED);
    std::unique_ptr<SAudioClient> pThird;
    EXPECT_EQ(Endpoint.Activate(pThird), AUDIO_E_DEVICE_INVALIDATED);
    pRender.reset();
    pClient.reset();
    pOther.reset();
    EXPECT_EQ(pDevice->GetLiveObjectCount(), 1u); // the endpoint
}

TEST(VirtualAudioDevice, TheRealTimeClockPlaysWhileStarted)
{
    auto pDevice = std::make_shared<VirtualAudioDevice>();
    pDevice->AcceptFormat(AUDIO_SHAREMODE_EXCLUSIVE, 48000, 24);
    pDevice->UseRealTimeClock(1);
    CVirtualEndpoint Endpoint(pDevice);
    std::unique_ptr<SAudioClient> pClient;
    std::unique_ptr<SAudioRenderClient> pRender;
    const AudioStreamFormat Format = Stereo24At48k();
    ASSERT_EQ(Endpoint.Activate(pClient), AUDIO_OK);
    ASSERT_EQ(pClient->Initialize(AUDIO_SHAREMODE_EXCLUSIVE, 0, 1000000, 1000000, &Format), AUDIO_OK);
    ASSERT_EQ(pClient->GetRenderClient(pRender), AUDIO_OK);
    uint8_t* pData = nullptr;
    ASSERT_EQ(pRender->GetBuffer(4800, &pData), AUDIO_OK);
    ASSERT_EQ(pRender->ReleaseBuffer(4800, AUDIO_BUFFERFLAGS_SILENT), AUDIO_OK);
    uint32_t uiPadding = 0;
    ASSERT_EQ(pClient->GetCurrentPadding(&uiPadding), AUDIO_OK);
    EXPECT_EQ(uiPadding, 4800u);

    // 100 ms of sound drains in about that time once started; the bound is generous.
    ASSERT_EQ(pClient->Start(), AUDIO_OK);
    const auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (uiPadding != 0 && std::chrono::steady_clock::now() < Deadline)
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ASSERT_EQ(pClient->GetCurrentPadding(&uiPadding), AUDIO_OK);
    }
    EXPECT_EQ(uiPadding, 0u);
    EXPECT_EQ(pDevice->GetStreamState().ullPlayedFrames, 4800u);
    EXPECT_EQ(pDevice->GetWrittenBytes(), std::vector<uint8_t>(4800 * 6, 0));
}
