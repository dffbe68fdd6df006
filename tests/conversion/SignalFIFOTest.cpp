#include "conversion/SignalFIFO.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <limits>
#include <thread>
#include <vector>

namespace
{
std::vector<double> Sequence(double dfFirst, uint64_t ullCount)
{
    std::vector<double> Values(ullCount);
    for (uint64_t i = 0; i < ullCount; ++i)
    {
        Values[i] = dfFirst + static_cast<double>(i);
    }
    return Values;
}
} // namespace

TEST(SignalFIFO, PartialWriteIntoNearlyFullQueueThenReadDeliversAllInOrder)
{
    SignalFIFO Queue;
    ASSERT_EQ(Queue.Allocate(8), 1);
    const std::vector<double> First = Sequence(1.0, 5);
    uint64_t ullCount = 5;
    ASSERT_EQ(Queue.Write(First.data(), ullCount), 1);
    EXPECT_EQ(ullCount, 5u);

    const std::vector<double> Second = Sequence(6.0, 10);
    ullCount = 10;
    EXPECT_EQ(Queue.Write(Second.data(), ullCount), 1);
    EXPECT_EQ(ullCount, 3u);
    EXPECT_EQ(Queue.GetFill(), 8u);

    // A full queue takes nothing and that is no error.
    ullCount = 4;
    EXPECT_EQ(Queue.Write(Second.data(), ullCount), 1);
    EXPECT_EQ(ullCount, 0u);

    std::vector<double> Out(100, -1.0);
    ullCount = 100;
    EXPECT_EQ(Queue.Read(Out.data(), ullCount), 1);
    ASSERT_EQ(ullCount, 8u);
    for (uint64_t i = 0; i < 8; ++i)
    {
        EXPECT_EQ(Out[i], 1.0 + static_cast<double>(i));
    }
    EXPECT_EQ(Out[8], -1.0);

    // An empty queue delivers nothing and that is no error either.
    ullCount = 3;
    EXPECT_EQ(Queue.Read(Out.data(), ullCount), 1);
    EXPECT_EQ(ullCount, 0u);
}

TEST(SignalFIFO, WritesAndReadsCrossingTheEndKeepTheOrder)
{
    SignalFIFO Queue;
    ASSERT_EQ(Queue.Allocate(7), 1);
    double dfNextWritten = 0.0;
    double dfNextRead = 0.0;
    // Piece sizes chosen so both indices land on every position and wrap many times, including
    // writes and reads that end exactly at the end of the storage.
    const uint64_t Writes[] = {5, 2, 6, 1, 7, 3, 4, 7, 2, 5};
    const uint64_t Reads[] = {3, 4, 6, 2, 7, 1, 5, 7, 4, 3};
    for (size_t Round = 0; Round < std::size(Writes); ++Round)
    {
        const uint64_t ullFree = Queue.GetCapacity() - Queue.GetFill();
        const std::vector<double> In = Sequence(dfNextWritten, Writes[Round]);
        uint64_t ullCount = Writes[Round];
        ASSERT_EQ(Queue.Write(In.data(), ullCount), 1);
        ASSERT_EQ(ullCount, std::min(Writes[Round], ullFree));
        dfNextWritten += static_cast<double>(ullCount);

        const uint64_t ullFill = Queue.GetFill();
        std::vector<double> Out(Reads[Round]);
        ullCount = Reads[Round];
        ASSERT_EQ(Queue.Read(Out.data(), ullCount), 1);
        ASSERT_EQ(ullCount, std::min(Reads[Round], ullFill));
        for (uint64_t i = 0; i < ullCount; ++i)
        {
            ASSERT_EQ(Out[i], dfNextRead) << "round " << Round;
            dfNextRead += 1.0;
        }
    }
    EXPECT_EQ(Queue.GetFill(), static_cast<uint64_t>(dfNextWritten - dfNextRead));
}

TEST(SignalFIFO, WriteValueRefusesNaNAndAppendsCopiesAcrossTheEnd)
{
    SignalFIFO Queue;
    ASSERT_EQ(Queue.Allocate(4), 1);
    const std::vector<double> In = {1.0, 2.0, 3.0};
    uint64_t ullCount = 3;
    ASSERT_EQ(Queue.Write(In.data(), ullCount), 1);
    std::vector<double> Out(4);
    ullCount = 2;
    ASSERT_EQ(Queue.Read(Out.data(), ullCount), 1);

    ullCount = 5;
    EXPECT_EQ(Queue.WriteValue(std::numeric_limits<double>::quiet_NaN(), ullCount), -4);
    EXPECT_EQ(ullCount, 0u);
    EXPECT_EQ(Queue.GetFill(), 1u);

    ullCount = 5;
    EXPECT_EQ(Queue.WriteValue(0.0, ullCount), 1);
    EXPECT_EQ(ullCount, 3u);
    ullCount = 4;
    ASSERT_EQ(Queue.Read(Out.data(), ullCount), 1);
    ASSERT_EQ(ullCount, 4u);
    EXPECT_EQ(Out, (std::vector<double>{3.0, 0.0, 0.0, 0.0}));
}

TEST(SignalFIFO, RefusalsReportZeroAndLoseNothing)
{
    SignalFIFO Queue;
    // Never allocated: no lock, nothing to release, every transfer refused.
    EXPECT_EQ(Queue.pLock, nullptr);
    EXPECT_EQ(Queue.Release(), 0);
    double adfBuffer[4] = {1.0, 2.0, 3.0, 4.0};
    uint64_t ullCount = 4;
    EXPECT_EQ(Queue.Write(adfBuffer, ullCount), -1);
    EXPECT_EQ(ullCount, 0u);

    ASSERT_EQ(Queue.Allocate(4), 1);
    EXPECT_NE(Queue.pLock, nullptr);
    ullCount = 2;
    ASSERT_EQ(Queue.Write(adfBuffer, ullCount), 1);

    ullCount = 2;
    EXPECT_EQ(Queue.Write(nullptr, ullCount), -4);
    EXPECT_EQ(ullCount, 0u);
    ullCount = 2;
    EXPECT_EQ(Queue.Read(nullptr, ullCount), -4);
    EXPECT_EQ(ullCount, 0u);
    EXPECT_EQ(Queue.GetFill(), 2u);

    // A byte count that overflows is refused and leaves the queue unallocated.
    EXPECT_EQ(Queue.Allocate(std::numeric_limits<uint64_t>::max() / 4), -5);
    EXPECT_EQ(Queue.pLock, nullptr);
    EXPECT_EQ(Queue.GetCapacity(), 0u);

    ASSERT_EQ(Queue.Allocate(4), 1);
    EXPECT_EQ(Queue.Release(), 1);
    EXPECT_EQ(Queue.pLock, nullptr);
    EXPECT_EQ(Queue.Release(), 0);
    ullCount = 4;
    EXPECT_EQ(Queue.Write(adfBuffer, ullCount), -1);
    EXPECT_EQ(ullCount, 0u);
    ullCount = 4;
    EXPECT_EQ(Queue.WriteValue(0.0, ullCount), -1);
    EXPECT_EQ(ullCount, 0u);
    ullCount = 4;
    EXPECT_EQ(Queue.Read(adfBuffer, ullCount), -1);
    EXPECT_EQ(ullCount, 0u);
    EXPECT_EQ(Queue.GetFill(), 0u);
    EXPECT_EQ(Queue.GetCapacity(), 0u);
    EXPECT_EQ(adfBuffer[0], 1.0);
}

TEST(SignalFIFO, AllocateDiscardsContentsAndTheLockIsReentrant)
{
    SignalFIFO Queue;
    ASSERT_EQ(Queue.Allocate(6), 1);
    const std::vector<double> In = Sequence(1.0, 4);
    uint64_t ullCount = 4;
    ASSERT_EQ(Queue.Write(In.data(), ullCount), 1);
    std::vector<double> Out(6);
    ullCount = 3;
    ASSERT_EQ(Queue.Read(Out.data(), ullCount), 1);

    ASSERT_EQ(Queue.Allocate(5), 1);
    EXPECT_EQ(Queue.GetFill(), 0u);
    EXPECT_EQ(Queue.GetCapacity(), 5u);

    // Callers hold the lock around a decision on the fill level and then move samples.
    ASSERT_EQ(Queue.pLock->Enter(), 1);
    const uint64_t ullFree = Queue.GetCapacity() - Queue.GetFill();
    ullCount = std::min<uint64_t>(ullFree, In.size());
    EXPECT_EQ(Queue.Write(In.data(), ullCount), 1);
    EXPECT_EQ(ullCount, 4u);
    ASSERT_EQ(Queue.pLock->Leave(), 1);

    // Fresh storage reads back the new samples only, from index 0.
    ullCount = 6;
    ASSERT_EQ(Queue.Read(Out.data(), ullCount), 1);
    ASSERT_EQ(ullCount, 4u);
    EXPECT_EQ(std::vector<double>(Out.begin(), Out.begin() + 4), In);
}

TEST(SignalFIFO, ProducerAndConsumerThreadsMoveALongSequenceThroughASmallQueue)
{
    constexpr uint64_t TOTAL = 300000;
    SignalFIFO Queue;
    ASSERT_EQ(Queue.Allocate(13), 1);

    // bStop ends a producer whose consumer gave up (a sample missing or out of order): it would
    // otherwise offer the rest to a full queue for ever, and the join below would never return.
    std::atomic<bool> bProducerDone{false};
    std::atomic<bool> bStop{false};
    std::thread Producer(
        [&Queue, &bProducerDone, &bStop]
        {
            std::vector<double> Piece(9);
            uint64_t ullNext = 0;
            uint64_t ullRound = 0;
            while (ullNext < TOTAL && !bStop.load())
            {
                const uint64_t ullWanted = std::min<uint64_t>(1 + ullRound++ % 9, TOTAL - ullNext);
                for (uint64_t i = 0; i < ullWanted; ++i)
                {
                    Piece[i] = static_cast<double>(ullNext + i);
                }
                uint64_t ullCount = ullWanted;
                if (Queue.Write(Piece.data(), ullCount) != 1)
                {
                    break;
                }
                ullNext += ullCount;
                if (ullCount == 0)
                {
                    std::this_thread::yield();
                }
            }
            bProducerDone = true;
        });

    std::vector<double> Piece(11);
    uint64_t ullExpected = 0;
    uint64_t ullRound = 0;
    uint64_t ullErrors = 0;
    while (ullExpected < TOTAL && ullErrors == 0)
    {
        uint64_t ullCount = 1 + ullRound++ % 11;
        if (Queue.Read(Piece.data(), ullCount) != 1)
        {
            ++ullErrors;
            break;
        }
        for (uint64_t i = 0; i < ullCount; ++i)
        {
            if (Piece[i] != static_cast<double>(ullExpected))
            {
                ++ullErrors;
                break;
            }
            ++ullExpected;
        }
        if (ullCount == 0)
        {
            // A producer that gave up early must not leave the consumer waiting for ever.
            if (bProducerDone && Queue.GetFill() == 0)
            {
                break;
            }
            std::this_thread::yield();
        }
    }
    bStop.store(true);
    Producer.join();
    EXPECT_EQ(ullErrors, 0u) << "sample " << ullExpected << " missing or out of order";
    EXPECT_EQ(ullExpected, TOTAL);
    EXPECT_EQ(Queue.GetFill(), 0u);
}
