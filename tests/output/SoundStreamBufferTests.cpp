#include "output/SoundStreamBuffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace
{
void ExpectZeroed(const SoundStreamBuffer& Buffer)
{
    EXPECT_EQ(Buffer.pOwner, nullptr);
    EXPECT_EQ(Buffer.uiDirection, 0u);
    EXPECT_EQ(Buffer.uiChannelCount, 0u);
    EXPECT_EQ(Buffer.ullCapacity, 0u);
    EXPECT_EQ(Buffer.ullFrameCount, 0u);
    EXPECT_EQ(Buffer.pdfData, nullptr);
}

// A render callback as the stream will call it: fills a short block and asks to go on.
int32_t FillThreeFrames(SoundStreamBuffer* pBuffer, void* pUserParameter)
{
    *static_cast<int*>(pUserParameter) += 1;
    pBuffer->ullFrameCount = 3;
    for (uint64_t i = 0; i < 3 * pBuffer->uiChannelCount; ++i)
    {
        pBuffer->pdfData[i] = 0.125 * static_cast<double>(i);
    }
    return 1;
}
} // namespace

TEST(SoundStreamBuffer, InitializeForRenderAndCapture)
{
    SoundStreamBuffer Buffer;
    auto* pOwner = reinterpret_cast<SSoundStream*>(&Buffer);
    ASSERT_EQ(Buffer.Initialize(pOwner, 480, 0), 1);
    EXPECT_EQ(Buffer.pOwner, pOwner);
    EXPECT_EQ(Buffer.uiDirection, SoundStreamBuffer::DIRECTION_RENDER);
    EXPECT_EQ(Buffer.uiDirection, 2u);
    EXPECT_EQ(Buffer.uiChannelCount, 2u);
    EXPECT_EQ(Buffer.ullCapacity, 480u);
    EXPECT_EQ(Buffer.ullFrameCount, 0u);
    ASSERT_NE(Buffer.pdfData, nullptr);
    for (uint64_t i = 0; i < 2 * 480; ++i)
    {
        ASSERT_EQ(Buffer.pdfData[i], 0.0);
    }

    BufferCallbackFunction Callback = FillThreeFrames;
    int iCalls = 0;
    ASSERT_EQ(Callback(&Buffer, &iCalls), 1);
    EXPECT_EQ(iCalls, 1);
    EXPECT_EQ(Buffer.ullFrameCount, 3u);
    EXPECT_EQ(Buffer.pdfData[5], 0.625);

    // A new Initialize replaces the storage with a fresh, zeroed block.
    ASSERT_EQ(Buffer.Initialize(nullptr, 1, 1), 1);
    EXPECT_EQ(Buffer.uiDirection, SoundStreamBuffer::DIRECTION_CAPTURE);
    EXPECT_EQ(Buffer.ullCapacity, 1u);
    EXPECT_EQ(Buffer.ullFrameCount, 0u);
    EXPECT_EQ(Buffer.pdfData[0], 0.0);
    EXPECT_EQ(Buffer.pdfData[1], 0.0);

    Buffer.Release();
    ExpectZeroed(Buffer);
}

TEST(SoundStreamBuffer, InitializeRefusalsLeaveTheRecordZeroed)
{
    constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();
    const struct
    {
        uint64_t ullFrames;
        int32_t iResult;
    } Refused[] = {
        {0, -4},
        {uint64_t{1} << 63, -5},
        {kMax, -5},
        // Below 2^63 frames, but frames x 16 bytes would wrap around.
        {(kMax / 16) + 1, -5},
        {(uint64_t{1} << 63) - 1, -5},
    };
    SoundStreamBuffer Buffer;
    for (const auto& Case : Refused)
    {
        ASSERT_EQ(Buffer.Initialize(nullptr, 64, 0), 1);
        Buffer.ullFrameCount = 64;
        EXPECT_EQ(Buffer.Initialize(reinterpret_cast<SSoundStream*>(&Buffer), Case.ullFrames, 0),
                  Case.iResult)
            << Case.ullFrames;
        ExpectZeroed(Buffer);
    }
}
