#include "app/cli/CliCommands.h"
#include "tests/common/TestFiles.h"
#include "tests/common/WaveFileBuilder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <sstream>

namespace
{
std::string Utf8(const std::filesystem::path& Path)
{
    const std::u8string Text = Path.u8string();
    return std::string(Text.begin(), Text.end());
}

struct CliRun
{
    int iStatus = -1;
    std::string Out;
    std::string Error;
};

CliRun RunRender(const std::vector<std::string>& Arguments)
{
    std::ostringstream Out;
    std::ostringstream Error;
    std::vector<std::string> Words = {"render"};
    Words.insert(Words.end(), Arguments.begin(), Arguments.end());
    CliRun Run;
    Run.iStatus = RunCli(Words, Out, Error);
    Run.Out = Out.str();
    Run.Error = Error.str();
    return Run;
}

uint32_t Little32(const std::vector<uint8_t>& Bytes, size_t At)
{
    return Bytes[At] | (Bytes[At + 1] << 8) | (Bytes[At + 2] << 16) |
           (static_cast<uint32_t>(Bytes[At + 3]) << 24);
}

uint32_t Little16(const std::vector<uint8_t>& Bytes, size_t At)
{
    return Bytes[At] | (Bytes[At + 1] << 8);
}

// The float WAV the renderer writes: its rate and interleaved stereo samples. The layout is fixed:
// RIFF, a 28-byte JUNK chunk, an 18-byte fmt chunk, a fact chunk and the data chunk at byte 86.
struct FloatWave
{
    uint32_t uiRate = 0;
    std::vector<double> Samples;
};

FloatWave ReadFloatWave(const std::filesystem::path& Path)
{
    const std::vector<uint8_t> Bytes = TestFiles::Read(Path);
    FloatWave Wave;
    EXPECT_GE(Bytes.size(), 94u);
    if (Bytes.size() < 94)
    {
        return Wave;
    }
    EXPECT_EQ(std::string(Bytes.begin(), Bytes.begin() + 4), "RIFF");
    EXPECT_EQ(Little32(Bytes, 4), Bytes.size() - 8);
    EXPECT_EQ(std::string(Bytes.begin() + 12, Bytes.begin() + 16), "JUNK");
    EXPECT_EQ(std::string(Bytes.begin() + 48, Bytes.begin() + 52), "fmt ");
    EXPECT_EQ(Little16(Bytes, 56), 3u); // IEEE float
    EXPECT_EQ(Little16(Bytes, 58), 2u);
    Wave.uiRate = Little32(Bytes, 60);
    EXPECT_EQ(Little16(Bytes, 70), 32u);
    EXPECT_EQ(std::string(Bytes.begin() + 74, Bytes.begin() + 78), "fact");
    EXPECT_EQ(std::string(Bytes.begin() + 86, Bytes.begin() + 90), "data");
    const uint32_t uiDataBytes = Little32(Bytes, 90);
    EXPECT_EQ(uiDataBytes, Bytes.size() - 94);
    EXPECT_EQ(Little32(Bytes, 82), uiDataBytes / 8);
    for (size_t i = 94; i + 4 <= Bytes.size(); i += 4)
    {
        const uint32_t uiBits = Little32(Bytes, i);
        float fValue = 0.0f;
        std::memcpy(&fValue, &uiBits, sizeof(fValue));
        Wave.Samples.push_back(fValue);
    }
    return Wave;
}

std::vector<double> Sines(uint64_t ullFrames, uint32_t uiChannels, double dfRate)
{
    std::vector<double> Signal(ullFrames * uiChannels);
    for (uint64_t n = 0; n < ullFrames; ++n)
    {
        for (uint32_t c = 0; c < uiChannels; ++c)
        {
            const double dfHz = c == 0 ? 1000.0 : 440.0 * (c + 1);
            Signal[n * uiChannels + c] =
                0.5 * std::sin(2.0 * std::numbers::pi * dfHz * static_cast<double>(n) / dfRate);
        }
    }
    return Signal;
}

// Frames the converter yields for a file of ullFrames frames: the playback thread's silence makes
// the input a whole number of hops plus one, the first block is dropped, and each block spans
// M = 2048 oversampled intervals (44100 into 48000: 2^4 times oversampled).
uint64_t ExpectedFrames(uint64_t ullFrames, double dfEffectiveRate)
{
    const uint64_t ullPadded = ullFrames + 256 - ullFrames % 128;
    const double dfBlocks = static_cast<double>(ullPadded / 128 - 1);
    const double dfStep = 16.0 * 44100.0 / dfEffectiveRate;
    return static_cast<uint64_t>(std::ceil((dfBlocks * 2048.0 - 1.0) / dfStep));
}
} // namespace

TEST(CliRender, ConvertsAGeneratedFileAsThePlayerWould)
{
    const uint64_t ullFrames = 22050;
    const auto Input =
        TestFiles::Write("render-in.wav", WaveFileBuilder::PcmWave(Sines(ullFrames, 2, 44100), 2, 44100, 24));
    const auto Output = TestFiles::PathFor("render-out.wav");
    const CliRun Run = RunRender({Utf8(Input), Utf8(Output), "--speed", "1.5"});
    ASSERT_EQ(Run.iStatus, 0) << Run.Error;
    const uint64_t ullExpected = ExpectedFrames(ullFrames, 48000.0 / 1.5);
    EXPECT_EQ(Run.Out,
              "frames " + std::to_string(ullExpected) + "\nsampling_frequency 48000\nspeed 1.500000\n");
    EXPECT_EQ(Run.Error, "");
    const FloatWave Wave = ReadFloatWave(Output);
    EXPECT_EQ(Wave.uiRate, 48000u);
    ASSERT_EQ(Wave.Samples.size(), 2 * ullExpected);
    // 1000 Hz played 1.5 times faster is 1500 Hz at the device rate: count the rising zero crossings
    // of the left channel in the middle of the output.
    uint64_t ullCrossings = 0;
    for (uint64_t n = 4800; n < 4800 + 9600; ++n)
    {
        if (Wave.Samples[2 * n] < 0.0 && Wave.Samples[2 * n + 2] >= 0.0)
        {
            ++ullCrossings;
        }
    }
    EXPECT_NEAR(static_cast<double>(ullCrossings), 300.0, 1.0);
    // The end: the input's last frames came out and were followed by the silence that drained them.
    EXPECT_LT(std::fabs(Wave.Samples[Wave.Samples.size() - 2]), 1e-3);
}

TEST(CliRender, OneChannelIsWidenedAndPositionGivesTheSpeed)
{
    const uint64_t ullFrames = 5000;
    const std::vector<double> Mono = Sines(ullFrames, 1, 44100);
    std::vector<double> Stereo(2 * ullFrames);
    for (uint64_t n = 0; n < ullFrames; ++n)
    {
        Stereo[2 * n] = Mono[n];
        Stereo[2 * n + 1] = Mono[n];
    }
    const auto MonoInput = TestFiles::Write("render-mono.wav", WaveFileBuilder::PcmWave(Mono, 1, 44100, 16));
    const auto StereoInput =
        TestFiles::Write("render-stereo.wav", WaveFileBuilder::PcmWave(Stereo, 2, 44100, 16));
    const auto MonoOutput = TestFiles::PathFor("render-mono-out.wav");
    const auto StereoOutput = TestFiles::PathFor("render-stereo-out.wav");
    // Position 0 is 120 steps of 1/120 octave below x1: x0.5.
    const CliRun MonoRun = RunRender({Utf8(MonoInput), Utf8(MonoOutput), "--position", "0"});
    const CliRun StereoRun = RunRender({"--position", "0", Utf8(StereoInput), Utf8(StereoOutput)});
    ASSERT_EQ(MonoRun.iStatus, 0) << MonoRun.Error;
    ASSERT_EQ(StereoRun.iStatus, 0) << StereoRun.Error;
    EXPECT_NE(MonoRun.Out.find("speed 0.500000\n"), std::string::npos);
    const FloatWave MonoWave = ReadFloatWave(MonoOutput);
    const FloatWave StereoWave = ReadFloatWave(StereoOutput);
    const double dfSpeed = std::pow(1.00579294106785, -120.0);
    ASSERT_EQ(MonoWave.Samples.size(), 2 * ExpectedFrames(ullFrames, 48000.0 / dfSpeed));
    // The widened file converts exactly like the stereo file with the same sample on both sides.
    EXPECT_EQ(MonoWave.Samples, StereoWave.Samples);
    for (size_t i = 0; i < MonoWave.Samples.size(); i += 2)
    {
        ASSERT_EQ(MonoWave.Samples[i], MonoWave.Samples[i + 1]) << i;
    }

    // Position 120 is x1; --rate sets the device rate.
    const CliRun Centre =
        RunRender({Utf8(MonoInput), Utf8(MonoOutput), "--position", "120", "--rate", "96000"});
    ASSERT_EQ(Centre.iStatus, 0) << Centre.Error;
    EXPECT_NE(Centre.Out.find("sampling_frequency 96000\nspeed 1.000000\n"), std::string::npos);
    EXPECT_EQ(ReadFloatWave(MonoOutput).uiRate, 96000u);
}

TEST(CliRender, RefusalsAreClearAndLeaveNoOutput)
{
    const auto Input =
        TestFiles::Write("render-ok.wav", WaveFileBuilder::PcmWave(Sines(2000, 2, 44100), 2, 44100, 16));
    const std::vector<uint8_t> InputBytes = TestFiles::Read(Input);
    const auto Output = TestFiles::PathFor("render-refused.wav");
    const std::string In = Utf8(Input);
    const std::string Out = Utf8(Output);

    // Wrong use: usage text, exit 1.
    const std::vector<std::vector<std::string>> WrongUses = {
        {},
        {In},
        {In, Out, "extra.wav"},
        {In, Out, "--speed"},
        {In, Out, "--speed", "0"},
        {In, Out, "--speed", "-1"},
        {In, Out, "--speed", "fast"},
        {In, Out, "--speed", "nan"},
        {In, Out, "--position", "281"},
        {In, Out, "--position", "1.5"},
        {In, Out, "--speed", "1", "--position", "120"},
        {In, Out, "--rate", "0"},
        {In, Out, "--rate", "44.1k"},
        {In, Out, "--rate", "1000001"},
        {In, Out, "--shift", "x"},
        {In, Out, "--loud", "1"},
    };
    for (const std::vector<std::string>& Arguments : WrongUses)
    {
        const CliRun Run = RunRender(Arguments);
        EXPECT_EQ(Run.iStatus, 1) << Arguments.size();
        EXPECT_EQ(Run.Out, "");
        EXPECT_NE(Run.Error.find("Usage: larkspur-cli render"), std::string::npos);
        EXPECT_FALSE(std::filesystem::exists(Output));
    }

    // An input that is not a readable WAV file.
    const auto Junk = TestFiles::Write("render-junk.wav", WaveFileBuilder::Bytes(100, 'x'));
    for (const std::string& Path : {Utf8(Junk), Utf8(TestFiles::PathFor("render-absent.wav"))})
    {
        const CliRun Run = RunRender({Path, Out});
        EXPECT_EQ(Run.iStatus, 2);
        EXPECT_EQ(Run.Error, "ファイル形式が不明または壊れています。このファイルは読み込めません。\n");
        EXPECT_FALSE(std::filesystem::exists(Output));
    }

    // Rates, speeds or shifts the converter refuses.
    for (const std::vector<std::string>& Arguments : {std::vector<std::string>{In, Out, "--shift", "128"},
                                                      std::vector<std::string>{In, Out, "--rate", "100"},
                                                      std::vector<std::string>{In, Out, "--speed", "0.01"}})
    {
        const CliRun Run = RunRender(Arguments);
        EXPECT_EQ(Run.iStatus, 3) << Arguments.back();
        EXPECT_EQ(Run.Error.rfind("サンプリング周波数コンバータの初期化に失敗しました。\n", 0), 0u)
            << Run.Error;
        EXPECT_FALSE(std::filesystem::exists(Output));
    }

    // An output that cannot be created, and the input itself as the output.
    const CliRun Missing = RunRender({In, Utf8(TestFiles::PathFor("no-such-folder") / "out.wav")});
    EXPECT_EQ(Missing.iStatus, 4);
    EXPECT_NE(Missing.Error.find("cannot create"), std::string::npos);
    const CliRun Same = RunRender({In, In});
    EXPECT_EQ(Same.iStatus, 4);
    EXPECT_NE(Same.Error.find("it is the input file"), std::string::npos);
    EXPECT_EQ(TestFiles::Read(Input), InputBytes);
}
