#include "app/player/PlaybackBufferCallback.h"
#include "app/player/PlayerState.h"
#include "soundbuffer/IntelligentSoundBuffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace
{
// The callback reads the process's player record; every test leaves it as it found it.
class PlaybackBufferCallbackTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        double dfSeconds = 0.01;
        ASSERT_EQ(Buffer.Initialize(8000.0, dfSeconds), 1);
        ASSERT_EQ(Buffer.SetCapacityLimit(800), 1);
        n = Buffer.ullPeriodFrames;
        ASSERT_EQ(n, 80u);
        State.pIntelligentSoundBuffer = &Buffer;
        ASSERT_EQ(State.AllocateDeviceBlock(2 * n), 1);
    }

    void TearDown() override
    {
        State.pIntelligentSoundBuffer = nullptr;
        State.FreeDeviceBlock();
    }

    // Queues frames i = 0, 1, ... as (i + 1, -(i + 1)).
    void QueueNumberedFrames(uint64_t ullCount)
    {
        std::vector<double> Frames(2 * ullCount);
        for (uint64_t i = 0; i < ullCount; ++i)
        {
            Frames[2 * i] = static_cast<double>(i + 1);
            Frames[2 * i + 1] = -static_cast<double>(i + 1);
        }
        // A period at a time, as the queue grows by steps.
        for (uint64_t f = 0; f < ullCount; f += n)
        {
            uint64_t ullAccepted = std::min(n, ullCount - f);
            const uint64_t ullOffered = ullAccepted;
            ASSERT_EQ(Buffer.Write(Frames.data() + 2 * f, ullAccepted), 1);
            ASSERT_EQ(ullAccepted, ullOffered);
        }
    }

    static void Fill(SoundStreamBuffer& Block, double dfValue)
    {
        std::fill(Block.pdfData, Block.pdfData + 2 * Block.ullCapacity, dfValue);
    }

    PlayerState& State = PlayerState::Instance();
    IntelligentSoundBuffer Buffer;
    uint64_t n = 0;
};
} // namespace

TEST_F(PlaybackBufferCallbackTest, LargerRequestGetsThePeriodThenSilenceAndSmallerOneItsCapacity)
{
    QueueNumberedFrames(8 * n);
    SoundStreamBuffer Block;
    ASSERT_EQ(Block.Initialize(nullptr, n + 37, 0), 1);

    // The buffer runs one period late: the first call hands out the silent block it started with.
    Fill(Block, 9.0);
    ASSERT_EQ(PlaybackBufferCallback(&Block, nullptr), 1);
    EXPECT_EQ(Block.ullFrameCount, n);
    for (uint64_t i = 0; i < 2 * (n + 37); ++i)
    {
        ASSERT_EQ(Block.pdfData[i], 0.0) << i;
    }

    // Then the first period, faded in.
    Fill(Block, 9.0);
    ASSERT_EQ(PlaybackBufferCallback(&Block, nullptr), 1);
    EXPECT_EQ(Block.ullFrameCount, n);
    const double* pdfRamp = Buffer.GetFadeRamp();
    for (uint64_t f = 0; f < n; ++f)
    {
        ASSERT_EQ(Block.pdfData[2 * f], static_cast<double>(f + 1) * pdfRamp[f]);
        ASSERT_EQ(Block.pdfData[2 * f + 1], -static_cast<double>(f + 1) * pdfRamp[f]);
    }
    for (uint64_t i = 2 * n; i < 2 * (n + 37); ++i)
    {
        ASSERT_EQ(Block.pdfData[i], 0.0) << i;
    }

    // A smaller request takes the start of the period only.
    SoundStreamBuffer Small;
    ASSERT_EQ(Small.Initialize(nullptr, n - 30, 0), 1);
    Fill(Small, 9.0);
    ASSERT_EQ(PlaybackBufferCallback(&Small, nullptr), 1);
    EXPECT_EQ(Small.ullFrameCount, n - 30);
    for (uint64_t f = 0; f < n - 30; ++f)
    {
        ASSERT_EQ(Small.pdfData[2 * f], static_cast<double>(n + f + 1));
    }
    // The whole period was taken from the buffer all the same.
    EXPECT_EQ(State.pdfDeviceBlock[2 * (n - 1)], static_cast<double>(2 * n));

    // Without a place to copy to, the frames are still counted and the period read.
    Small.ullFrameCount = 0;
    double* pdfKept = Small.pdfData;
    Small.pdfData = nullptr;
    EXPECT_EQ(PlaybackBufferCallback(&Small, nullptr), 1);
    EXPECT_EQ(Small.ullFrameCount, n - 30);
    EXPECT_EQ(State.pdfDeviceBlock[0], static_cast<double>(2 * n + 1));
    Small.pdfData = pdfKept;
}

TEST_F(PlaybackBufferCallbackTest, RefusalsReportZero)
{
    QueueNumberedFrames(3 * n);

    // A capture block or a missing device block: 0, and the stream's block is left alone.
    SoundStreamBuffer Capture;
    ASSERT_EQ(Capture.Initialize(nullptr, n, 1), 1);
    Fill(Capture, 7.0);
    EXPECT_EQ(PlaybackBufferCallback(&Capture, nullptr), 0);
    EXPECT_EQ(Capture.ullFrameCount, 0u);
    EXPECT_EQ(Capture.pdfData[0], 7.0);
    EXPECT_EQ(PlaybackBufferCallback(nullptr, nullptr), 0);

    SoundStreamBuffer Block;
    ASSERT_EQ(Block.Initialize(nullptr, n, 0), 1);
    double* pdfDeviceBlock = State.pdfDeviceBlock;
    State.pdfDeviceBlock = nullptr;
    Fill(Block, 7.0);
    EXPECT_EQ(PlaybackBufferCallback(&Block, nullptr), 0);
    EXPECT_EQ(Block.ullFrameCount, 0u);
    EXPECT_EQ(Block.pdfData[0], 7.0);
    State.pdfDeviceBlock = pdfDeviceBlock;

    // A device block shorter than a period: no read, but what the block holds is still copied.
    std::fill(State.pdfDeviceBlock, State.pdfDeviceBlock + 2 * n, 0.25);
    State.ullDeviceBlockCount = 2 * n - 2;
    Fill(Block, 7.0);
    EXPECT_EQ(PlaybackBufferCallback(&Block, nullptr), 0);
    EXPECT_EQ(Block.ullFrameCount, n - 1);
    EXPECT_EQ(Block.pdfData[2 * n - 3], 0.25);
    EXPECT_EQ(Block.pdfData[2 * n - 2], 0.0);
    EXPECT_EQ(Block.pdfData[2 * n - 1], 0.0);
    EXPECT_EQ(State.pdfDeviceBlock[2 * n - 1], 0.25);
    State.ullDeviceBlockCount = 2 * n;

    // A buffer that is not ready, or none at all: 0, with the block's content copied.
    IntelligentSoundBuffer NotReady;
    State.pIntelligentSoundBuffer = &NotReady;
    Fill(Block, 7.0);
    EXPECT_EQ(PlaybackBufferCallback(&Block, nullptr), 0);
    EXPECT_EQ(Block.ullFrameCount, n);
    EXPECT_EQ(Block.pdfData[2 * n - 1], 0.25);
    State.pIntelligentSoundBuffer = nullptr;
    Fill(Block, 7.0);
    EXPECT_EQ(PlaybackBufferCallback(&Block, nullptr), 0);
    EXPECT_EQ(Block.pdfData[0], 0.25);

    // The read comes first, so the capture call and the call without a block took the first two
    // periods; the refusals after them took none, and the next call hands out the second period.
    State.pIntelligentSoundBuffer = &Buffer;
    EXPECT_EQ(PlaybackBufferCallback(&Block, nullptr), 1);
    EXPECT_EQ(Block.pdfData[0], static_cast<double>(n + 1));
}
