#include "wave/WaveFileWriter.h"
#include "tests/common/TestFiles.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <vector>

namespace
{
uint32_t Little32(const std::vector<uint8_t>& Bytes, size_t At)
{
    return Bytes[At] | (Bytes[At + 1] << 8) | (Bytes[At + 2] << 16) |
           (static_cast<uint32_t>(Bytes[At + 3]) << 24);
}

float FloatAt(const std::vector<uint8_t>& Bytes, size_t At)
{
    const uint32_t uiBits = Little32(Bytes, At);
    float fValue = 0.0f;
    std::memcpy(&fValue, &uiBits, sizeof(fValue));
    return fValue;
}
} // namespace

TEST(WaveFileWriter, WritesStereoFloatWithCompleteHeader)
{
    const auto Path = TestFiles::PathFor("writer-float.wav");
    WaveFileWriter Writer;
    ASSERT_EQ(Writer.Open(TestFiles::Wide(Path).c_str(), 2, 48000, WaveSampleFormat::Float32), 1);
    // Values outside -1 ... +1 are kept: nothing is clipped.
    const std::vector<double> Frames = {0.0, -0.5, 0.25, 1.5, -2.0, 1.0 / 3.0};
    uint64_t ullFrames = 2;
    ASSERT_EQ(Writer.WriteFrames(Frames.data(), ullFrames), 1);
    EXPECT_EQ(ullFrames, 2u);
    ullFrames = 1;
    ASSERT_EQ(Writer.WriteFrames(Frames.data() + 4, ullFrames), 1);
    ullFrames = 0;
    EXPECT_EQ(Writer.WriteFrames(nullptr, ullFrames), 1);
    EXPECT_EQ(Writer.GetFrameCount(), 3u);
    ASSERT_EQ(Writer.Close(), 1);
    EXPECT_EQ(Writer.Close(), 0);

    const std::vector<uint8_t> Bytes = TestFiles::Read(Path);
    ASSERT_EQ(Bytes.size(), 94u + 24);
    const std::vector<uint8_t> Expected = {
        'R',  'I',  'F', 'F', 110,  0,    0,    0, 'W', 'A', 'V', 'E', // RIFF
        'J',  'U',  'N', 'K', 28,   0,    0,    0,                     // room for ds64
        0,    0,    0,   0,   0,    0,    0,    0, 0,   0,   0,   0,   0, 0,
        0,    0,    0,   0,   0,    0,    0,    0, 0,   0,   0,   0,   0, 0, //
        'f',  'm',  't', ' ', 18,   0,    0,    0, 3,   0,   2,   0,         // float, 2 channels
        0x80, 0xBB, 0,   0,   0x00, 0xDC, 0x05, 0, 8,   0,   32,  0,   0, 0, // 48000, 384000
        'f',  'a',  'c', 't', 4,    0,    0,    0, 3,   0,   0,   0,         // 3 frames
        'd',  'a',  't', 'a', 24,   0,    0,    0};
    EXPECT_EQ(std::vector<uint8_t>(Bytes.begin(), Bytes.begin() + 94), Expected);
    for (size_t i = 0; i < Frames.size(); ++i)
    {
        EXPECT_EQ(FloatAt(Bytes, 94 + 4 * i), static_cast<float>(Frames[i])) << i;
    }

    // Opening again truncates.
    ASSERT_EQ(Writer.Open(TestFiles::Wide(Path).c_str(), 1, 8000, WaveSampleFormat::Float32), 1);
    ASSERT_EQ(Writer.Close(), 1);
    EXPECT_EQ(TestFiles::Read(Path).size(), 94u);
}

TEST(WaveFileWriter, RefusesBadArgumentsAndReportsFailedWrites)
{
    const auto Path = TestFiles::PathFor("writer-refused.wav");
    const std::u16string Wide = TestFiles::Wide(Path);
    WaveFileWriter Writer;
    const std::vector<double> Frames(8, 0.1);
    uint64_t ullFrames = 2;
    EXPECT_EQ(Writer.WriteFrames(Frames.data(), ullFrames), -1);
    EXPECT_EQ(ullFrames, 0u);
    EXPECT_EQ(Writer.Close(), 0);
    EXPECT_EQ(Writer.Open(nullptr, 2, 48000, WaveSampleFormat::Float32), -4);
    EXPECT_EQ(Writer.Open(Wide.c_str(), 0, 48000, WaveSampleFormat::Float32), -4);
    EXPECT_EQ(Writer.Open(Wide.c_str(), 70000, 48000, WaveSampleFormat::Float32), -4);
    EXPECT_EQ(Writer.Open(Wide.c_str(), 2, 0, WaveSampleFormat::Float32), -4);
    EXPECT_EQ(Writer.Open(Wide.c_str(), 2, 0x7FFFFFFF, WaveSampleFormat::Float32), -4);
    EXPECT_EQ(Writer.Open(Wide.c_str(), 2, 48000, static_cast<WaveSampleFormat>(7)), -99);
    EXPECT_FALSE(std::filesystem::exists(Path));
    const auto Missing = TestFiles::PathFor("no-such-folder") / "x.wav";
    EXPECT_EQ(Writer.Open(TestFiles::Wide(Missing).c_str(), 2, 48000, WaveSampleFormat::Float32), -1);

    ASSERT_EQ(Writer.Open(Wide.c_str(), 2, 48000, WaveSampleFormat::Float32), 1);
    ullFrames = 3;
    EXPECT_EQ(Writer.WriteFrames(nullptr, ullFrames), -4);
    EXPECT_EQ(ullFrames, 0u);
    EXPECT_EQ(Writer.Close(), 1);

#ifndef _WIN32
    // A device that takes no bytes: the failure shows at the latest when the header is completed.
    if (std::filesystem::exists("/dev/full"))
    {
        ASSERT_EQ(Writer.Open(u"/dev/full", 2, 48000, WaveSampleFormat::Float32), 1);
        const std::vector<double> Many(2 * 100000, 0.5);
        ullFrames = 100000;
        const int32_t iWrite = Writer.WriteFrames(Many.data(), ullFrames);
        EXPECT_EQ(iWrite, -1);
        EXPECT_LT(ullFrames, 100000u);
        EXPECT_EQ(Writer.Close(), -1);
    }
#endif
}

TEST(WaveFileWriter, WritesIntegerPcmFromWordsAndFromSamples)
{
    const auto Path = TestFiles::PathFor("writer-pcm.wav");
    const std::u16string Wide = TestFiles::Wide(Path);
    WaveFileWriter Writer;
    // Words: the top container bytes are kept, little-endian; the lower bytes are dropped.
    const std::vector<uint32_t> Words = {0x7FFFFF00, 0x80000100, 0x12345678, 0xFEDCBA98};
    struct Case
    {
        WaveSampleFormat Format;
        uint32_t uiBytes;
        std::vector<uint8_t> Expected;
    };
    const std::vector<Case> Cases = {
        {WaveSampleFormat::Pcm16, 2, {0xFF, 0x7F, 0x00, 0x80, 0x34, 0x12, 0xDC, 0xFE}},
        {WaveSampleFormat::Pcm24,
         3,
         {0xFF, 0xFF, 0x7F, 0x01, 0x00, 0x80, 0x56, 0x34, 0x12, 0xBA, 0xDC, 0xFE}},
        {WaveSampleFormat::Pcm32,
         4,
         {0x00, 0xFF, 0xFF, 0x7F, 0x00, 0x01, 0x00, 0x80, 0x78, 0x56, 0x34, 0x12, 0x98, 0xBA, 0xDC, 0xFE}},
    };
    for (const Case& Item : Cases)
    {
        ASSERT_EQ(Writer.Open(Wide.c_str(), 2, 44100, Item.Format), 1);
        uint64_t ullFrames = 2;
        ASSERT_EQ(Writer.WriteWords(Words.data(), ullFrames), 1);
        EXPECT_EQ(ullFrames, 2u);
        ASSERT_EQ(Writer.Close(), 1);
        const std::vector<uint8_t> Bytes = TestFiles::Read(Path);
        ASSERT_EQ(Bytes.size(), 80u + 4 * Item.uiBytes);
        EXPECT_EQ(std::string(Bytes.begin(), Bytes.begin() + 4), "RIFF");
        EXPECT_EQ(Little32(Bytes, 4), Bytes.size() - 8);
        EXPECT_EQ(std::string(Bytes.begin() + 48, Bytes.begin() + 52), "fmt ");
        EXPECT_EQ(Little32(Bytes, 52), 16u);
        EXPECT_EQ(Little32(Bytes, 56), 1u | (2u << 16)); // integer PCM, 2 channels
        EXPECT_EQ(Little32(Bytes, 60), 44100u);
        EXPECT_EQ(Little32(Bytes, 64), 44100u * 2 * Item.uiBytes);
        EXPECT_EQ(Little32(Bytes, 68), (2 * Item.uiBytes) | (8 * Item.uiBytes << 16));
        EXPECT_EQ(std::string(Bytes.begin() + 72, Bytes.begin() + 76), "data");
        EXPECT_EQ(Little32(Bytes, 76), 4 * Item.uiBytes);
        EXPECT_EQ(std::vector<uint8_t>(Bytes.begin() + 80, Bytes.end()), Item.Expected);
    }

    // Samples: rounded to the nearest code and limited to the symmetric code range.
    ASSERT_EQ(Writer.Open(Wide.c_str(), 1, 8000, WaveSampleFormat::Pcm16), 1);
    const std::vector<double> Samples = {1.5, -1.5, 0.5, -0.5 / 32767.0, 0.0};
    uint64_t ullFrames = Samples.size();
    ASSERT_EQ(Writer.WriteFrames(Samples.data(), ullFrames), 1);
    ASSERT_EQ(Writer.Close(), 1);
    const std::vector<uint8_t> Bytes = TestFiles::Read(Path);
    ASSERT_EQ(Bytes.size(), 80u + 10);
    // 32767, -32767, 16384 (16383.5 to even), 0 (-0.5 to even), 0
    EXPECT_EQ(std::vector<uint8_t>(Bytes.begin() + 80, Bytes.end()),
              (std::vector<uint8_t>{0xFF, 0x7F, 0x01, 0x80, 0x00, 0x40, 0x00, 0x00, 0x00, 0x00}));

    // Words are for integer formats only; an odd data size gets its pad byte.
    ASSERT_EQ(Writer.Open(Wide.c_str(), 1, 8000, WaveSampleFormat::Float32), 1);
    ullFrames = 1;
    EXPECT_EQ(Writer.WriteWords(Words.data(), ullFrames), -99);
    EXPECT_EQ(ullFrames, 0u);
    ASSERT_EQ(Writer.Close(), 1);
    ASSERT_EQ(Writer.Open(Wide.c_str(), 1, 8000, WaveSampleFormat::Pcm24), 1);
    ullFrames = 1;
    EXPECT_EQ(Writer.WriteWords(nullptr, ullFrames), -4);
    ullFrames = 1;
    ASSERT_EQ(Writer.WriteWords(Words.data(), ullFrames), 1);
    ASSERT_EQ(Writer.Close(), 1);
    const std::vector<uint8_t> Odd = TestFiles::Read(Path);
    ASSERT_EQ(Odd.size(), 80u + 4);
    EXPECT_EQ(Little32(Odd, 4), 80u + 4 - 8);
    EXPECT_EQ(Little32(Odd, 76), 3u);
}
