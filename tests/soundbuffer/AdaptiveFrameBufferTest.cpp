#include "soundbuffer/AdaptiveFrameBuffer.h"
#include "tests/soundbuffer/NumberedFrames.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace
{
// Writes ullCount frames numbered from ullFirst in chunks; returns the frames stored.
uint64_t WriteInChunks(AdaptiveFrameBuffer& Queue, uint64_t ullFirst, uint64_t ullCount, uint64_t ullChunk)
{
    uint64_t ullStored = 0;
    while (ullStored < ullCount)
    {
        const uint64_t ullOffer = std::min(ullChunk, ullCount - ullStored);
        const std::vector<double> Chunk = NumberedFrames(ullFirst + ullStored, ullOffer);
        uint64_t ullFrames = ullOffer;
        EXPECT_EQ(Queue.Write(Chunk.data(), ullFrames), 1);
        ullStored += ullFrames;
        if (ullFrames < ullOffer)
        {
            break;
        }
    }
    return ullStored;
}

// Reads everything out of the queue's FIFO and checks it is frames ullFirst, ullFirst + 1, ...
void ExpectContents(AdaptiveFrameBuffer& Queue, uint64_t ullFirst, uint64_t ullCount)
{
    std::vector<double> Out(2 * ullCount + 2);
    uint64_t ullSamples = Out.size();
    ASSERT_EQ(Queue.pFIFO->Read(Out.data(), ullSamples), 1);
    ASSERT_EQ(ullSamples, 2 * ullCount);
    Out.resize(ullSamples);
    EXPECT_EQ(Out, NumberedFrames(ullFirst, ullCount));
}

void ExpectMarks(const AdaptiveFrameBuffer& Queue, uint64_t ullLow, uint64_t ullStart, uint64_t ullHigh)
{
    EXPECT_EQ(Queue.ullLowMark, ullLow);
    EXPECT_EQ(Queue.ullStartMark, ullStart);
    EXPECT_EQ(Queue.ullHighMark, ullHigh);
}
} // namespace

TEST(AdaptiveFrameBuffer, SetupRefusesBadArgumentsAndReleaseResets)
{
    AdaptiveFrameBuffer Queue;
    EXPECT_EQ(Queue.bUnlimitedGrowth, 1);
    const std::vector<double> One = NumberedFrames(0, 1);
    uint64_t ullFrames = 1;
    EXPECT_EQ(Queue.Write(One.data(), ullFrames), -1);
    EXPECT_EQ(ullFrames, 0u);
    EXPECT_EQ(Queue.Resize(960), -1);

    EXPECT_EQ(Queue.Setup(48000.0, 3), -4);
    EXPECT_EQ(Queue.Setup(0.0, 960), -4);
    EXPECT_EQ(Queue.Setup(-48000.0, 960), -4);
    EXPECT_EQ(Queue.Setup(std::nan(""), 960), -4);
    EXPECT_EQ(Queue.Setup(48000.0, uint64_t{1} << 63), -5);
    EXPECT_EQ(Queue.bReady, 0);

    ASSERT_EQ(Queue.Setup(48000.0, 960), 1);
    EXPECT_EQ(Queue.ullChannels, 2u);
    EXPECT_EQ(Queue.ullCapacity, 960u);
    EXPECT_EQ(Queue.ullGrowthStep, 960u);
    EXPECT_EQ(Queue.pFIFO->GetCapacity(), 1920u);
    ExpectMarks(Queue, 240, 480, 720);

    ullFrames = 5;
    EXPECT_EQ(Queue.Write(nullptr, ullFrames), -4);
    EXPECT_EQ(ullFrames, 0u);
    ullFrames = 1;
    ASSERT_EQ(Queue.Write(One.data(), ullFrames), 1);
    Queue.bFinishing = 1;
    Queue.bUnlimitedGrowth = 0;
    Queue.ullCapacityLimit = 4800;

    EXPECT_EQ(Queue.Release(), 1);
    EXPECT_EQ(Queue.pFIFO.get(), nullptr);
    EXPECT_EQ(Queue.bReady + Queue.bFinishing + Queue.bBuffering, 0);
    EXPECT_EQ(Queue.bUnlimitedGrowth, 1);
    EXPECT_EQ(Queue.ullFill + Queue.ullCapacity + Queue.ullCapacityLimit + Queue.ullHighMark, 0u);
    ullFrames = 1;
    EXPECT_EQ(Queue.Write(One.data(), ullFrames), -1);
    EXPECT_EQ(ullFrames, 0u);
}

TEST(AdaptiveFrameBuffer, MarksFollowTheCapacity)
{
    // capacity, step, low, start, high
    const uint64_t aullExpected[][5] = {{960, 960, 240, 480, 720},     {1920, 960, 480, 960, 1440},
                                        {2880, 960, 720, 960, 1680},   {3840, 960, 960, 1440, 2400},
                                        {4800, 960, 1200, 1920, 3120}, {442, 442, 110, 221, 331},
                                        {1768, 442, 442, 663, 1105}};
    for (const auto& Row : aullExpected)
    {
        const AdaptiveFrameBuffer::Marks Marks = AdaptiveFrameBuffer::MarksFor(Row[0], Row[1]);
        EXPECT_EQ(Marks.ullLow, Row[2]) << Row[0];
        EXPECT_EQ(Marks.ullStart, Row[3]) << Row[0];
        EXPECT_EQ(Marks.ullHigh, Row[4]) << Row[0];
    }
}

TEST(AdaptiveFrameBuffer, ClimbsToTheLimitThenStoresWhatFits)
{
    AdaptiveFrameBuffer Queue;
    ASSERT_EQ(Queue.Setup(48000.0, 960), 1);
    Queue.bUnlimitedGrowth = 0;
    Queue.ullCapacityLimit = 4800;

    std::vector<uint64_t> Capacities{Queue.ullCapacity};
    uint64_t ullFrames = 100;
    uint64_t ullNext = 0;
    while (ullFrames == 100)
    {
        const uint64_t ullHighBefore = Queue.ullHighMark;
        const std::vector<double> Chunk = NumberedFrames(ullNext, 100);
        ullFrames = 100;
        ASSERT_EQ(Queue.Write(Chunk.data(), ullFrames), 1);
        ullNext += ullFrames;
        if (Queue.ullCapacity != Capacities.back())
        {
            // It grows exactly when a write would pass the high mark.
            EXPECT_GT(ullNext, ullHighBefore);
            EXPECT_LE(ullNext - 100, ullHighBefore);
            Capacities.push_back(Queue.ullCapacity);
            const AdaptiveFrameBuffer::Marks Marks = AdaptiveFrameBuffer::MarksFor(Queue.ullCapacity, 960);
            ExpectMarks(Queue, Marks.ullLow, Marks.ullStart, Marks.ullHigh);
        }
    }
    EXPECT_EQ(Capacities, (std::vector<uint64_t>{960, 1920, 2880, 3840, 4800}));
    EXPECT_EQ(Queue.ullFill, 4800u);
    EXPECT_EQ(ullNext, 4800u);

    const std::vector<double> More = NumberedFrames(ullNext, 100);
    ullFrames = 100;
    EXPECT_EQ(Queue.Write(More.data(), ullFrames), 1);
    EXPECT_EQ(ullFrames, 0u);
    EXPECT_EQ(Queue.Resize(5760), 0);
    EXPECT_EQ(Queue.ullCapacity, 4800u);
    ExpectContents(Queue, 0, 4800);
}

TEST(AdaptiveFrameBuffer, LargeWritesGrowFirstWithinTheLimit)
{
    AdaptiveFrameBuffer Queue;
    const std::vector<double> Block = NumberedFrames(0, 2000);

    ASSERT_EQ(Queue.Setup(48000.0, 960), 1);
    uint64_t ullFrames = 600;
    ASSERT_EQ(Queue.Write(Block.data(), ullFrames), 1);
    EXPECT_EQ(ullFrames, 600u);
    EXPECT_EQ(Queue.ullCapacity, 2880u);
    ExpectMarks(Queue, 720, 960, 1680);
    ExpectContents(Queue, 0, 600);

    // The limit refuses both growths; the write goes on with the old capacity.
    ASSERT_EQ(Queue.Setup(48000.0, 960), 1);
    Queue.ullCapacityLimit = 1920;
    ullFrames = 600;
    ASSERT_EQ(Queue.Write(Block.data(), ullFrames), 1);
    EXPECT_EQ(ullFrames, 600u);
    EXPECT_EQ(Queue.ullCapacity, 960u);
    ullFrames = 2000;
    ASSERT_EQ(Queue.Write(Block.data(), ullFrames), 1);
    EXPECT_EQ(ullFrames, 360u);
    EXPECT_EQ(Queue.ullFill, 960u);

    // An absurd count neither hangs in the search nor allocates: the limit refuses the capacity
    // found, and only what fits is copied.
    ASSERT_EQ(Queue.Setup(48000.0, 960), 1);
    Queue.ullCapacityLimit = 4800;
    ullFrames = uint64_t{1} << 40;
    ASSERT_EQ(Queue.Write(Block.data(), ullFrames), 1);
    EXPECT_EQ(ullFrames, 960u);
    ExpectContents(Queue, 0, 960);
    // Counts whose capacity cannot even be computed are refused with nothing stored.
    Queue.ullFill = 0;
    ullFrames = uint64_t{1} << 62;
    EXPECT_EQ(Queue.Write(Block.data(), ullFrames), -5);
    EXPECT_EQ(ullFrames, 0u);
    ullFrames = std::numeric_limits<uint64_t>::max();
    EXPECT_EQ(Queue.Write(Block.data(), ullFrames), -5);
    EXPECT_EQ(Queue.pFIFO->GetFill(), 0u);

    // Without a limit and without unlimited growth the high mark grows nothing.
    ASSERT_EQ(Queue.Setup(48000.0, 960), 1);
    Queue.bUnlimitedGrowth = 0;
    EXPECT_EQ(WriteInChunks(Queue, 0, 1000, 100), 960u);
    EXPECT_EQ(Queue.ullCapacity, 960u);
}

TEST(AdaptiveFrameBuffer, ResizeMovesWrappedContentsInOrder)
{
    AdaptiveFrameBuffer Queue;
    ASSERT_EQ(Queue.Setup(48000.0, 960), 1);
    Queue.bUnlimitedGrowth = 0;
    ASSERT_EQ(WriteInChunks(Queue, 0, 900, 100), 900u);
    std::vector<double> Taken(1000);
    uint64_t ullSamples = 1000;
    ASSERT_EQ(Queue.pFIFO->Read(Taken.data(), ullSamples), 1);
    Queue.ullFill -= 500;
    ASSERT_EQ(WriteInChunks(Queue, 900, 500, 100), 500u); // wraps around the storage

    const SignalFIFO* pOld = Queue.pFIFO.get();
    EXPECT_EQ(Queue.Resize(960), 1);
    EXPECT_NE(Queue.pFIFO.get(), pOld);
    EXPECT_EQ(Queue.ullFill, 900u);
    EXPECT_EQ(Queue.pFIFO->GetFill(), 1800u);
    EXPECT_EQ(Queue.Resize(959), -1);
    EXPECT_EQ(Queue.Resize(uint64_t{1} << 62), -5);

    Queue.ullCapacityLimit = 1920;
    pOld = Queue.pFIFO.get();
    EXPECT_EQ(Queue.Resize(2880), 0);
    EXPECT_EQ(Queue.pFIFO.get(), pOld);
    EXPECT_EQ(Queue.ullCapacity, 960u);
    EXPECT_EQ(Queue.Resize(1920), 1);
    ExpectMarks(Queue, 480, 960, 1440);
    ExpectContents(Queue, 500, 900);
}

TEST(AdaptiveFrameBuffer, WriteReachingTheStartMarkEndsBuffering)
{
    AdaptiveFrameBuffer Queue;
    ASSERT_EQ(Queue.Setup(48000.0, 960), 1);
    Queue.bBuffering = 1;
    ASSERT_EQ(WriteInChunks(Queue, 0, 479, 100), 479u);
    EXPECT_EQ(Queue.bBuffering, 1);
    ASSERT_EQ(WriteInChunks(Queue, 479, 1, 100), 1u);
    EXPECT_EQ(Queue.bBuffering, 0);
}

TEST(AdaptiveFrameBuffer, GrowthBoundariesAreExact)
{
    AdaptiveFrameBuffer Queue;
    const std::vector<double> Block = NumberedFrames(0, 480);
    // Write size: 480 + 2n >= 960 grows; the capacity chosen must leave start + 2n strictly below it.
    const uint64_t aullCases[][2] = {{239, 960}, {240, 1920}, {479, 1920}, {480, 2880}};
    for (const auto& Case : aullCases)
    {
        ASSERT_EQ(Queue.Setup(48000.0, 960), 1);
        uint64_t ullFrames = Case[0];
        ASSERT_EQ(Queue.Write(Block.data(), ullFrames), 1);
        EXPECT_EQ(ullFrames, Case[0]);
        EXPECT_EQ(Queue.ullCapacity, Case[1]) << Case[0] << " frames";
    }
    // High mark: reaching it is fine, passing it grows.
    ASSERT_EQ(Queue.Setup(48000.0, 960), 1);
    ASSERT_EQ(WriteInChunks(Queue, 0, 720, 100), 720u);
    EXPECT_EQ(Queue.ullCapacity, 960u);
    ASSERT_EQ(WriteInChunks(Queue, 720, 1, 100), 1u);
    EXPECT_EQ(Queue.ullCapacity, 1920u);
    // A capacity whose high mark merely equals the need is passed over (1920 has high mark 1440).
    ASSERT_EQ(Queue.Setup(48000.0, 960), 1);
    Queue.ullCapacityLimit = 2880;
    const std::vector<double> Large = NumberedFrames(0, 1440);
    uint64_t ullFrames = 1440;
    ASSERT_EQ(Queue.Write(Large.data(), ullFrames), 1);
    EXPECT_EQ(ullFrames, 1440u);
    EXPECT_EQ(Queue.ullCapacity, 2880u);
}

TEST(AdaptiveFrameBuffer, GrowthPicksTheFirstFittingStep)
{
    // The capacity a write into an empty queue grows to, by walking up one step at a time.
    const auto Walk = [](uint64_t ullStep, uint64_t n)
    {
        uint64_t c = ullStep;
        if (n > AdaptiveFrameBuffer::MarksFor(c, ullStep).ullHigh)
        {
            do
            {
                c += ullStep;
            } while (AdaptiveFrameBuffer::MarksFor(c, ullStep).ullHigh <= n);
        }
        if (AdaptiveFrameBuffer::MarksFor(c, ullStep).ullStart + 2 * n >= c)
        {
            do
            {
                c += ullStep;
            } while (AdaptiveFrameBuffer::MarksFor(c, ullStep).ullStart + 2 * n >= c);
        }
        return c;
    };
    const std::vector<double> Block = NumberedFrames(0, 2000);
    AdaptiveFrameBuffer Queue;
    for (const uint64_t ullStep : {4, 5, 7, 442, 960})
    {
        for (uint64_t n = 0; n <= 1000; ++n)
        {
            ASSERT_EQ(Queue.Setup(48000.0, ullStep), 1);
            uint64_t ullFrames = n;
            ASSERT_EQ(Queue.Write(Block.data(), ullFrames), 1);
            ASSERT_EQ(ullFrames, n);
            ASSERT_EQ(Queue.ullCapacity, Walk(ullStep, n)) << "step " << ullStep << ", " << n << " frames";
        }
    }
}
