#include "app/player/OfflineRenderer.h"
#include "tests/common/TestFiles.h"
#include "tests/common/WaveFileBuilder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <vector>

TEST(OfflineRenderer, RefusesBitCountsAndVolumesOutOfRangeBeforeWriting)
{
    const auto Input = TestFiles::Write(
        "offline-in.wav", WaveFileBuilder::PcmWave(std::vector<double>(200, 0.25), 2, 44100, 16));
    const auto Output = TestFiles::PathFor("offline-refused.wav");
    struct Case
    {
        uint32_t uiBits;
        uint32_t uiContainer;
        double dfVolumeDb;
    };
    for (const Case& Item : {Case{33, 0, 0.0}, Case{24, 16, 0.0}, Case{8, 8, 0.0}, Case{16, 20, 0.0},
                             Case{0, 0, 0.5}, Case{16, 0, -80.5}, Case{0, 0, std::nan("")}})
    {
        OfflineRenderer Renderer;
        OfflineRenderer::Settings Choice;
        Choice.uiBitCount = Item.uiBits;
        Choice.uiContainerBits = Item.uiContainer;
        Choice.dfVolumeDb = Item.dfVolumeDb;
        EXPECT_EQ(
            Renderer.Render(TestFiles::Wide(Input).c_str(), TestFiles::Wide(Output).c_str(), Choice, nullptr),
            -4);
        EXPECT_EQ(Renderer.GetFailedStep(), OfflineRenderer::Step::Settings);
        EXPECT_FALSE(std::filesystem::exists(Output));
    }
    EXPECT_EQ(OfflineRenderer::DefaultContainer(1), 16u);
    EXPECT_EQ(OfflineRenderer::DefaultContainer(17), 24u);
    EXPECT_EQ(OfflineRenderer::DefaultContainer(25), 32u);
    EXPECT_EQ(OfflineRenderer::DefaultContainer(33), 0u);
    EXPECT_EQ(OfflineRenderer::PeriodFrames(44100), 441u);
    EXPECT_EQ(OfflineRenderer::PeriodFrames(11025), 111u);
    EXPECT_EQ(OfflineRenderer::PeriodFrames(1), 1u);
}

TEST(OfflineRenderer, RefusesSpeedChangesThePlayerCannotMakeBeforeWriting)
{
    // 4410 frames: 0.1 s of input.
    const auto Input =
        TestFiles::Write("offline-changes-in.wav",
                         WaveFileBuilder::PcmWave(std::vector<double>(2 * 4410, 0.25), 2, 44100, 16));
    const auto Output = TestFiles::PathFor("offline-changes.wav");
    using Change = OfflineRenderer::SpeedChange;
    const std::vector<std::vector<Change>> Refused = {
        {{0.05, 2.0}, {0.04, 1.0}}, // back in time
        {{-0.01, 2.0}},             // before the start
        {{std::nan(""), 2.0}},      //
        {{0.11, 2.0}},              // past the end
        {{0.05, 0.49}},             // below the slider's x0.5
        {{0.05, 2.53}},             // above its x2.52
        {{0.05, std::nan("")}},
    };
    for (const std::vector<Change>& Changes : Refused)
    {
        OfflineRenderer Renderer;
        OfflineRenderer::Settings Choice;
        Choice.SpeedChanges = Changes;
        EXPECT_EQ(
            Renderer.Render(TestFiles::Wide(Input).c_str(), TestFiles::Wide(Output).c_str(), Choice, nullptr),
            -4);
        EXPECT_EQ(Renderer.GetFailedStep(), OfflineRenderer::Step::SpeedChanges);
        EXPECT_EQ(Renderer.GetInputFrames(), 4410u);
        EXPECT_FALSE(std::filesystem::exists(Output));
    }
    // The ends of the input and of the slider, and two changes at one time, are moves it can make.
    OfflineRenderer Renderer;
    OfflineRenderer::Settings Choice;
    Choice.SpeedChanges = {{0.0, 0.5}, {0.05, 2.5198}, {0.05, 1.0}, {0.1, 0.5}};
    EXPECT_EQ(
        Renderer.Render(TestFiles::Wide(Input).c_str(), TestFiles::Wide(Output).c_str(), Choice, nullptr), 1);
    EXPECT_TRUE(std::filesystem::exists(Output));
}
