#include "app/dialog/DialogControlIds.h"
#include "app/player/OfflineRenderer.h"
#include "conversion/ParameterSmoother.h"
#include "conversion/SamplingFrequencyConverter.h"
#include "output/CSoundStreamWASAPI.h"
#include "soundbuffer/IntelligentSoundBuffer.h"
#include "tests/common/ChainSignals.h"
#include "tests/common/TestFiles.h"
#include "tests/dialog/PlayerRig.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

using namespace DialogControlIds;

// A whole use of the player on the recording host and the virtual device (clock moved by the test,
// one sound-buffer period at a time, only once the sound buffer holds what the render thread takes):
// choose a file, play at x1, drag the speed slider while playing, pause, resume, change the volume,
// stop, play again, close. What the device received at x1, before the slider first moved, must be
// the offline render of the same file at the same settings.

TEST(WholeUse, PlayDragPauseResumeVolumeStopPlayClose)
{
    PlayerRig Rig;
    Rig.pDevice->AcceptFormat(AUDIO_SHAREMODE_EXCLUSIVE, 48000, 24);
    RecordingDialogHost& Host = Rig.Host;
    Host.Open();
    const auto Input = Rig.ChooseToneFile("whole-use.wav", 88200);
    const std::vector<int32_t> Offline =
        ChainSignals::RenderOfflineCodes(Input, 48000, 24, 1.0, -20.0); // the initial volume
    ASSERT_GT(Offline.size(), 0u);

    // Play at x1; the start lets the render thread fill the device buffer (2880 frames: six 480-frame
    // periods) only once the sound buffer holds that much, so the pre-fill is sound.
    ASSERT_TRUE(Host.Click(ID_PLAY));
    ASSERT_EQ(Rig.State.bPlaying, 1);
    EXPECT_EQ(Host.Cell(ID_DEVICE_LIST, 0, 1), u"48000");
    EXPECT_EQ(Host.Cell(ID_DEVICE_LIST, 1, 1), u"24");
    EXPECT_EQ(Host.Cell(ID_DEVICE_LIST, 2, 1), u"排他モード");
    const uint64_t P = Rig.State.pIntelligentSoundBuffer->ullPeriodFrames;
    ASSERT_EQ(P, 480u);
    ASSERT_TRUE(Rig.PlayPeriods(30));
    Host.FireTimer();
    EXPECT_GT(Host.Item(ID_PROGRESS).iPosition, 0);

    // Everything written so far was converted at x1.
    const std::vector<uint8_t> Written = Rig.pDevice->GetWrittenBytes();
    const std::vector<int32_t> Heard = ChainSignals::DecodeCodes(Written.data(), Written.size(), 24);
    EXPECT_EQ(Rig.pDevice->GetStreamState().ullUnderrunFrames, 0u);
    const uint64_t ullHeardFrames = Heard.size() / 2;
    ASSERT_GE(ullHeardFrames, 2880u + 30 * P);
    // The sound buffer hands out its first period one period late: silence.
    for (uint64_t i = 0; i < 2 * P; ++i)
    {
        ASSERT_EQ(Heard[i], 0) << "frame " << i / 2;
    }
    const uint64_t ullCompared = std::min<uint64_t>(ullHeardFrames - P, Offline.size() / 2);
    // The first period of the file fades in.
    for (uint64_t i = 0; i < 2 * ullCompared; ++i)
    {
        if (i < 2 * P)
        {
            ASSERT_LE(std::abs(Heard[2 * P + i]), std::abs(Offline[i]) + 1) << "frame " << i / 2;
            continue;
        }
        ASSERT_LE(std::abs(Heard[2 * P + i] - Offline[i]), 1) << "frame " << i / 2 << " of " << ullCompared;
    }

    // Drag the speed slider through 50 positions while playing.
    SamplingFrequencyConverter* pConverter = Rig.State.pSamplingFrequencyConverter;
    for (int32_t iPosition = 121; iPosition <= 170; ++iPosition)
    {
        Host.MoveSlider(ID_SPEED_SLIDER, iPosition);
        ASSERT_TRUE(Rig.PlayPeriods(1));
        Host.FireTimer();
    }
    EXPECT_NEAR(LatestTarget(*pConverter->pRateSmoother), 48000.0 / std::pow(2.0, 50.0 / 120.0), 1e-6);
    EXPECT_EQ(Host.GetItemText(ID_SPEED_LABEL), u"x1.3348");

    // Pause, let the device run on, resume.
    Host.Click(ID_PAUSE);
    for (int32_t i = 0; i < 5; ++i)
    {
        const uint64_t ullWritten = Rig.pDevice->GetStreamState().ullWrittenFrames;
        Rig.pDevice->Advance(P);
        ASSERT_TRUE(Rig.pDevice->WaitForWrittenFrames(ullWritten + P, 30000));
        Host.FireTimer();
    }
    Host.Click(ID_PLAY);
    ASSERT_TRUE(Rig.PlayPeriods(5));

    // Volume to -30 dB.
    Host.MoveSlider(ID_VOLUME_SLIDER, 300);
    EXPECT_NEAR(LatestTarget(*Rig.State.pVolume), std::pow(10.0, -1.5), 1e-12);
    EXPECT_EQ(Host.GetItemText(ID_VOLUME_LABEL), u"-30.0 dB");
    ASSERT_TRUE(Rig.PlayPeriods(5));

    Host.Click(ID_STOP);
    EXPECT_EQ(Rig.State.bPlaying, 0);
    EXPECT_EQ(Rig.pDevice->GetStreamState().bOpen, 0);

    // Play again: new objects, the slider's speed from the start.
    Host.Click(ID_PLAY);
    ASSERT_EQ(Rig.State.bPlaying, 1);
    EXPECT_NE(Rig.State.pSamplingFrequencyConverter, nullptr);
    EXPECT_NEAR(LatestTarget(*Rig.State.pSamplingFrequencyConverter->pRateSmoother),
                48000.0 / std::pow(2.0, 50.0 / 120.0), 1e-6);
    ASSERT_TRUE(Rig.PlayPeriods(5));
    Host.FireTimer();

    Host.Click(ID_CANCEL);
    EXPECT_TRUE(Host.HasEnded());
    EXPECT_EQ(Host.EndResult(), 0);
    EXPECT_EQ(Rig.State.bPlaying, 0);
    EXPECT_TRUE(Host.Messages().empty());
}
