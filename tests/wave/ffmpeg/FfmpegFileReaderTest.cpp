#include "wave/ffmpeg/FfmpegFileReader.h"
#include "tests/common/TestFiles.h"
#include "tests/common/WaveFileBuilder.h"
#include "wave/AudioFileOpener.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <string>
#include <vector>

namespace
{
constexpr uint32_t RATE = 44100;
constexpr uint64_t FRAMES = 2 * RATE;
// The music begins here: silence before, a 1 kHz tone at half scale from here on.
constexpr uint64_t ONSET = 1000;

struct Coding
{
    const char* pFile;
    const char* pArguments;
    const char16_t* pName;
    uint32_t uiBits;
    uint32_t uiRate;
    uint64_t ullFrame;      // a lossy length's tolerance: the codec's frame; 0 for exact
    double dfSeekTolerance; // after a seek, against the same samples read from the start
};

const Coding CODINGS[] = {
    {"tone.flac", "-c:a flac -sample_fmt s32 -bits_per_raw_sample 24", u"FLAC", 24, RATE, 0, 0.0},
    {"tone.mp3", "-c:a libmp3lame -b:a 192k", u"MP3", 0, RATE, 1152, 0.0},
    {"tone.m4a", "-c:a aac -b:a 192k", u"AAC", 0, RATE, 1024, 0.0},
    {"tone.ogg", "-c:a libvorbis", u"Vorbis", 0, RATE, 2048, 1e-6},
    {"tone.opus", "-c:a libopus -b:a 128k", u"Opus", 0, 48000, 960, 2e-2},
    {"tone-alac.m4a", "-c:a alac -sample_fmt s16p", u"ALAC", 16, RATE, 0, 0.0},
    {"tone.aiff", "-c:a pcm_s24be", u"AIFF", 24, RATE, 0, 0.0},
    {"tone.wv", "-c:a wavpack -sample_fmt s16p", u"WavPack", 16, RATE, 0, 0.0},
    {"tone-ulaw.wav", "-c:a pcm_mulaw", u"WAV mu-law", 0, RATE, 0, 0.0},
};

// The coding's file, made by the ffmpeg tool from a 24-bit WAV source; empty without the tool.
std::filesystem::path Encoded(const Coding& Item)
{
    static const std::filesystem::path Source = []
    {
        std::vector<double> Samples(2 * FRAMES, 0.0);
        for (uint64_t f = ONSET; f < FRAMES; ++f)
        {
            Samples[2 * f] = Samples[2 * f + 1] =
                0.5 * std::cos(2.0 * std::numbers::pi * 1000.0 * static_cast<double>(f - ONSET) / RATE);
        }
        return TestFiles::Write("source.wav", WaveFileBuilder::PcmWave(Samples, 2, RATE, 24));
    }();
    const std::filesystem::path Path = TestFiles::PathFor(Item.pFile);
    const std::string Command = "ffmpeg -nostdin -v error -y -i '" + Source.string() + "' " +
                                Item.pArguments + " '" + Path.string() + "'";
    return std::filesystem::exists(Path) || std::system(Command.c_str()) == 0 ? Path
                                                                              : std::filesystem::path();
}

std::vector<double> ReadAll(SAudioFileReader& Reader, uint64_t ullPerCall = 1000)
{
    const uint64_t ullChannels = Reader.GetFormat().uiChannelCount;
    std::vector<double> All;
    std::vector<double> Block(ullPerCall * ullChannels);
    for (uint64_t ullFrames = 1; ullFrames != 0 && All.size() < 100 * FRAMES;)
    {
        ullFrames = ullPerCall;
        EXPECT_GE(Reader.ReadFrames(Block.data(), &ullFrames), 0);
        All.insert(All.end(), Block.begin(), Block.begin() + static_cast<long>(ullFrames * ullChannels));
    }
    return All;
}
} // namespace

TEST(FfmpegFileReader, ReadsEveryCodingGaplessWithItsLengthAndSeeksToTheExactFrame)
{
    uint32_t uiEstimated = 0;
    for (const Coding& Item : CODINGS)
    {
        SCOPED_TRACE(Item.pFile);
        const std::filesystem::path Path = Encoded(Item);
        if (Path.empty())
        {
            GTEST_SKIP() << "the ffmpeg tool is missing (scripts/install-deps.sh installs it)";
        }
        AudioFileOpener Reader;
        ASSERT_EQ(Reader.Open(TestFiles::Wide(Path).c_str()), 1);
        EXPECT_EQ(Reader.IsWaveFile(), 0);
        const AudioFileFormat& Format = Reader.GetFormat();
        EXPECT_EQ(std::u16string(Format.szCodingName), Item.pName);
        EXPECT_EQ(Format.uiBitCount, Item.uiBits);
        EXPECT_EQ(Format.uiChannelCount * 100000 + Format.uiSamplingFrequency, 200000 + Item.uiRate);
        EXPECT_EQ(Format.bFrameCountEstimated, 0);
        const uint64_t ullLength = Format.ullFrameCount;
        const auto Near = [](uint64_t a, uint64_t b) { return a > b ? a - b : b - a; };
        EXPECT_LE(Near(ullLength, FRAMES * Item.uiRate / RATE), Item.ullFrame);
        const std::vector<double> All = ReadAll(Reader, 777);
        EXPECT_EQ(All.size(), 2 * ullLength) << "the sound delivered is the length reported";
        // Gapless: the music starts where it started before encoding, not after the encoder's delay.
        const auto Onset =
            std::find_if(All.begin(), All.end(), [](double dfSample) { return std::fabs(dfSample) >= 0.25; });
        const auto ullOnset = static_cast<uint64_t>(Onset - All.begin()) / 2;
        EXPECT_LE(Near(ullOnset, ONSET * Item.uiRate / RATE), Item.ullFrame == 0 ? 1u : 16u);

        // Seeks: what the file read from the start holds there, and the same each time (a loop).
        for (const uint64_t ullTarget :
             {uint64_t{0}, uint64_t{1}, uint64_t{4410}, uint64_t{33333}, ullLength - 100})
        {
            SCOPED_TRACE(ullTarget);
            ASSERT_EQ(Reader.SeekFrame(ullTarget), 1);
            const std::vector<double> First = ReadAll(Reader, 3000);
            ASSERT_EQ(Reader.SeekFrame(ullTarget), 1);
            EXPECT_EQ(ReadAll(Reader, 3000), First);
            ASSERT_EQ(First.size(), All.size() - 2 * ullTarget);
            double dfWorst = 0.0;
            for (size_t i = 0; i < First.size(); ++i)
            {
                dfWorst = std::max(dfWorst, std::fabs(First[i] - All[2 * ullTarget + i]));
            }
            EXPECT_LE(dfWorst, Item.dfSeekTolerance);
        }
        EXPECT_EQ(Reader.SeekFrame(ullLength + 5), 1);
        EXPECT_TRUE(ReadAll(Reader).empty()) << "at or past the end: nothing more";
        EXPECT_EQ(Reader.Rewind(), 1);
        EXPECT_EQ(ReadAll(Reader), All);

        // Not scanned (as a file past the limit): the length is the container's estimate, and the
        // sound still ends where it ends, neither earlier nor later.
        FfmpegFileReader Unscanned(0);
        ASSERT_EQ(Unscanned.Open(TestFiles::Wide(Path).c_str()), 1);
        if (Unscanned.GetFormat().bFrameCountEstimated != 0)
        {
            EXPECT_LE(Near(Unscanned.GetFormat().ullFrameCount, ullLength), ullLength / 20);
            EXPECT_EQ(ReadAll(Unscanned, 777), All);
            ++uiEstimated;
        }
    }
    EXPECT_GE(uiEstimated, 1u) << "no coding fell back to an estimate (MP3 should)";
}

TEST(FfmpegFileReader, DamagedFilesPlayWhatDecodesAndOthersAreRefusedWithAReason)
{
    for (const Coding& Item : CODINGS)
    {
        SCOPED_TRACE(Item.pFile);
        const std::filesystem::path Path = Encoded(Item);
        if (Path.empty())
        {
            GTEST_SKIP() << "the ffmpeg tool is missing";
        }
        // Cut at three fifths, and 2000 bytes of noise in the middle.
        const std::vector<uint8_t> Whole = TestFiles::Read(Path);
        std::vector<uint8_t> Garbled = Whole;
        for (size_t i = Whole.size() / 2; i < std::min(Whole.size(), Whole.size() / 2 + 2000); ++i)
        {
            Garbled[i] = static_cast<uint8_t>(i * 2654435761u >> 13);
        }
        for (const auto& Damaged :
             {std::vector<uint8_t>(Whole.begin(), Whole.end() - Whole.size() * 2 / 5), Garbled})
        {
            // What decoded comes and the reads end, or a refusal says why.
            AudioFileOpener Reader;
            const auto DamagedPath = TestFiles::Write(std::string("damaged-") + Item.pFile, Damaged);
            const bool bOpened = Reader.Open(TestFiles::Wide(DamagedPath).c_str()) >= 0;
            EXPECT_TRUE(bOpened || std::u16string(Reader.GetErrorText()) != u"");
            EXPECT_LE(bOpened ? ReadAll(Reader).size() / 2 : 0, FRAMES * Item.uiRate / RATE + Item.ullFrame);
        }
    }
    for (const std::filesystem::path& Path :
         {TestFiles::Write("notes.mp3", {'n', 'o', 't', 'e', 's', '\n'}), TestFiles::PathFor("nowhere.flac"),
          TestFiles::Write("empty.ogg", {}), TestFiles::Write("cut.wav", {'R', 'I', 'F', 'F', 0, 0})})
    {
        SCOPED_TRACE(Path.string());
        AudioFileOpener Reader;
        EXPECT_LT(Reader.Open(TestFiles::Wide(Path).c_str()), 0);
        EXPECT_NE(std::u16string(Reader.GetErrorText()), u"");
        double dfOut[2] = {};
        uint64_t ullFrames = 1;
        EXPECT_EQ(Reader.ReadFrames(dfOut, &ullFrames), -1);
        EXPECT_EQ(ullFrames + Reader.GetFormat().uiChannelCount, 0u);
        EXPECT_EQ(Reader.SeekFrame(0), -1);
    }
    AudioFileOpener Wave; // our WAV reader keeps every file it reads
    EXPECT_EQ(Wave.Open(TestFiles::Wide(TestFiles::PathFor("source.wav")).c_str()), 1);
    EXPECT_EQ(Wave.IsWaveFile(), 1);
    FfmpegFileReader Closed;
    EXPECT_EQ(Closed.ReadFrames(nullptr, nullptr) + Closed.Open(nullptr) + Closed.Close(), -8);
}
