#include "wave/ffmpeg/FfmpegFileReader.h"
#include "tests/common/TestFiles.h"
#include "tests/common/WaveFileBuilder.h"
#include "wave/AudioFileOpener.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
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
    // The codec's frame: how far a lossy length may differ; 0 for lossless (exact).
    uint64_t ullFrame;
    // How far a sample decoded after a seek may differ from the same sample decoded from the start.
    double dfSeekTolerance;
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

// The source every coding is made from (24-bit stereo WAV, made once).
std::filesystem::path Source()
{
    static const std::filesystem::path Path = []
    {
        std::vector<double> Samples(2 * FRAMES, 0.0);
        for (uint64_t f = ONSET; f < FRAMES; ++f)
        {
            const double dfValue =
                0.5 * std::cos(2.0 * std::numbers::pi * 1000.0 * static_cast<double>(f - ONSET) / RATE);
            Samples[2 * f] = dfValue;
            Samples[2 * f + 1] = dfValue;
        }
        return TestFiles::Write("source.wav", WaveFileBuilder::PcmWave(Samples, 2, RATE, 24));
    }();
    return Path;
}

// The coding's file, made from the source by the ffmpeg tool; empty when the tool is missing.
std::filesystem::path Encoded(const Coding& Item)
{
    const std::filesystem::path Path = TestFiles::PathFor(Item.pFile);
    if (!std::filesystem::exists(Path))
    {
        const std::string Command = "ffmpeg -nostdin -v error -y -i '" + Source().string() + "' " +
                                    Item.pArguments + " '" + Path.string() + "'";
        if (std::system(Command.c_str()) != 0)
        {
            return {};
        }
    }
    return Path;
}

std::vector<double> ReadAll(SAudioFileReader& Reader, uint64_t ullPerCall = 1000)
{
    const uint64_t ullChannels = Reader.GetFormat().uiChannelCount;
    std::vector<double> All;
    std::vector<double> Block(ullPerCall * ullChannels);
    for (int32_t i = 0; i < 1000000; ++i)
    {
        uint64_t ullFrames = ullPerCall;
        if (Reader.ReadFrames(Block.data(), &ullFrames) < 0 || ullFrames == 0)
        {
            break;
        }
        All.insert(All.end(), Block.begin(), Block.begin() + static_cast<long>(ullFrames * ullChannels));
    }
    return All;
}

// The first frame whose left sample reaches a quarter of full scale.
uint64_t OnsetOf(const std::vector<double>& Samples)
{
    for (uint64_t f = 0; 2 * f < Samples.size(); ++f)
    {
        if (std::fabs(Samples[2 * f]) >= 0.25)
        {
            return f;
        }
    }
    return ~uint64_t{0};
}
} // namespace

TEST(FfmpegFileReader, ReadsEveryCodingGaplessWithItsFormatAndLength)
{
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
        EXPECT_EQ(Format.uiChannelCount, 2u);
        EXPECT_EQ(Format.uiSamplingFrequency, Item.uiRate);
        EXPECT_EQ(Format.bFrameCountEstimated, 0);
        // Lengths at the coding's own rate (Opus decodes at 48 kHz).
        const uint64_t ullExpected = FRAMES * Item.uiRate / RATE;
        const uint64_t ullLength = Format.ullFrameCount;
        EXPECT_LE(ullLength > ullExpected ? ullLength - ullExpected : ullExpected - ullLength, Item.ullFrame);

        const std::vector<double> All = ReadAll(Reader, 777);
        EXPECT_EQ(All.size(), 2 * ullLength) << "the sound delivered is the length reported";
        // Gapless: the music starts where it started before encoding, not after the encoder's delay.
        const uint64_t ullOnset = OnsetOf(All);
        const uint64_t ullWanted = ONSET * Item.uiRate / RATE;
        EXPECT_LE(ullOnset > ullWanted ? ullOnset - ullWanted : ullWanted - ullOnset,
                  Item.ullFrame == 0 ? 1u : 16u)
            << "onset at " << ullOnset;
        // Pitch (positive-going zero crossings) and level (RMS) in the middle second.
        double dfSquares = 0.0;
        uint64_t ullCrossings = 0;
        const uint64_t ullFirst = ullLength / 4;
        const uint64_t ullCount = Item.uiRate;
        for (uint64_t f = ullFirst; f < ullFirst + ullCount; ++f)
        {
            dfSquares += All[2 * f] * All[2 * f];
            ullCrossings += (All[2 * f - 2] < 0.0 && All[2 * f] >= 0.0) ? 1 : 0;
        }
        EXPECT_NEAR(20.0 * std::log10(std::sqrt(dfSquares / ullCount) / (0.5 / std::numbers::sqrt2)), 0.0,
                    0.5);
        EXPECT_NEAR(static_cast<double>(ullCrossings), 1000.0, 1.0);
    }
}

TEST(FfmpegFileReader, SeeksLandOnTheExactFrameAndRepeatIdentically)
{
    for (const Coding& Item : CODINGS)
    {
        SCOPED_TRACE(Item.pFile);
        const std::filesystem::path Path = Encoded(Item);
        if (Path.empty())
        {
            GTEST_SKIP() << "the ffmpeg tool is missing";
        }
        FfmpegFileReader Reader;
        ASSERT_EQ(Reader.Open(TestFiles::Wide(Path).c_str()), 1);
        const std::vector<double> All = ReadAll(Reader);
        const uint64_t ullLength = Reader.GetFormat().ullFrameCount;
        constexpr uint64_t ullRead = 3000;
        for (const uint64_t ullTarget :
             {uint64_t{0}, uint64_t{1}, uint64_t{4410}, uint64_t{33333}, ullLength - 100})
        {
            SCOPED_TRACE(ullTarget);
            std::vector<double> First(2 * ullRead, 9.0);
            std::vector<double> Again(2 * ullRead, 7.0);
            uint64_t ullFirst = ullRead;
            uint64_t ullAgain = ullRead;
            ASSERT_EQ(Reader.SeekFrame(ullTarget), 1);
            ASSERT_EQ(Reader.ReadFrames(First.data(), &ullFirst), 1);
            ASSERT_EQ(Reader.SeekFrame(ullTarget), 1);
            ASSERT_EQ(Reader.ReadFrames(Again.data(), &ullAgain), 1);
            EXPECT_EQ(ullFirst, std::min(ullRead, ullLength - ullTarget));
            EXPECT_EQ(ullAgain, ullFirst);
            First.resize(2 * ullFirst);
            Again.resize(2 * ullAgain);
            EXPECT_EQ(First, Again) << "a loop's every pass is the same";
            double dfWorst = 0.0;
            for (uint64_t i = 0; i < 2 * ullFirst; ++i)
            {
                dfWorst = std::max(dfWorst, std::fabs(First[i] - All[2 * ullTarget + i]));
            }
            EXPECT_LE(dfWorst, Item.dfSeekTolerance) << "against the file read from the start, cut there";
        }
        // At or past the end: nothing more.
        double dfOut[2] = {};
        uint64_t ullFrames = 1;
        EXPECT_EQ(Reader.SeekFrame(ullLength + 5), 1);
        EXPECT_EQ(Reader.ReadFrames(dfOut, &ullFrames), 1);
        EXPECT_EQ(ullFrames, 0u);
        EXPECT_EQ(Reader.Rewind(), 1);
        EXPECT_EQ(ReadAll(Reader), All);
    }
}

TEST(FfmpegFileReader, DamagedFilesPlayWhatDecodesAndEnd)
{
    for (const Coding& Item : CODINGS)
    {
        SCOPED_TRACE(Item.pFile);
        const std::filesystem::path Path = Encoded(Item);
        if (Path.empty())
        {
            GTEST_SKIP() << "the ffmpeg tool is missing";
        }
        const std::vector<uint8_t> Whole = TestFiles::Read(Path);
        std::vector<uint8_t> Cut(Whole.begin(), Whole.begin() + static_cast<long>(Whole.size() * 3 / 5));
        std::vector<uint8_t> Garbled = Whole;
        uint32_t uiNoise = 12345;
        for (size_t i = Whole.size() / 2; i < Whole.size() / 2 + 2000 && i < Whole.size(); ++i)
        {
            uiNoise = uiNoise * 1103515245u + 12345u;
            Garbled[i] = static_cast<uint8_t>(uiNoise >> 16);
        }
        for (const auto& Damaged : {Cut, Garbled})
        {
            const auto DamagedPath = TestFiles::Write(std::string("damaged-") + Item.pFile, Damaged);
            AudioFileOpener Reader;
            const int32_t iOpen = Reader.Open(TestFiles::Wide(DamagedPath).c_str());
            if (iOpen < 0)
            {
                EXPECT_NE(std::u16string(Reader.GetErrorText()), u"") << "a refusal says why";
                continue;
            }
            const std::vector<double> Read = ReadAll(Reader);
            // What decoded comes, up to the length at most (a frame more for a container that
            // counted on the lost packets), and the reads end.
            EXPECT_GT(Read.size(), 0u);
            EXPECT_LE(Read.size() / 2, Whole.size() > 0 ? FRAMES * Item.uiRate / RATE + 4096 : 0);
            double dfOut[2] = {};
            uint64_t ullFrames = 1;
            EXPECT_GE(Reader.ReadFrames(dfOut, &ullFrames), 0);
            EXPECT_EQ(ullFrames, 0u);
        }
    }
}

TEST(FfmpegFileReader, RefusesWhatItCannotReadWithAReason)
{
    std::ofstream(TestFiles::PathFor("notes.mp3"))
        << "not music at all, only words in a file named as music\n";
    struct Case
    {
        const char* pName;
        std::filesystem::path Path;
    };
    const std::vector<Case> Cases = {
        {"text", TestFiles::PathFor("notes.mp3")},
        {"missing", TestFiles::PathFor("nowhere.flac")},
        {"empty", TestFiles::Write("empty.ogg", {})},
        {"cut WAV header", TestFiles::Write("cut.wav", {'R', 'I', 'F', 'F', 0, 0})},
    };
    for (const Case& Item : Cases)
    {
        SCOPED_TRACE(Item.pName);
        AudioFileOpener Reader;
        EXPECT_LT(Reader.Open(TestFiles::Wide(Item.Path).c_str()), 0);
        EXPECT_NE(std::u16string(Reader.GetErrorText()), u"");
        EXPECT_EQ(Reader.IsOpen(), 0);
        double dfOut[2] = {};
        uint64_t ullFrames = 1;
        EXPECT_EQ(Reader.ReadFrames(dfOut, &ullFrames), -1);
        EXPECT_EQ(ullFrames, 0u);
        EXPECT_EQ(Reader.SeekFrame(0), -1);
        EXPECT_EQ(Reader.GetFormat().uiChannelCount, 0u);
    }
    FfmpegFileReader Closed;
    double dfOut[2] = {};
    uint64_t ullFrames = 1;
    EXPECT_EQ(Closed.ReadFrames(dfOut, &ullFrames), -1);
    EXPECT_EQ(Closed.ReadFrames(dfOut, nullptr), -4);
    EXPECT_EQ(Closed.Rewind(), -1);
    EXPECT_EQ(Closed.Open(nullptr), -4);
    EXPECT_EQ(Closed.Close(), 0);
    // Our WAV reader keeps every file it reads; the decoder only takes what it does not.
    AudioFileOpener Wave;
    EXPECT_EQ(Wave.Open(TestFiles::Wide(Source()).c_str()), 1);
    EXPECT_EQ(Wave.IsWaveFile(), 1);
}
