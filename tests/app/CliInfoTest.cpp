#include "app/cli/CliCommands.h"
#include "tests/app/CliRun.h"
#include "tests/common/TestFiles.h"
#include "tests/common/WaveFileBuilder.h"

#include <gtest/gtest.h>

#include <locale>
#include <sstream>

namespace
{
CliRun RunInfo(const std::vector<std::string>& Arguments,
               const std::locale& OutLocale = std::locale::classic())
{
    return CliRun::Of("info", Arguments, OutLocale);
}

std::string WriteImage(const std::string& Name, const WaveFileBuilder::Bytes& Image)
{
    return Utf8(TestFiles::Write(Name, Image));
}

// Decimal comma and digit grouping, to show that no number goes through the stream's locale.
class CommaPunctuation : public std::numpunct<char>
{
protected:
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};
} // namespace

TEST(CliInfo, PrintsTheFormatAndLength)
{
    const std::vector<double> Silence(2 * 72001, 0.0);
    const CliRun Run = RunInfo({WriteImage("info-24.wav", WaveFileBuilder::PcmWave(Silence, 2, 48000, 24))},
                               std::locale(std::locale::classic(), new CommaPunctuation));
    EXPECT_EQ(Run.iStatus, 0);
    // Words a user reads, no result codes; the length also as a clock shows it.
    EXPECT_EQ(Run.Out, "format WAV, 24-bit\n"
                       "header consistent\n"
                       "sampling_frequency 48000\n"
                       "channels 2\n"
                       "bits 24\n"
                       "frames 72001\n"
                       "length 1.500 s (0:01.5)\n");
    EXPECT_EQ(Run.Error, "");

    // RF64 with an inconsistent size field (said so in words), frame count from ds64, length rounded
    // to ms, and in hours, minutes and seconds.
    const auto Rf64 = WaveFileBuilder()
                          .Pcm(1, 44100, 8)
                          .Rf64()
                          .RiffSizeField(1234)
                          .Ds64Sizes(std::nullopt, std::nullopt, 5000000000ull)
                          .Data(WaveFileBuilder::Bytes(10, 0x80))
                          .Build();
    const CliRun Big = RunInfo({WriteImage("info-rf64.wav", Rf64)});
    EXPECT_EQ(Big.iStatus, 0);
    EXPECT_EQ(Big.Out, "format WAV, 8-bit\n"
                       "header inconsistent: a size or rate field disagrees with the rest of the file "
                       "(the player plays it all the same)\n"
                       "sampling_frequency 44100\n"
                       "channels 1\n"
                       "bits 8\n"
                       "frames 5000000000\n"
                       "length 113378.685 s (31:29:38.6)\n");
}

TEST(CliInfo, OpensPathsWithJapaneseNames)
{
    const auto Path = TestFiles::PathFor("x").parent_path() / std::filesystem::path(u"録音 テスト.wav");
    ASSERT_TRUE(WaveFileBuilder()
                    .Pcm(2, 8000, 16)
                    .Extensible()
                    .Data(WaveFileBuilder::Bytes(8 * 4, 0))
                    .WriteFile(Path));
    const CliRun Run = RunInfo({Utf8(Path)});
    EXPECT_EQ(Run.iStatus, 0);
    EXPECT_EQ(
        Run.Out,
        "format WAV, 16-bit\nheader consistent\nsampling_frequency 8000\nchannels 2\nbits 16\nframes 8\n"
        "length 0.001 s (0:00.0)\n");
}

// Refused files: CliUse.EveryRefusedFileIsNamedWithWhatIsWrong.
TEST(CliInfo, WrongUse)
{
    for (const std::vector<std::string>& Arguments :
         {std::vector<std::string>{}, std::vector<std::string>{"a.wav", "b.wav"}})
    {
        const CliRun Run = RunInfo(Arguments);
        EXPECT_EQ(Run.iStatus, 1);
        EXPECT_EQ(Run.Out, "");
        EXPECT_NE(Run.Error.find("Usage: larkspur-cli info FILE\n"), std::string::npos) << Run.Error;
    }
}
