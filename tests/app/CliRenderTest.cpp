#include "app/cli/CliCommands.h"
#include "app/player/OfflineRenderer.h"
#include "tests/app/CliRun.h"
#include "tests/common/TestFiles.h"
#include "tests/common/WaveFileBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <numbers>
#include <set>
#include <sstream>
#include <thread>
#if !defined(_WIN32)
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace
{
CliRun RunRender(const std::vector<std::string>& Arguments)
{
    return CliRun::Of("render", Arguments);
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

// The bytes of a WAV the renderer wrote, its layout checked: RIFF, a 28-byte JUNK chunk, the fmt
// chunk with uiFormatTag and two channels at byte 48, and the data chunk at ullDataAt holding the
// rest of the file. Empty when the file is too short for that.
std::vector<uint8_t> RenderedWaveBytes(const std::filesystem::path& Path, uint32_t uiFormatTag,
                                       size_t ullDataAt)
{
    const std::vector<uint8_t> Bytes = TestFiles::Read(Path);
    EXPECT_GE(Bytes.size(), ullDataAt + 8);
    if (Bytes.size() < ullDataAt + 8)
    {
        return {};
    }
    EXPECT_EQ(std::string(Bytes.begin(), Bytes.begin() + 4), "RIFF");
    EXPECT_EQ(Little32(Bytes, 4), Bytes.size() - 8);
    EXPECT_EQ(std::string(Bytes.begin() + 12, Bytes.begin() + 16), "JUNK");
    EXPECT_EQ(std::string(Bytes.begin() + 48, Bytes.begin() + 52), "fmt ");
    EXPECT_EQ(Little16(Bytes, 56), uiFormatTag);
    EXPECT_EQ(Little16(Bytes, 58), 2u);
    EXPECT_EQ(std::string(Bytes.begin() + ullDataAt, Bytes.begin() + ullDataAt + 4), "data");
    EXPECT_EQ(Little32(Bytes, ullDataAt + 4), Bytes.size() - ullDataAt - 8);
    return Bytes;
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
    const std::vector<uint8_t> Bytes = RenderedWaveBytes(Path, 3, 86); // IEEE float
    FloatWave Wave;
    if (Bytes.empty())
    {
        return Wave;
    }
    Wave.uiRate = Little32(Bytes, 60);
    EXPECT_EQ(Little16(Bytes, 70), 32u);
    EXPECT_EQ(std::string(Bytes.begin() + 74, Bytes.begin() + 78), "fact");
    EXPECT_EQ(Little32(Bytes, 82), Little32(Bytes, 90) / 8);
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

// An integer PCM WAV the renderer writes: RIFF, a 28-byte JUNK chunk, a 16-byte fmt chunk and the
// data chunk at byte 72. Samples as codes of the container.
struct PcmWave
{
    uint32_t uiBits = 0;
    std::vector<int32_t> Codes;
};

PcmWave ReadPcmWave(const std::filesystem::path& Path)
{
    const std::vector<uint8_t> Bytes = RenderedWaveBytes(Path, 1, 72);
    PcmWave Wave;
    if (Bytes.empty())
    {
        return Wave;
    }
    Wave.uiBits = Little16(Bytes, 70);
    const uint32_t uiBytes = Wave.uiBits / 8;
    for (size_t i = 80; uiBytes > 0 && i + uiBytes <= Bytes.size(); i += uiBytes)
    {
        uint32_t uiWord = 0;
        for (uint32_t b = 0; b < uiBytes; ++b)
        {
            uiWord |= static_cast<uint32_t>(Bytes[i + b]) << (8 * (4 - uiBytes + b));
        }
        Wave.Codes.push_back(static_cast<int32_t>(uiWord) >> (32 - Wave.uiBits));
    }
    return Wave;
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
    // x1.5 is taken to the slider's nearest step, 70 steps of 1/120 octave above x1.
    const CliRun Run = RunRender({Utf8(Input), Utf8(Output), "--speed", "1.5"});
    ASSERT_EQ(Run.iStatus, 0) << Run.Error;
    const uint64_t ullExpected = ExpectedFrames(ullFrames, 48000.0 / std::pow(2.0, 70.0 / 120.0));
    EXPECT_EQ(Run.Out,
              "frames " + std::to_string(ullExpected) + "\nsampling_frequency 48000\nspeed 1.498307\n");
    // Nothing on stderr but, on a slow machine (sanitizers), the progress bar completed.
    EXPECT_TRUE(Run.Error.empty() || Run.Error.find("100%") != std::string::npos) << Run.Error;
    EXPECT_EQ(Run.Error.find("larkspur-cli render:"), std::string::npos);
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
        {In, Out, "--bits", "0"},
        {In, Out, "--bits", "33"},
        {In, Out, "--bits", "sixteen"},
        {In, Out, "--container", "8"},
        {In, Out, "--container", "20"},
        {In, Out, "--bits", "24", "--container", "16"},
        {In, Out, "--container", "24"},
        {In, Out, "--volume", "1"},
        {In, Out, "--volume", "-80.1"},
        {In, Out, "--volume", "-6.05"},
        {In, Out, "--volume", "quiet"},
        {In, Out, "--speed-at", "0.01"},
        {In, Out, "--speed-at", "=2"},
        {In, Out, "--speed-at", "soon=2"},
        {In, Out, "--speed-at", "-0.01=2"},
        {In, Out, "--speed-at", "0.01="},
        {In, Out, "--speed-at", "0.01=0.49"},
        {In, Out, "--speed-at", "0.01=2.53"},
        {In, Out, "--speed-at", "0.01=inf"},
        {In, Out, "--position-at", "0.01=281"},
        {In, Out, "--position-at", "0.01=-1"},
        {In, Out, "--position-at", "0.01=12.5"},
        {In, Out, "--speed-at", "0.02=2", "--position-at", "0.01=100"},
    };
    for (const std::vector<std::string>& Arguments : WrongUses)
    {
        const CliRun Run = RunRender(Arguments);
        EXPECT_EQ(Run.iStatus, 1) << Arguments.size();
        EXPECT_EQ(Run.Out, "");
        EXPECT_NE(Run.Error.find("Usage: larkspur-cli render"), std::string::npos);
        EXPECT_FALSE(std::filesystem::exists(Output));
    }

    // A change the arguments allow but the input is too short for (2000 frames, 0.045 s).
    const CliRun Beyond = RunRender({In, Out, "--speed-at", "0.02=2", "--speed-at", "0.05=1"});
    EXPECT_EQ(Beyond.iStatus, 1);
    EXPECT_EQ(Beyond.Out, "");
    EXPECT_NE(Beyond.Error.find("larkspur-cli render: the speed change at 0.050 s lies beyond the end of the "
                                "input (0.045 s)\n"),
              std::string::npos)
        << Beyond.Error;
    EXPECT_FALSE(std::filesystem::exists(Output));

    // A file rate too far below the device rate: the lowest one that converts is named.
    const auto Low =
        TestFiles::Write("render-68.wav", WaveFileBuilder::PcmWave(Sines(136, 2, 68), 2, 68, 16));
    const CliRun TooLow = RunRender({Utf8(Low), Out, "--rate", "384000"});
    EXPECT_EQ(TooLow.iStatus, 3);
    EXPECT_NE(TooLow.Error.find("\nthe lowest file rate that converts into 384000 Hz is 1875 Hz\n"),
              std::string::npos)
        << TooLow.Error;
    EXPECT_FALSE(std::filesystem::exists(Output));

    EXPECT_EQ(TestFiles::Read(Input), InputBytes);
}

TEST(CliRender, SixteenBitsAtTheFileRateGiveTheInputBack)
{
    // -1 dBFS 1 kHz sine, 16 bits at 44.1 kHz, on the 16-bit grid.
    const uint64_t ullFrames = 8820;
    const double dfAmplitude = std::pow(10.0, -1.0 / 20.0);
    std::vector<double> Signal(2 * ullFrames);
    std::vector<int32_t> Codes(2 * ullFrames);
    for (uint64_t n = 0; n < ullFrames; ++n)
    {
        const double dfValue =
            dfAmplitude * std::sin(2.0 * std::numbers::pi * 1000.0 * static_cast<double>(n) / 44100.0);
        const int32_t iCode = static_cast<int32_t>(std::lround(dfValue * 32768.0));
        Codes[2 * n] = Codes[2 * n + 1] = iCode;
        Signal[2 * n] = Signal[2 * n + 1] = iCode / 32768.0;
    }
    const auto Input = TestFiles::Write("render-sine16.wav", WaveFileBuilder::PcmWave(Signal, 2, 44100, 16));
    const auto Output = TestFiles::PathFor("render-sine16-out.wav");
    const auto FloatOutput = TestFiles::PathFor("render-sine16-float.wav");
    const CliRun Run =
        RunRender({Utf8(Input), Utf8(Output), "--bits", "16", "--rate", "44100", "--speed", "1"});
    ASSERT_EQ(Run.iStatus, 0) << Run.Error;
    EXPECT_NE(Run.Out.find("bits 16 in 16\n"), std::string::npos) << Run.Out;
    ASSERT_EQ(RunRender({Utf8(Input), Utf8(FloatOutput), "--rate", "44100", "--speed", "1"}).iStatus, 0);
    const PcmWave Wave = ReadPcmWave(Output);
    const FloatWave Reference = ReadFloatWave(FloatOutput);
    EXPECT_EQ(Wave.uiBits, 16u);
    ASSERT_EQ(Wave.Codes.size(), Reference.Samples.size());
    ASSERT_GE(Wave.Codes.size(), Codes.size());
    // Every code is the float render's value on the 16-bit grid, within the one code the error
    // feedback may move it.
    for (size_t i = 0; i < Wave.Codes.size(); ++i)
    {
        ASSERT_LE(std::fabs(Wave.Codes[i] - Reference.Samples[i] * 32767.0), 1.01) << i;
    }
    // After the first block of 256 frames the input comes back: the converter alone within two
    // codes, the integer output within three (the reader's codes are steps of 1/32768, the
    // quantiser's of 1/32767, and the error feedback adds up to one). The last 512 frames, where the
    // file ends abruptly, ring a little more.
    double dfConverterWorst = 0.0;
    int32_t iWorst = 0;
    for (size_t i = 2 * 256; i < Codes.size() - 2 * 512; ++i)
    {
        dfConverterWorst = std::max(dfConverterWorst, std::fabs(Reference.Samples[i] * 32768.0 - Codes[i]));
        iWorst = std::max(iWorst, std::abs(Wave.Codes[i] - Codes[i]));
    }
    EXPECT_LE(dfConverterWorst, 2.0);
    EXPECT_LE(iWorst, 3);
    for (size_t i = Codes.size() - 2 * 512; i < Codes.size(); ++i)
    {
        ASSERT_LE(std::abs(Wave.Codes[i] - Codes[i]), 8) << i;
    }
    // Then the silence that drained the converter, with the ringing of the abrupt end.
    for (size_t i = Codes.size(); i < Wave.Codes.size(); ++i)
    {
        ASSERT_LE(std::abs(Wave.Codes[i]), 8) << i;
    }
}

TEST(CliRender, VolumeScalesEveryFrameAndBitsLeaveTheLowBitsZero)
{
    const auto Input =
        TestFiles::Write("render-volume.wav", WaveFileBuilder::PcmWave(Sines(4000, 2, 44100), 2, 44100, 24));
    const auto Loud = TestFiles::PathFor("render-loud.wav");
    const auto Quiet = TestFiles::PathFor("render-quiet.wav");
    ASSERT_EQ(RunRender({Utf8(Input), Utf8(Loud)}).iStatus, 0);
    const CliRun Run = RunRender({Utf8(Input), Utf8(Quiet), "--volume", "-6.0"});
    ASSERT_EQ(Run.iStatus, 0) << Run.Error;
    const FloatWave LoudWave = ReadFloatWave(Loud);
    const FloatWave QuietWave = ReadFloatWave(Quiet);
    ASSERT_EQ(LoudWave.Samples.size(), QuietWave.Samples.size());
    const double dfGain = std::pow(10.0, -6.0 / 20.0);
    for (size_t i = 0; i < LoudWave.Samples.size(); ++i)
    {
        ASSERT_NEAR(QuietWave.Samples[i], dfGain * LoudWave.Samples[i], 1e-6) << i;
    }

    // 20 effective bits in 24-bit samples, 12 in 32-bit ones: the bits below are 0, and the codes
    // follow the float render within a code of their grid.
    for (const auto& [Bits, Container] : {std::pair<std::string, uint32_t>{"20", 24}, {"12", 32}})
    {
        const auto Output = TestFiles::PathFor("render-bits.wav");
        const CliRun Integer = RunRender({Utf8(Input), Utf8(Output), "--bits", Bits, "--container",
                                          std::to_string(Container), "--volume", "-6"});
        ASSERT_EQ(Integer.iStatus, 0) << Integer.Error;
        const PcmWave Wave = ReadPcmWave(Output);
        EXPECT_EQ(Wave.uiBits, Container);
        ASSERT_EQ(Wave.Codes.size(), QuietWave.Samples.size());
        const int32_t iUnit = 1 << (Container - std::stoi(Bits));
        const double dfMaxCode = std::ldexp(1.0, std::stoi(Bits) - 1) - 1.0;
        for (size_t i = 0; i < Wave.Codes.size(); ++i)
        {
            ASSERT_EQ(Wave.Codes[i] % iUnit, 0) << i;
            ASSERT_NEAR(Wave.Codes[i] / iUnit, QuietWave.Samples[i] * dfMaxCode, 1.5) << i;
        }
    }
}

// Slider moves through the renderer, as the player glides: a quadrature pair (sine left, cosine
// right) at 1 kHz, a track click up (x1 -> position 130), a jump to the top (x2.52) and one across
// the whole range to the bottom (x0.5). The phase of every output frame tells the input time it
// plays and, over 1 ms, the frequency; between two moves the frequency stays between the old and
// the new speed's, never beyond the new one by more than 0.1 %.
TEST(CliRender, SpeedChangesGlideWithoutOvershoot)
{
    const uint64_t ullFrames = 44100 * 3 / 2;
    std::vector<double> Pair(2 * ullFrames);
    for (uint64_t n = 0; n < ullFrames; ++n)
    {
        const double dfPhase = 2.0 * std::numbers::pi * 1000.0 * static_cast<double>(n) / 44100.0;
        Pair[2 * n] = 0.5 * std::sin(dfPhase);
        Pair[2 * n + 1] = 0.5 * std::cos(dfPhase);
    }
    const auto Input = TestFiles::Write("render-glide.wav", WaveFileBuilder::PcmWave(Pair, 2, 44100, 24));
    const auto Output = TestFiles::PathFor("render-glide-out.wav");
    const CliRun Run = RunRender({Utf8(Input), Utf8(Output), "--position-at", "0.3=130", "--speed-at",
                                  "0.6=2.52", "--position-at", "1=0"});
    ASSERT_EQ(Run.iStatus, 0) << Run.Error;
    EXPECT_NE(Run.Out.find("speed 1.000000\nspeed_at 0.300000 1.059463\nspeed_at 0.600000 2.519842\n"
                           "speed_at 1.000000 0.500000\n"),
              std::string::npos)
        << Run.Out;
    const FloatWave Wave = ReadFloatWave(Output);
    const uint64_t ullOut = Wave.Samples.size() / 2;
    ASSERT_GT(ullOut, 48000u);
    std::vector<double> Phase(ullOut);
    for (uint64_t n = 0; n < ullOut; ++n)
    {
        Phase[n] = std::atan2(Wave.Samples[2 * n], Wave.Samples[2 * n + 1]);
        if (n > 0)
        {
            Phase[n] = Phase[n - 1] + std::remainder(Phase[n] - Phase[n - 1], 2.0 * std::numbers::pi);
        }
    }
    struct Segment
    {
        double dfFrom; // input seconds
        double dfOldHz;
        double dfNewHz;
    };
    const Segment Segments[] = {{0.3, 1000.0, 1059.463}, {0.6, 1059.463, 2519.842}, {1.0, 2519.842, 500.0}};
    constexpr uint64_t W = 48; // 1 ms
    uint64_t ullChecked = 0;
    // From 0.1 s (after the onset) to the last millisecond before the input ends.
    for (uint64_t n = 4800; n < ullOut; ++n)
    {
        const double dfInputSeconds = Phase[n] / (2.0 * std::numbers::pi * 1000.0);
        if (dfInputSeconds > 1.49)
        {
            break;
        }
        const double dfHz = (Phase[n] - Phase[n - W]) / W * 48000.0 / (2.0 * std::numbers::pi);
        double dfLow = 1000.0;
        double dfHigh = 1000.0;
        for (const Segment& Item : Segments)
        {
            if (dfInputSeconds >= Item.dfFrom)
            {
                dfLow = std::min(Item.dfOldHz, Item.dfNewHz);
                dfHigh = std::max(Item.dfOldHz, Item.dfNewHz);
            }
        }
        ASSERT_GE(dfHz, dfLow * 0.999) << "frame " << n << " at " << dfInputSeconds << " s of input";
        ASSERT_LE(dfHz, dfHigh * 1.001) << "frame " << n << " at " << dfInputSeconds << " s of input";
        ++ullChecked;
    }
    EXPECT_GT(ullChecked, 48000u);
}

namespace
{
std::set<std::string> FolderNames(const std::filesystem::path& Folder)
{
    std::set<std::string> Names;
    for (const auto& Entry : std::filesystem::directory_iterator(Folder))
    {
        Names.insert(Entry.path().filename().string());
    }
    return Names;
}

#if !defined(_WIN32)
// The real program in a child process, its error stream into ErrorFile; with a file-size limit
// when ullSizeLimit is not 0. Returns the child's pid.
pid_t StartProgram(const std::vector<std::string>& Words, const std::filesystem::path& ErrorFile,
                   rlim_t ullSizeLimit = 0)
{
    std::vector<std::string> Argv = {"larkspur-cli"};
    Argv.insert(Argv.end(), Words.begin(), Words.end());
    const pid_t Child = fork();
    if (Child == 0)
    {
        const int iError = open(ErrorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(iError, STDERR_FILENO);
        if (ullSizeLimit != 0)
        {
            const struct rlimit Limit = {ullSizeLimit, ullSizeLimit};
            setrlimit(RLIMIT_FSIZE, &Limit);
        }
        std::vector<char*> Pointers;
        for (std::string& Word : Argv)
        {
            Pointers.push_back(Word.data());
        }
        Pointers.push_back(nullptr);
        execv(LARKSPUR_CLI_PROGRAM, Pointers.data());
        _exit(127);
    }
    return Child;
}

std::string ReadText(const std::filesystem::path& Path)
{
    const std::vector<uint8_t> Bytes = TestFiles::Read(Path);
    return std::string(Bytes.begin(), Bytes.end());
}
#endif
} // namespace

// A render that fails part-way or is killed leaves a file already at the output exactly as it was
// and no temporary file beside it; a render that succeeds replaces the file.
TEST(CliRender, AFailedOrKilledRenderLeavesTheOldOutputAsItWas)
{
    namespace fs = std::filesystem;
    const fs::path Folder = TestFiles::PathFor("keep");
    fs::remove_all(Folder);
    fs::create_directories(Folder);
    const fs::path Input = Folder / "in.wav";
    ASSERT_TRUE(WaveFileBuilder().Pcm(2, 44100, 16).Samples(Sines(88200, 2, 44100)).WriteFile(Input));
    const fs::path Output = Folder / "out.wav";
    const std::vector<uint8_t> Precious = {'p', 'r', 'e', 'c', 'i', 'o', 'u', 's'};
    const auto Reset = [&] { TestFiles::Write("keep/out.wav", Precious); };
    Reset();
    const std::set<std::string> Before = FolderNames(Folder);

    // A writer that fails after 100 000 bytes, as on a full disk.
    OfflineRenderer Renderer;
    Renderer.LimitOutputSize(100000);
    EXPECT_LT(Renderer.Render(TestFiles::Wide(Input).c_str(), TestFiles::Wide(Output).c_str(),
                              OfflineRenderer::Settings(), nullptr),
              0);
    EXPECT_EQ(Renderer.GetFailedStep(), OfflineRenderer::Step::WriteOutput);
    EXPECT_EQ(Renderer.GetSystemError(), ENOSPC);
    EXPECT_EQ(TestFiles::Read(Output), Precious);
    EXPECT_EQ(FolderNames(Folder), Before);
    // Without the limit the new file takes the old one's place.
    Renderer.LimitOutputSize(0);
    ASSERT_EQ(Renderer.Render(TestFiles::Wide(Input).c_str(), TestFiles::Wide(Output).c_str(),
                              OfflineRenderer::Settings(), nullptr),
              1);
    EXPECT_EQ(ReadFloatWave(Output).uiRate, 48000u);
    EXPECT_EQ(FolderNames(Folder), Before);

#if !defined(_WIN32)
    // The real program under a file-size limit: the write fails, the old file stays.
    Reset();
    const fs::path ErrorFile = TestFiles::PathFor("keep-error.txt");
    const pid_t Limited = StartProgram({"render", Utf8(Input), Utf8(Output)}, ErrorFile, 200000);
    int iStatus = 0;
    ASSERT_EQ(waitpid(Limited, &iStatus, 0), Limited);
    ASSERT_TRUE(WIFEXITED(iStatus)) << iStatus;
    EXPECT_EQ(WEXITSTATUS(iStatus), 4);
    // A slow machine may have drawn the bar first: it ends where it stood, never at 100 %.
    std::string ErrorText = ReadText(ErrorFile);
    if (ErrorText.starts_with('\r'))
    {
        EXPECT_EQ(ErrorText.find("100%"), std::string::npos) << ErrorText;
        ErrorText.erase(0, ErrorText.find('\n') + 1);
    }
    EXPECT_EQ(ErrorText, "larkspur-cli render: writing '" + Utf8(Output) +
                             "' failed: the file would exceed the largest file allowed (ulimit -f); '" +
                             Utf8(Output) + "' is unchanged\n");
    EXPECT_EQ(TestFiles::Read(Output), Precious);
    EXPECT_EQ(FolderNames(Folder), Before);

    // The real program killed with SIGTERM while it writes.
    const fs::path Long = TestFiles::PathFor("keep-long.wav");
    ASSERT_TRUE(WaveFileBuilder().Pcm(2, 44100, 16).Samples(Sines(44100 * 40, 2, 44100)).WriteFile(Long));
    const pid_t Killed = StartProgram({"render", Utf8(Long), Utf8(Output), "--rate", "96000"}, ErrorFile);
    bool bWriting = false;
    const auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!bWriting && std::chrono::steady_clock::now() < Deadline)
    {
        for (const auto& Entry : fs::directory_iterator(Folder))
        {
            std::error_code Ignored;
            bWriting =
                bWriting || (Entry.path().filename().string().find(".larkspur-") != std::string::npos &&
                             fs::file_size(Entry.path(), Ignored) > 1000000);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_TRUE(bWriting) << "the render never got under way";
    kill(Killed, SIGTERM);
    ASSERT_EQ(waitpid(Killed, &iStatus, 0), Killed);
    ASSERT_TRUE(WIFSIGNALED(iStatus)) << "the render ended before it was killed: " << iStatus;
    EXPECT_EQ(WTERMSIG(iStatus), SIGTERM);
    EXPECT_EQ(TestFiles::Read(Output), Precious);
    EXPECT_EQ(FolderNames(Folder), Before);
#endif
}

// A section renders exactly as a file holding only that section would, speed changes at times of
// the input included, up to where its last frame ends: the cut file's render without the drained
// silence after it. A section lasts its length at the speed to the frame. A section out of order or
// beyond the input writes nothing.
TEST(CliRender, SectionRendersAsTheFileCutThere)
{
    constexpr uint64_t RATE = 44100;
    const std::vector<double> Signal = Sines(3 * RATE, 2, RATE);
    const auto Input = TestFiles::Write("render-whole.wav", WaveFileBuilder::PcmWave(Signal, 2, RATE, 24));
    const std::vector<double> Cut(Signal.begin() + 2 * RATE, Signal.begin() + 4 * RATE);
    const auto CutInput = TestFiles::Write("render-cut.wav", WaveFileBuilder::PcmWave(Cut, 2, RATE, 24));
    const auto Output = TestFiles::PathFor("render-section.wav");
    const auto CutOutput = TestFiles::PathFor("render-cut-out.wav");
    const CliRun Section = RunRender({Utf8(Input), Utf8(Output), "--from", "1", "--to", "0:02", "--speed",
                                      "0.8", "--speed-at", "1.5=1.2"});
    const CliRun Whole =
        RunRender({Utf8(CutInput), Utf8(CutOutput), "--speed", "0.8", "--speed-at", "0.5=1.2"});
    ASSERT_EQ(Section.iStatus, 0) << Section.Error;
    ASSERT_EQ(Whole.iStatus, 0) << Whole.Error;
    const FloatWave SectionWave = ReadFloatWave(Output);
    const FloatWave CutWave = ReadFloatWave(CutOutput);
    EXPECT_GT(SectionWave.Samples.size(), 2u * 48000u);
    // 0.5 s at x0.8 and 0.5 s at x1.2 (changed once the converter has consumed 1.5 s, between two
    // feeds of 1024 frames, and gliding over a hop): about 1 s x 48000 x (1 / 0.8 + 1 / 1.2) / 2.
    EXPECT_NEAR(static_cast<double>(SectionWave.Samples.size() / 2), 50000.0, 600.0);
    EXPECT_NE(Section.Out.find("frames " + std::to_string(SectionWave.Samples.size() / 2) + "\n"),
              std::string::npos)
        << Section.Out;
    ASSERT_LT(SectionWave.Samples.size(), CutWave.Samples.size());
    EXPECT_TRUE(std::equal(SectionWave.Samples.begin(), SectionWave.Samples.end(), CutWave.Samples.begin()));

    // At a steady speed: ceil(N x rate / (44100 x speed)) frames for N frames of the input.
    const struct
    {
        std::vector<std::string> Arguments;
        uint64_t ullFrames;
    } LENGTHS[] = {
        {{"--from", "1", "--to", "2", "--rate", "44100"}, 44100},
        // 44100 x 96000 / 44100 / 2^(-50/120) = 128144.63
        {{"--from", "0:01", "--to", "0:02", "--rate", "96000", "--speed", "0.75"}, 128145},
        // 0.7 s: 30870 x 48000 / 44100 / 2^(45/120) = 25909.14
        {{"--from", "2.3", "--rate", "48000", "--speed", "1.3"}, 25910},
    };
    for (const auto& Length : LENGTHS)
    {
        std::vector<std::string> Arguments = {Utf8(Input), Utf8(Output)};
        Arguments.insert(Arguments.end(), Length.Arguments.begin(), Length.Arguments.end());
        const CliRun Run = RunRender(Arguments);
        ASSERT_EQ(Run.iStatus, 0) << Run.Error;
        EXPECT_EQ(Run.Out.substr(0, Run.Out.find('\n')), "frames " + std::to_string(Length.ullFrames));
        EXPECT_EQ(ReadFloatWave(Output).Samples.size(), 2 * Length.ullFrames);
    }

    std::filesystem::remove(Output);
    const std::string In = Utf8(Input);
    const std::string Out = Utf8(Output);
    const struct
    {
        std::vector<std::string> Arguments;
        const char* pReason;
    } CASES[] = {
        {{"--from", "2", "--to", "1"}, "--to 0:01.0 must come after --from 0:02.0"},
        {{"--from", "1", "--to", "1"}, "--to 0:01.0 must come after --from 0:01.0"},
        {{"--from", "1", "--speed-at", "0.5=2"}, "the speed change at 0:00.5 comes before --from 0:01.0"},
        {{"--to", "1", "--speed-at", "1.5=2"}, "the speed change at 0:01.5 comes after --to 0:01.0"},
        {{"--from", "soon"}, "--from needs a time of the file in seconds (72.5) or minutes and seconds"},
        {{"--to", "1:60"}, "--to needs a time"},
        {{"--from", "4"}, "--from 0:04.0 lies beyond the end of the input (0:03.0); nothing was written"},
        {{"--from", "1", "--to", "3.5"}, "--to 0:03.5 lies beyond the end of the input (0:03.0); nothing"},
    };
    for (const auto& Case : CASES)
    {
        std::vector<std::string> Arguments = {In, Out};
        Arguments.insert(Arguments.end(), Case.Arguments.begin(), Case.Arguments.end());
        CliRun::Refused("render", Arguments, 1, Case.pReason);
        EXPECT_FALSE(std::filesystem::exists(Output)) << Case.pReason;
    }
}
