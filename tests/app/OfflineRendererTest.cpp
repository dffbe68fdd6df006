#include "app/OfflineRenderer.h"
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
