#include "conversion/ParameterSmoother.h"
#include "runtime/CCriticalSection.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <thread>
#include <vector>

namespace
{
std::vector<double> Steps(ParameterSmoother& Smoother, int iCount)
{
    std::vector<double> Values;
    for (int i = 0; i < iCount; ++i)
    {
        double dfValue = -1.0;
        EXPECT_EQ(Smoother.Next(dfValue), 1);
        Values.push_back(dfValue);
    }
    return Values;
}
} // namespace

TEST(ParameterSmoother, RampOfFourStepsDeliversFiveRaisedCosineValues)
{
    ParameterSmoother Smoother;
    ASSERT_EQ(Smoother.Initialize(1.0), 1);
    ASSERT_EQ(Smoother.SetTarget(2.0, 4), 1);
    double dfTarget = 0.0;
    EXPECT_EQ(Smoother.GetRampTarget(dfTarget), 1);
    EXPECT_EQ(dfTarget, 2.0);

    const std::vector<double> Values = Steps(Smoother, 8);
    EXPECT_EQ(Values[0], 1.0);
    EXPECT_NEAR(Values[1], 1.1464466094067262, 1e-15);
    EXPECT_NEAR(Values[2], 1.5, 1e-15);
    EXPECT_NEAR(Values[3], 1.8535533905932737, 1e-15);
    for (int i = 4; i < 8; ++i)
    {
        EXPECT_EQ(Values[i], 2.0) << i;
    }
    EXPECT_EQ(Smoother.GetRampTarget(dfTarget), 0);
    EXPECT_EQ(dfTarget, 0.0);

    // A ramp of one step changes the value on the second call.
    ASSERT_EQ(Smoother.SetTarget(7.0, 1), 1);
    EXPECT_EQ(Steps(Smoother, 3), (std::vector<double>{2.0, 7.0, 7.0}));
}

// Scaling a block gives the products of stepping frame by frame: through a ramp, the queued ramp
// after it and the steady value, in blocks that split them anywhere; uninitialised, nothing moves.
TEST(ParameterSmoother, ScaleFramesMatchesNextFrameByFrame)
{
    ParameterSmoother ByFrame;
    ParameterSmoother ByBlock;
    for (ParameterSmoother* pSmoother : {&ByFrame, &ByBlock})
    {
        ASSERT_EQ(pSmoother->Initialize(0.5), 1);
        ASSERT_EQ(pSmoother->SetTarget(0.25, 7), 1);
        ASSERT_EQ(pSmoother->SetTarget(0.75, 3), 0);
    }
    constexpr uint64_t FRAMES = 40;
    std::vector<double> Frames(2 * FRAMES);
    for (uint64_t i = 0; i < Frames.size(); ++i)
    {
        Frames[i] = 1.0 + 0.37 * static_cast<double>(i);
    }
    std::vector<double> Expected = Frames;
    for (uint64_t f = 0; f < FRAMES; ++f)
    {
        double dfGain = 0.0;
        ASSERT_EQ(ByFrame.Next(dfGain), 1);
        Expected[2 * f] *= dfGain;
        Expected[2 * f + 1] *= dfGain;
    }
    for (uint64_t f = 0, n = 3; f < FRAMES; f += n, n += 2)
    {
        ASSERT_EQ(ByBlock.ScaleFrames(&Frames[2 * f], std::min(n, FRAMES - f), 2), 1);
    }
    EXPECT_EQ(Frames, Expected);

    ParameterSmoother Unready;
    const std::vector<double> Before = Frames;
    EXPECT_EQ(Unready.ScaleFrames(Frames.data(), FRAMES, 2), -1);
    EXPECT_EQ(Frames, Before);
}

TEST(ParameterSmoother, LaterQueuedTargetReplacesTheEarlierOne)
{
    ParameterSmoother Smoother;
    ASSERT_EQ(Smoother.Initialize(1.0), 1);
    ASSERT_EQ(Smoother.SetTarget(2.0, 4), 1);
    Steps(Smoother, 2);
    EXPECT_EQ(Smoother.SetTarget(3.0, 2), 0);
    EXPECT_EQ(Smoother.SetTarget(5.0, 2), 0);

    double dfValue = 0.0;
    EXPECT_EQ(Smoother.GetPendingTarget(dfValue), 1);
    EXPECT_EQ(dfValue, 5.0);
    EXPECT_EQ(Smoother.GetRampTarget(dfValue), 1);
    EXPECT_EQ(dfValue, 2.0);
    EXPECT_EQ(Smoother.GetCurrent(dfValue), 1);
    EXPECT_NEAR(dfValue, 1.1464466094067262, 1e-15);
    // The lowest of current value, running and queued target: here the current value ...
    EXPECT_EQ(Smoother.GetLowestValue(dfValue), 1);
    EXPECT_NEAR(dfValue, 1.1464466094067262, 1e-15);
    // ... and here the queued target.
    EXPECT_EQ(Smoother.SetTarget(0.5, 2), 0);
    EXPECT_EQ(Smoother.GetLowestValue(dfValue), 1);
    EXPECT_EQ(dfValue, 0.5);
    EXPECT_EQ(Smoother.SetTarget(5.0, 2), 0);

    const std::vector<double> Values = Steps(Smoother, 7);
    EXPECT_NEAR(Values[0], 1.5, 1e-15);
    EXPECT_NEAR(Values[1], 1.8535533905932737, 1e-15);
    // The first ramp completes; the queued one starts from where it ended.
    EXPECT_EQ(Values[2], 2.0);
    EXPECT_EQ(Values[3], 2.0);
    EXPECT_NEAR(Values[4], 3.5, 1e-15);
    EXPECT_EQ(Values[5], 5.0);
    EXPECT_EQ(Values[6], 5.0);
    EXPECT_EQ(Smoother.GetPendingTarget(dfValue), 0);
}

TEST(ParameterSmoother, LastStepLandsExactlyOnTheTarget)
{
    // start + (target - start) x 1 misses these targets by a rounding step.
    const double Pairs[][2] = {{0.7, 0.1}, {88200.0, 32658.20102791874}, {88200.0, 32470.10363111659}};
    for (const auto& Pair : Pairs)
    {
        ParameterSmoother Smoother;
        ASSERT_EQ(Smoother.Initialize(Pair[0]), 1);
        ASSERT_EQ(Smoother.SetTarget(Pair[1], 5), 1);
        const std::vector<double> Values = Steps(Smoother, 7);
        EXPECT_EQ(Values[5], Pair[1]);
        EXPECT_EQ(Values[6], Pair[1]);
    }
}

TEST(ParameterSmoother, RefusalsChangeNothing)
{
    ParameterSmoother Smoother;
    double dfValue = 9.0;
    EXPECT_EQ(Smoother.Next(dfValue), -1);
    EXPECT_EQ(dfValue, 0.0);
    EXPECT_EQ(Smoother.SetTarget(1.0, 1), -1);
    EXPECT_EQ(Smoother.Reset(), 0);
    EXPECT_EQ(Smoother.GetCurrent(dfValue), -1);
    EXPECT_EQ(Smoother.GetRampTarget(dfValue), -1);
    EXPECT_EQ(Smoother.GetPendingTarget(dfValue), -1);
    EXPECT_EQ(Smoother.GetLowestValue(dfValue), -1);
    EXPECT_EQ(Smoother.SetDefaultSteps(10), -1);
    EXPECT_EQ(Smoother.Initialize(std::numeric_limits<double>::quiet_NaN()), -4);
    EXPECT_EQ(Smoother.IsInitialized(), 0);

    // The same ramp with and without refused calls in between gives the same values.
    ParameterSmoother Untouched;
    for (ParameterSmoother* pSmoother : {&Smoother, &Untouched})
    {
        ASSERT_EQ(pSmoother->Initialize(0.5), 1);
        ASSERT_EQ(pSmoother->SetTarget(1.5, 6), 1);
        ASSERT_EQ(pSmoother->SetTarget(0.25, 2), 0);
        Steps(*pSmoother, 3);
    }
    const double dfNaN = std::numeric_limits<double>::quiet_NaN();
    const double dfInfinity = std::numeric_limits<double>::infinity();
    EXPECT_EQ(Smoother.SetTarget(dfNaN, 3), -4);
    EXPECT_EQ(Smoother.SetTarget(2.0, 0), -4);
    EXPECT_EQ(Smoother.SetTarget(dfInfinity, 3), -4);
    EXPECT_EQ(Smoother.Initialize(dfNaN), -4);
    EXPECT_EQ(Smoother.Initialize(-dfInfinity), -4);
    EXPECT_EQ(Smoother.SetDefaultSteps(0), -4);
    EXPECT_EQ(Smoother.GetDefaultSteps(), 1u);
    EXPECT_EQ(Steps(Smoother, 10), Steps(Untouched, 10));
}

TEST(ParameterSmoother, InitializeDropsRampsButKeepsTheLockAndResetDetachesIt)
{
    CCriticalSection Lock;
    ParameterSmoother Smoother;
    Smoother.pLock = &Lock;
    ASSERT_EQ(Smoother.Initialize(1.0), 1);
    EXPECT_EQ(Smoother.pLock, &Lock);
    EXPECT_EQ(Smoother.GetDefaultSteps(), 1u);
    ASSERT_EQ(Smoother.SetDefaultSteps(480), 1);
    EXPECT_EQ(Smoother.GetDefaultSteps(), 480u);
    ASSERT_EQ(Smoother.SetTarget(2.0, 4), 1);
    ASSERT_EQ(Smoother.SetTarget(3.0, 4), 0);
    Steps(Smoother, 2);

    ASSERT_EQ(Smoother.Initialize(0.5), 1);
    EXPECT_EQ(Smoother.pLock, &Lock);
    EXPECT_EQ(Smoother.GetDefaultSteps(), 1u);
    double dfValue = 0.0;
    EXPECT_EQ(Smoother.GetRampTarget(dfValue), 0);
    EXPECT_EQ(Smoother.GetPendingTarget(dfValue), 0);
    EXPECT_EQ(Steps(Smoother, 6), std::vector<double>(6, 0.5));

    // Every operation works while the caller already holds the lock (it is re-entrant).
    ASSERT_EQ(Lock.Enter(), 1);
    EXPECT_EQ(Smoother.SetTarget(1.0, 1), 1);
    EXPECT_EQ(Smoother.Next(dfValue), 1);
    ASSERT_EQ(Lock.Leave(), 1);

    EXPECT_EQ(Smoother.Reset(), 1);
    EXPECT_EQ(Smoother.pLock, nullptr);
    EXPECT_EQ(Smoother.IsInitialized(), 0);
    EXPECT_EQ(Smoother.GetDefaultSteps(), 0u);
    EXPECT_EQ(Smoother.Reset(), 0);
}

TEST(ParameterSmootherThreads, SetterThreadAgainstSteppingReaderLeavesNoTornState)
{
    CCriticalSection Lock;
    ParameterSmoother Smoother;
    Smoother.pLock = &Lock;
    ASSERT_EQ(Smoother.Initialize(1.0), 1);

    // Both sides keep going until each has done its share while the other runs, but the setter's
    // loop never passes MAX_TARGETS, however the scheduler (or an unfair lock) treats the reader:
    // a starved reader shortens the overlap, never lengthens the loop. Past its own share the
    // setter yields after each target, so that a reader waiting for the lock gets it. The index is
    // unsigned 64-bit: i * 7919 stays far from overflow for every i below MAX_TARGETS.
    constexpr uint64_t TARGETS = 20000;
    constexpr uint64_t MAX_TARGETS = 50 * TARGETS;
    constexpr uint64_t STEPS = 20000;
    constexpr double LAST_TARGET = 2.0;
    static_assert(MAX_TARGETS < std::numeric_limits<uint64_t>::max() / 7919, "i * 7919 must not overflow");
    std::atomic<uint64_t> ullSteps{0};
    std::atomic<uint64_t> ullTargets{0};
    std::atomic<bool> bSetterDone{false};
    std::thread Setter(
        [&]
        {
            uint64_t i = 0;
            for (; i < MAX_TARGETS && (i < TARGETS || ullSteps.load() < STEPS); ++i)
            {
                // Targets between 1 and 3, ramps of 1 ... 7 steps.
                const double dfTarget = 1.0 + static_cast<double>((i * 7919) % 2001) / 1000.0;
                Smoother.SetTarget(dfTarget, 1 + i % 7);
                if (i >= TARGETS)
                {
                    std::this_thread::yield();
                }
            }
            ullTargets = i;
            Smoother.SetTarget(LAST_TARGET, 3);
            bSetterDone = true;
        });

    // Every value lies between the lowest and highest target; a torn ramp (target of one ramp
    // with the start or length of another) would leave that range or never reach the last target.
    uint64_t ullOutside = 0;
    double dfValue = 0.0;
    while (!bSetterDone)
    {
        if (Smoother.Next(dfValue) != 1 || dfValue < 1.0 || dfValue > 3.0)
        {
            ++ullOutside;
        }
        double dfLowest = 0.0;
        if (Smoother.GetLowestValue(dfLowest) != 1 || dfLowest < 1.0 || dfLowest > 3.0)
        {
            ++ullOutside;
        }
        ++ullSteps;
    }
    Setter.join();
    // The last target is running or queued; both ramps together end within 7 + 3 + 2 steps.
    for (int i = 0; i < 12; ++i)
    {
        ASSERT_EQ(Smoother.Next(dfValue), 1);
    }
    EXPECT_EQ(ullOutside, 0u) << "after " << ullSteps.load() << " steps against " << ullTargets.load()
                              << " targets";
    EXPECT_EQ(dfValue, LAST_TARGET);
    double dfTarget = 0.0;
    EXPECT_EQ(Smoother.GetRampTarget(dfTarget), 0);
    EXPECT_EQ(Smoother.GetPendingTarget(dfTarget), 0);
    // How much the two overlapped (the scheduler decides; no assertion can depend on it).
    std::printf("[          ] %llu targets set against %llu steps\n",
                static_cast<unsigned long long>(ullTargets.load()),
                static_cast<unsigned long long>(ullSteps.load()));
}
