#include "tests/common/PlayerChecks.h"

#include "app/dialog/DialogControlIds.h"
#include "app/dialog/ProgramEntry.h"
#include "app/player/PlayerState.h"
#include "output/CSoundStreamWASAPI.h"
#include "runtime/CMultiThreadWin.h"
#include "tests/common/RecordingDialogHost.h"

#include <gtest/gtest.h>

using namespace DialogControlIds;

void PlayerChecks::StopsByItselfWhenTheDeviceGoes(RecordingDialogHost& Host, ProgramEntry& Entry,
                                                  std::chrono::milliseconds Wait, const std::string& Device)
{
    PlayerState& State = PlayerState::Instance();
    const uint32_t uiDrain = Entry.GetController().DrainMilliseconds();
    std::chrono::steady_clock::duration Longest{};
    ASSERT_TRUE(Host.FireTimerUntilStopped(Wait, Longest)) << "the player kept playing on " << Device;
    EXPECT_LE(Longest, std::chrono::milliseconds(uiDrain + 200));
    EXPECT_EQ(State.bPlaying, 0);
    EXPECT_TRUE(Host.Messages().empty());
    EXPECT_TRUE(Host.IsEnabled(ID_PLAY));
    EXPECT_FALSE(Host.IsEnabled(ID_PAUSE));
    EXPECT_FALSE(Host.IsEnabled(ID_STOP));
    for (const int32_t iId :
         {ID_CHOOSE_FILE, ID_DEVICE_COMBO, ID_RATE_COMBO, ID_BIT_FIELD, ID_ENHANCER_CHECK, ID_SETTINGS})
    {
        EXPECT_TRUE(Host.IsEnabled(iId)) << "control " << iId;
    }
    EXPECT_EQ(Host.Cell(ID_DEVICE_LIST, 0, 1), u"");
    ASSERT_NE(State.pSoundStream, nullptr);
    EXPECT_EQ(State.pSoundStream->GetWorker().GetState(), THREAD_STATE_EMPTY);
    ASSERT_NE(State.pPlaybackThread, nullptr);
    EXPECT_EQ(State.pPlaybackThread->GetState(), THREAD_STATE_EMPTY);
}
