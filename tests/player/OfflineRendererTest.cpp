#include "app/player/OfflineRenderer.h"
#include "app/player/PlayerScales.h"
#include "tests/common/TestFiles.h"
#include "tests/common/WaveFileBuilder.h"
#include "wave/AudioFileOpener.h"
#include "wave/WaveFileWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <numbers>
#include <numeric>
#include <string>
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

// A section lasts exactly its length at the speed: N input frames give ceil(N x device rate /
// (input rate x speed)) frames, with none of the silence that drains the converter past its end. The
// whole file keeps that tail, and a section that ends at the file's end does not.
TEST(OfflineRenderer, ASectionLastsItsLengthAtTheSpeedToTheFrame)
{
    constexpr uint32_t RATE = 44100;
    constexpr uint64_t FRAMES = 3 * RATE;
    std::vector<double> Signal(2 * FRAMES);
    for (uint64_t n = 0; n < FRAMES; ++n)
    {
        Signal[2 * n] = 0.5 * std::sin(2.0 * std::numbers::pi * 440.0 * static_cast<double>(n) / RATE);
        Signal[2 * n + 1] = -Signal[2 * n];
    }
    const auto Input =
        TestFiles::Write("offline-section-in.wav", WaveFileBuilder::PcmWave(Signal, 2, RATE, 24));
    const auto Output = TestFiles::PathFor("offline-section.wav");
    struct Case
    {
        uint32_t uiDeviceRate;
        int32_t iPosition; // the speed slider's
        double dfFrom;
        double dfTo; // negative: the end
        int32_t bKeepPitch = 0;
    };
    const Case Cases[] = {
        {44100, 120, 1.0, 2.0},    // x1 at the file rate: the section's own frames
        {48000, 70, 0.5, 2.25},    // x0.7492
        {96000, 70, 2.0, 3.0},     // up to the file's end
        {22050, 165, 0.25, 1.75},  // x1.2968 (x1.3)
        {192000, 240, 0.1, 2.9},   // x2: 268800 frames, the last one ending on the section's end
        {48000, 100, 1.2, -1.0},   // from 1.2 s to the end
        {44100, 120, 0.0, 3.0},    // the whole file named as a section
        {48000, 70, 0.5, 2.25, 1}, // keeping the pitch: the stretched section ends where its end maps
        {96000, 240, 2.0, 3.0, 1},
    };
    for (const Case& Item : Cases)
    {
        SCOPED_TRACE(testing::Message() << Item.uiDeviceRate << " Hz, position " << Item.iPosition << ", "
                                        << Item.dfFrom << " ... " << Item.dfTo << " s");
        OfflineRenderer Renderer;
        OfflineRenderer::Settings Choice;
        Choice.uiDeviceRate = Item.uiDeviceRate;
        Choice.dfSpeed = PlayerScales::SpeedOfPosition(Item.iPosition);
        Choice.dfFromSeconds = Item.dfFrom;
        Choice.dfToSeconds = Item.dfTo;
        Choice.bKeepPitch = Item.bKeepPitch;
        ASSERT_EQ(
            Renderer.Render(TestFiles::Wide(Input).c_str(), TestFiles::Wide(Output).c_str(), Choice, nullptr),
            1);
        const uint64_t N =
            (Item.dfTo < 0.0 ? FRAMES : static_cast<uint64_t>(std::llround(Item.dfTo * RATE))) -
            static_cast<uint64_t>(std::llround(Item.dfFrom * RATE));
        // Frame j lies at j x step of the input; the first at or past frame N (within a millionth of
        // a frame: x2 here is 2^(120/120) rounded, and ends its section exactly) is not written.
        const double dfRatio = Item.uiDeviceRate / (RATE * Choice.dfSpeed);
        const double dfExact = static_cast<double>(N) * dfRatio;
        // Keeping the pitch, the stretched frames end at the nearest one to the section's end.
        const double dfSlack = Item.bKeepPitch != 0 ? Item.uiDeviceRate / double{RATE} : 0.0;
        EXPECT_NEAR(static_cast<double>(Renderer.GetFramesWritten()), std::ceil(dfExact - 1e-6 * dfRatio),
                    dfSlack)
            << dfExact;
    }

    // The whole file: the converter's drained tail after the last frame, as always (to the end of
    // the last hop and the one the silence adds: 3 x 44100 = 1033 hops + 64 frames, so 1034 hops).
    OfflineRenderer Renderer;
    OfflineRenderer::Settings Choice;
    Choice.uiDeviceRate = RATE;
    ASSERT_EQ(
        Renderer.Render(TestFiles::Wide(Input).c_str(), TestFiles::Wide(Output).c_str(), Choice, nullptr), 1);
    EXPECT_EQ(Renderer.GetFramesWritten(), 1034u * 128u);
}

namespace
{
// The first 4 s of a sound file's left channel.
std::vector<double> LeftOf(const std::filesystem::path& Path)
{
    AudioFileOpener Reader;
    std::vector<double> Sound(2 * 4 * 48000);
    uint64_t ullFrames = Sound.size() / 2;
    EXPECT_GE(Reader.Open(TestFiles::Wide(Path).c_str()) >= 0 ? Reader.ReadFrames(Sound.data(), &ullFrames)
                                                              : -1,
              0);
    std::vector<double> Left(Reader.IsOpen() != 0 ? ullFrames : 0);
    for (size_t f = 0; f < Left.size(); ++f)
    {
        Left[f] = Sound[2 * f];
    }
    return Left;
}
} // namespace

// Every coding renders as the tone it holds, at its pitch and level; a render from a frame on (a
// seek into the file) is the render of the same sound cut at that frame.
TEST(OfflineRenderer, EveryCodingRendersItsToneAndASeekIsTheFileCutThere)
{
    std::vector<double> Signal(2 * 88200);
    for (size_t n = 0; n < Signal.size(); ++n)
    {
        Signal[n] = 0.5 * std::sin(2.0 * std::numbers::pi * 1000.0 * static_cast<double>(n / 2) / 44100);
    }
    const auto Source =
        TestFiles::Write("codings-source.wav", WaveFileBuilder::PcmWave(Signal, 2, 44100, 24));
    const auto Render = [](const std::filesystem::path& In, const char* pOut, double dfFrom)
    {
        OfflineRenderer Renderer;
        OfflineRenderer::Settings Choice;
        Choice.dfFromSeconds = dfFrom;
        EXPECT_EQ(Renderer.Render(TestFiles::Wide(In).c_str(),
                                  TestFiles::Wide(TestFiles::PathFor(pOut)).c_str(), Choice, nullptr),
                  1);
        return LeftOf(TestFiles::PathFor(pOut));
    };
    for (const char* pCoding :
         {"f32.wav:-c:a pcm_f32le", "flac:-c:a flac", "mp3:-c:a libmp3lame -b:a 192k",
          "m4a:-c:a aac -b:a 192k", "ogg:-c:a libvorbis", "opus:-c:a libopus -b:a 128k"})
    {
        SCOPED_TRACE(pCoding);
        const std::string Recipe(pCoding);
        const auto Input = TestFiles::PathFor("codings." + Recipe.substr(0, Recipe.find(':')));
        if (std::system(("ffmpeg -nostdin -v error -y -i '" + Source.string() + "' " +
                         Recipe.substr(Recipe.find(':') + 1) + " '" + Input.string() + "'")
                            .c_str()) != 0)
        {
            GTEST_SKIP() << "no ffmpeg tool to make the files";
        }
        const std::vector<double> Left = Render(Input, "codings-whole.wav", 0.0);
        ASSERT_GE(Left.size(), 96000u);
        double dfSquares = 0.0;
        uint64_t ullCrossings = 0;
        for (size_t i = 24000; i < 72000; ++i)
        {
            dfSquares += Left[i] * Left[i];
            ullCrossings += (Left[i - 1] < 0.0 && Left[i] >= 0.0) ? 1 : 0;
        }
        EXPECT_NEAR(20.0 * std::log10(std::sqrt(dfSquares / 48000.0) / (0.5 / std::numbers::sqrt2)), 0.0,
                    0.5);
        EXPECT_NEAR(static_cast<double>(ullCrossings), 1000.0, 1.0) << "1 kHz over one second";

        // From 0.75 s on, against the decoded sound cut there (a float file the WAV reader reads).
        AudioFileOpener Reader;
        ASSERT_EQ(Reader.Open(TestFiles::Wide(Input).c_str()), 1);
        const uint64_t ullRate = Reader.GetFormat().uiSamplingFrequency;
        std::vector<double> Sound(2 * 3 * ullRate);
        uint64_t ullFrames = 3 * ullRate;
        ASSERT_EQ(Reader.ReadFrames(Sound.data(), &ullFrames), 1);
        ullFrames -= ullRate * 3 / 4;
        WaveFileWriter Cut;
        ASSERT_EQ(Cut.Open(TestFiles::Wide(TestFiles::PathFor("codings-cut.wav")).c_str(), 2,
                           static_cast<uint32_t>(ullRate), WaveSampleFormat::Float32),
                  1);
        ASSERT_EQ(Cut.WriteFrames(Sound.data() + 2 * (ullRate * 3 / 4), ullFrames), 1);
        ASSERT_EQ(Cut.Close(), 1);
        const std::vector<double> FromSeek = Render(Input, "codings-seeked.wav", 0.75);
        const std::vector<double> FromCut =
            Render(TestFiles::PathFor("codings-cut.wav"), "codings-cut-render.wav", 0.0);
        ASSERT_GT(std::min(FromSeek.size(), FromCut.size()), 48000u);
        const double dfWorst = std::transform_reduce(
            FromSeek.begin(), FromSeek.begin() + 48000, FromCut.begin(), 0.0,
            [](double a, double b) { return std::max(a, b); },
            [](double a, double b) { return std::abs(a - b); });
        // Opus' decoder runs in from its pre-roll close to, not exactly onto, the sound from the start.
        EXPECT_LE(dfWorst, Recipe.starts_with("opus") ? 2e-2 : 1e-5);
    }
}
