#include "output/SoundStreamBuffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <type_traits>

static_assert(std::is_same_v<BufferCallbackFunction, int32_t (*)(SoundStreamBuffer*, void*)>);

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
} // namespace

TEST(SoundStreamBuffer, InitializeForRenderAndCapture)
{
    SoundStreamBuffer Buffer;
    auto* pOwner = reinterpret_cast<SSoundStream*>(&Buffer);
    ASSERT_EQ(Buffer.Initialize(pOwner, 480, 0), 1);
    EXPECT_EQ(Buffer.pOwner, pOwner);
    EXPECT_EQ(Buffer.uiDirection, SoundStreamBuffer::DIRECTION_RENDER);
    EXPECT_EQ(Buffer.uiChannelCount, 2u);
    EXPECT_EQ(Buffer.ullCapacity, 480u);
    EXPECT_EQ(Buffer.ullFrameCount, 0u);
    ASSERT_NE(Buffer.pdfData, nullptr);
    for (uint64_t i = 0; i < 2 * 480; ++i)
    {
        ASSERT_EQ(Buffer.pdfData[i], 0.0);
    }

    Buffer.ullFrameCount = 480;
    Buffer.pdfData[959] = 1.0;
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
    constexpr uint64_t MAX = std::numeric_limits<uint64_t>::max();
    const struct
    {
        uint64_t ullFrames;
        int32_t iResult;
    } Refused[] = {
        {0, -4},
        {uint64_t{1} << 63, -5},
        {MAX, -5},
        // Below 2^63 frames, but frames x 16 bytes would wrap around.
        {(MAX / 16) + 1, -5},
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
