#include "app/player/PlayerState.h"
#include "conversion/ParameterSmoother.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>

// The UI thread sets volume targets while the playback thread steps the gain once per frame: the
// record's lock keeps the two apart (the thread sanitizer build checks it), and the value never
// leaves the range of the targets.
TEST(PlayerState, VolumeIsSharedUnderItsLock)
{
    PlayerState State;
    ASSERT_EQ(State.CreateVolume(), 1);
    ASSERT_NE(State.pVolume, nullptr);
    EXPECT_EQ(State.pVolume->pLock, &State.VolumeLock);
    ASSERT_EQ(State.pVolume->Initialize(0.1), 1);
    ASSERT_EQ(State.pVolume->SetDefaultSteps(64), 1);

    std::atomic<bool> bDone{false};
    std::atomic<bool> bOutOfRange{false};
    std::thread Playback(
        [&State, &bDone, &bOutOfRange]
        {
            while (!bDone.load(std::memory_order_relaxed))
            {
                double dfGain = 0.0;
                if (State.pVolume->Next(dfGain) != 1 || !(dfGain >= 0.01 - 1e-12 && dfGain <= 1.0 + 1e-12))
                {
                    bOutOfRange.store(true);
                }
            }
        });
    for (int i = 0; i < 2000; ++i)
    {
        const double dfGain = (i % 2 == 0) ? 1.0 : 0.01;
        EXPECT_GE(State.pVolume->SetTarget(dfGain, State.pVolume->GetDefaultSteps()), 0);
    }
    bDone.store(true);
    Playback.join();
    EXPECT_FALSE(bOutOfRange.load());

    State.DestroyVolume();
    EXPECT_EQ(State.pVolume, nullptr);
}

TEST(PlayerState, DeviceBlockRefusalLeavesNoBlock)
{
    PlayerState State;
    ASSERT_EQ(State.AllocateDeviceBlock(960), 1);
    EXPECT_EQ(State.ullDeviceBlockCount, 960u);
    EXPECT_EQ(State.pdfDeviceBlock[959], 0.0);
    // A refused size leaves no block behind.
    EXPECT_EQ(State.AllocateDeviceBlock(0), -4);
    EXPECT_EQ(State.pdfDeviceBlock, nullptr);
    EXPECT_EQ(State.ullDeviceBlockCount, 0u);
}
