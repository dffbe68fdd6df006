#include "soundbuffer/IntelligentSoundBuffer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <thread>
#include <vector>

namespace
{
// A producer writes bursts of random size with random pauses; the consumer takes one period per
// tick of a steady clock of its own (yields, no real-time sleeping). Frame i carries i + 1 on the
// left and a pilot of 1.0 on the right, so every delivered frame reveals which frame it is and by
// what gain it was faded.
class FrameStreamChecker
{
public:
    FrameStreamChecker(uint64_t ullPeriod, double dfSmallestGain)
        : ullPeriod(ullPeriod), dfFadeEdge(dfSmallestGain * (1.0 + 1e-9))
    {
    }

    void Check(const std::vector<double>& Period)
    {
        for (size_t f = 0; f < Period.size() / 2; ++f)
        {
            CheckFrame(Period[2 * f], Period[2 * f + 1]);
            if (HasFailure())
            {
                return;
            }
        }
    }

    static bool HasFailure() { return ::testing::Test::HasFailure(); }

    int64_t iLastIndex = -1;
    uint64_t ullDelivered = 0;
    uint64_t ullUnfaded = 0;
    uint64_t ullRuns = 0;

private:
    void CheckFrame(double dfLeft, double dfPilot)
    {
        if (dfLeft == 0.0 && dfPilot == 0.0)
        {
            // A gap only ever starts after a fade-out down to the smallest ramp value.
            if (bInRun)
            {
                ASSERT_LE(dfLastGain, dfFadeEdge) << "gap after frame " << iLastIndex << " without fade-out";
            }
            bInRun = false;
            return;
        }
        ASSERT_GT(dfPilot, 0.0);
        ASSERT_LE(dfPilot, 1.0);
        const double dfNumber = dfLeft / dfPilot;
        const int64_t iIndex = std::llround(dfNumber) - 1;
        ASSERT_LT(std::abs(dfNumber - static_cast<double>(iIndex + 1)), 1e-6) << "channels faded apart";
        if (bInRun)
        {
            // Inside a run nothing is lost, repeated or reordered.
            ASSERT_EQ(iIndex, iLastIndex + 1);
        }
        else
        {
            // After a gap the sound fades in from the smallest ramp value, and only frames that
            // arrived while the output was silent (less than one period) may have been dropped.
            ASSERT_LE(dfPilot, dfFadeEdge) << "frame " << iIndex << " starts without fade-in";
            ASSERT_GT(iIndex, iLastIndex);
            ASSERT_LT(static_cast<uint64_t>(iIndex - iLastIndex - 1), ullPeriod);
            bInRun = true;
            ++ullRuns;
        }
        if (dfPilot == 1.0)
        {
            ASSERT_EQ(dfLeft, static_cast<double>(iIndex + 1));
            ++ullUnfaded;
        }
        iLastIndex = iIndex;
        dfLastGain = dfPilot;
        ++ullDelivered;
    }

    uint64_t ullPeriod;
    double dfFadeEdge;
    bool bInRun = false;
    double dfLastGain = 0.0;
};
} // namespace

TEST(IntelligentSoundBufferThreads, FramesArriveInOrderOrInsideFades)
{
    IntelligentSoundBuffer Buffer;
    double dfSeconds = 0.01;
    ASSERT_EQ(Buffer.Initialize(48000.0, dfSeconds), 1);
    ASSERT_EQ(Buffer.SetCapacityLimit(4800), 1);
    const uint64_t n = Buffer.ullPeriodFrames;
    constexpr uint64_t ullTotal = 100000;
    FrameStreamChecker Checker(n, Buffer.GetFadeRamp()[0]);
    std::vector<double> Period(2 * n);

    // The device runs before the producer starts, as at the start of playback.
    ASSERT_EQ(Buffer.ReadPeriod(Period.data()), 1);
    Checker.Check(Period);

    // The consumer may leave its loop before the producer is done (a failed check, or the time
    // limit): bStop then ends the producer's loops, which would otherwise offer frames to a full
    // queue for ever, and the guard joins it on every way out of the test, ASSERTs included.
    std::atomic<bool> bProducerDone{false};
    std::atomic<bool> bStop{false};
    std::atomic<uint64_t> ullWrites{0};
    std::thread Producer(
        [&Buffer, &bProducerDone, &bStop, &ullWrites]
        {
            std::mt19937 Random(7031);
            std::uniform_int_distribution<uint64_t> BurstSize(1, 2000);
            std::uniform_int_distribution<int> ShortPause(0, 40);
            std::uniform_int_distribution<int> LongPause(500, 3000);
            std::vector<double> Burst;
            uint64_t ullNext = 0;
            while (ullNext < ullTotal && !bStop.load())
            {
                const uint64_t ullCount = std::min(BurstSize(Random), ullTotal - ullNext);
                Burst.clear();
                for (uint64_t i = ullNext; i < ullNext + ullCount; ++i)
                {
                    Burst.push_back(static_cast<double>(i + 1));
                    Burst.push_back(1.0);
                }
                uint64_t ullOffset = 0;
                while (ullOffset < ullCount && !bStop.load())
                {
                    uint64_t ullFrames = ullCount - ullOffset;
                    if (Buffer.Write(Burst.data() + 2 * ullOffset, ullFrames) != 1)
                    {
                        ADD_FAILURE() << "write refused";
                        bProducerDone.store(true);
                        return;
                    }
                    ullOffset += ullFrames;
                    ullWrites.fetch_add(ullFrames != 0 ? 1 : 0);
                    if (ullFrames == 0)
                    {
                        std::this_thread::yield(); // full: back off and offer the rest again
                    }
                }
                ullNext += ullCount;
                const int iPause = Random() % 8 == 0 ? LongPause(Random) : ShortPause(Random);
                for (int i = 0; i < iPause; ++i)
                {
                    std::this_thread::yield();
                }
            }
            Buffer.Finish();
            bProducerDone.store(true);
        });
    struct StopAndJoin
    {
        std::atomic<bool>& bStop;
        std::thread& Thread;
        ~StopAndJoin()
        {
            bStop.store(true);
            if (Thread.joinable())
            {
                Thread.join();
            }
        }
    } Guard{bStop, Producer};

    // The consumer ticks until the producer is done and three silent periods followed. After three
    // silent periods it ticks again only once the producer has written more: more silence would
    // test nothing, and so the number of ticks follows the producer's work, not how the scheduler
    // treats the two threads. The deadline only ends a producer that hangs.
    const auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    int iSilentAfterDone = 0;
    int iSilentRun = 0;
    uint64_t ullWritesSeen = 0;
    uint64_t ullTick = 0;
    uint64_t ullWaits = 0;
    while (iSilentAfterDone < 3 && !Checker.HasFailure())
    {
        if (++ullWaits % 1024 == 0 && std::chrono::steady_clock::now() > Deadline)
        {
            ADD_FAILURE() << "the producer had not finished after " << ullTick << " ticks in 120 s";
            break;
        }
        const bool bDone = bProducerDone.load();
        if (!bDone && iSilentRun >= 3 && ullWrites.load() == ullWritesSeen)
        {
            std::this_thread::yield();
            continue;
        }
        ullWritesSeen = ullWrites.load();
        ++ullTick;
        ASSERT_EQ(Buffer.ReadPeriod(Period.data()), 1);
        Checker.Check(Period);
        bool bSilent = true;
        for (const double dfSample : Period)
        {
            bSilent = bSilent && dfSample == 0.0;
        }
        iSilentRun = bSilent ? iSilentRun + 1 : 0;
        iSilentAfterDone = bDone && bSilent ? iSilentAfterDone + 1 : 0;
        for (int i = 0; i < 4; ++i)
        {
            std::this_thread::yield();
        }
    }
    bStop.store(true);
    Producer.join();

    EXPECT_EQ(iSilentAfterDone, 3);
    // Finish drains the queue; at most a fragment that arrived during a silent gap is dropped.
    EXPECT_LT(ullTotal - 1 - static_cast<uint64_t>(Checker.iLastIndex), n);
    EXPECT_GT(Checker.ullUnfaded, 0u);
    EXPECT_LE(Buffer.Queue.ullCapacity, 4800u);
    std::printf("delivered %llu frames (%llu unfaded) in %llu runs over %llu ticks, capacity %llu\n",
                static_cast<unsigned long long>(Checker.ullDelivered),
                static_cast<unsigned long long>(Checker.ullUnfaded),
                static_cast<unsigned long long>(Checker.ullRuns), static_cast<unsigned long long>(ullTick),
                static_cast<unsigned long long>(Buffer.Queue.ullCapacity));
}
