#include "runtime/CCriticalSection.h"
#include "runtime/CEvent.h"
#include "runtime/CriticalSectionHolder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace
{
TEST(EventTest, ResultsWithoutAPlatformEvent)
{
    CEvent Event;
    EXPECT_EQ(-1, Event.Set());
    EXPECT_EQ(-1, Event.Reset());
    EXPECT_EQ(-1, Event.Wait(0));
    EXPECT_EQ(-1, Event.Wait());
    EXPECT_EQ(0, Event.Close());

    ASSERT_EQ(1, Event.Create(1, 0));
    EXPECT_EQ(1, Event.Close());
    EXPECT_EQ(0, Event.Close());
    EXPECT_EQ(-1, Event.Set());
}

TEST(EventTest, InitialStateIsSignalledOnlyForOne)
{
    CEvent Event;
    ASSERT_EQ(1, Event.Create(1, 2));
    EXPECT_EQ(0, Event.IsSignalledRecord());
    EXPECT_EQ(0, Event.Wait(0));

    ASSERT_EQ(1, Event.Create(1, 1)); // replaces the first event
    EXPECT_EQ(1, Event.IsSignalledRecord());
    EXPECT_EQ(1, Event.Wait(0));
}

TEST(EventTest, ManualResetStaysSetUntilReset)
{
    CEvent Event;
    ASSERT_EQ(1, Event.Create(1, 0));
    EXPECT_EQ(0, Event.Wait(0));
    ASSERT_EQ(1, Event.Set());
    EXPECT_EQ(1, Event.Wait(0));
    EXPECT_EQ(1, Event.Wait(0));
    EXPECT_EQ(1, Event.IsSignalledRecord());
    ASSERT_EQ(1, Event.Reset());
    EXPECT_EQ(0, Event.IsSignalledRecord());
    EXPECT_EQ(0, Event.Wait(0));
}

TEST(EventTest, AutoResetReleasesOneWaitPerSet)
{
    CEvent Event;
    ASSERT_EQ(1, Event.Create(0, 0));
    ASSERT_EQ(1, Event.Set());
    EXPECT_EQ(1, Event.Wait(0));
    EXPECT_EQ(0, Event.IsSignalledRecord());
    EXPECT_EQ(0, Event.Wait(0));
    // Two sets without a wait in between still release only one wait.
    ASSERT_EQ(1, Event.Set());
    ASSERT_EQ(1, Event.Set());
    EXPECT_EQ(1, Event.Wait(0));
    EXPECT_EQ(0, Event.Wait(0));
}

TEST(EventTest, TimedWaitTimesOutAfterRoughlyItsTime)
{
    CEvent Event;
    ASSERT_EQ(1, Event.Create(0, 0));
    const auto Start = std::chrono::steady_clock::now();
    EXPECT_EQ(0, Event.Wait(50));
    const auto Elapsed = std::chrono::steady_clock::now() - Start;
    EXPECT_GE(Elapsed, std::chrono::milliseconds(40));
    EXPECT_LT(Elapsed, std::chrono::seconds(10));
}

TEST(EventTest, WakesWaitersOnOtherThreads)
{
    // Auto-reset: each Set lets exactly one of two waiting threads through.
    CEvent Go;
    CEvent Done;
    ASSERT_EQ(1, Go.Create(0, 0));
    ASSERT_EQ(1, Done.Create(0, 0));
    std::atomic<int> iReleased{0};
    auto Waiter = [&]
    {
        if (Go.Wait() == 1)
        {
            ++iReleased;
            Done.Set();
        }
    };
    std::thread First(Waiter);
    std::thread Second(Waiter);
    ASSERT_EQ(1, Go.Set());
    ASSERT_EQ(1, Done.Wait(10000));
    EXPECT_EQ(0, Done.Wait(100)); // the second waiter is still blocked
    EXPECT_EQ(1, iReleased.load());
    ASSERT_EQ(1, Go.Set());
    ASSERT_EQ(1, Done.Wait(10000));
    First.join();
    Second.join();
    EXPECT_EQ(2, iReleased.load());

    // Manual reset: one Set releases every waiter.
    CEvent Open;
    ASSERT_EQ(1, Open.Create(1, 0));
    std::atomic<int> iPassed{0};
    std::thread A([&] { iPassed += Open.Wait(); });
    std::thread B([&] { iPassed += Open.Wait(); });
    ASSERT_EQ(1, Open.Set());
    A.join();
    B.join();
    EXPECT_EQ(2, iPassed.load());
}

TEST(CriticalSectionTest, RecursiveForOwnerAndExclusiveForOthers)
{
    CCriticalSection Section;
    ASSERT_EQ(1, Section.Enter());
    ASSERT_EQ(1, Section.Enter()); // recursive entry by the owner does not deadlock

    CEvent Entered;
    ASSERT_EQ(1, Entered.Create(1, 0));
    std::thread Other(
        [&]
        {
            Section.Enter();
            Entered.Set();
            Section.Leave();
        });
    EXPECT_EQ(1, Section.Leave());
    // Still held once: the other thread must not get in.
    EXPECT_EQ(0, Entered.Wait(100));
    EXPECT_EQ(1, Section.Leave());
    EXPECT_EQ(1, Entered.Wait(10000));
    Other.join();
}

TEST(CriticalSectionTest, HolderLeavesOnEveryExit)
{
    CCriticalSection Section;
    auto EarlyReturn = [&](bool bEarly)
    {
        CriticalSectionHolder Holder(&Section);
        if (bEarly)
        {
            return 1;
        }
        Holder.Leave();
        Holder.Leave(); // a second early leave does nothing
        return 2;
    };
    EXPECT_EQ(1, EarlyReturn(true));
    EXPECT_EQ(2, EarlyReturn(false));

    // If either path had left the section held, this thread could not enter it.
    std::atomic<bool> bGotIn{false};
    std::thread Other(
        [&]
        {
            Section.Enter();
            bGotIn = true;
            Section.Leave();
        });
    Other.join();
    EXPECT_TRUE(bGotIn.load());

    CriticalSectionHolder NullHolder(nullptr); // holding nothing is allowed
}
} // namespace
