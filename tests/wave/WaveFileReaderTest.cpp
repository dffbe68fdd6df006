#include "wave/WaveFileReader.h"
#include "tests/common/TestFiles.h"
#include "tests/common/WaveFileBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

namespace
{
using Bytes = WaveFileBuilder::Bytes;

int32_t OpenImage(WaveFileReader& Reader, const Bytes& Image)
{
    static int iCounter = 0;
    const auto Path = TestFiles::Write("reader-" + std::to_string(++iCounter) + ".wav", Image);
    return Reader.Open(TestFiles::Wide(Path).c_str());
}

// Reads with calls of ullPerCall frames until a call delivers none.
std::vector<double> ReadAll(WaveFileReader& Reader, uint64_t ullPerCall)
{
    std::vector<double> All;
    std::vector<double> Block(ullPerCall * Reader.uiChannelCount + 1, 99.0);
    for (;;)
    {
        uint64_t ullFrames = ullPerCall;
        EXPECT_EQ(Reader.ReadFrames(Block.data(), &ullFrames), 1);
        EXPECT_LE(ullFrames, ullPerCall);
        EXPECT_EQ(Block[ullPerCall * Reader.uiChannelCount], 99.0) << "wrote past the frames asked for";
        All.insert(All.end(), Block.begin(),
                   Block.begin() + static_cast<long>(ullFrames * Reader.uiChannelCount));
        if (ullFrames == 0)
        {
            return All;
        }
    }
}

std::vector<double> Ramp(size_t uCount, double dfStep)
{
    std::vector<double> Values(uCount);
    for (size_t i = 0; i < uCount; ++i)
    {
        Values[i] = std::fmod(static_cast<double>(i) * dfStep, 2.0) - 1.0;
    }
    return Values;
}
} // namespace

TEST(WaveFileReader, DecodesEveryBitDepthAtTheExtremes)
{
    struct Case
    {
        uint32_t uiBits;
        Bytes Raw;
        std::vector<double> Expected;
    };
    const double dfLsb24 = std::ldexp(1.0, -23);
    const double dfLsb32 = std::ldexp(1.0, -31);
    const std::vector<Case> Cases = {
        {8, {0x00, 0xFF, 0x80, 0x7F}, {-1.0, 127.0 / 128.0, 0.0, -1.0 / 128.0}},
        {16,
         {0x00, 0x80, 0xFF, 0x7F, 0x00, 0x00, 0xFF, 0xFF},
         {-1.0, 32767.0 / 32768.0, 0.0, -1.0 / 32768.0}},
        {24,
         {0x00, 0x00, 0x80, 0xFF, 0xFF, 0x7F, 0x01, 0x00, 0x00, 0xFF, 0xFF, 0xFF},
         {-1.0, 1.0 - dfLsb24, dfLsb24, -dfLsb24}},
        // All four bytes count: the lowest code is 2^-31, not 0.
        {32,
         {0x00, 0x00, 0x00, 0x80, 0xFF, 0xFF, 0xFF, 0x7F, 0x01, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF},
         {-1.0, 1.0 - dfLsb32, dfLsb32, -dfLsb32}},
    };
    for (const Case& Item : Cases)
    {
        SCOPED_TRACE(Item.uiBits);
        WaveFileReader Reader;
        ASSERT_EQ(OpenImage(Reader, WaveFileBuilder().Pcm(2, 48000, Item.uiBits).Data(Item.Raw).Build()), 1);
        EXPECT_EQ(Reader.uiBitCount, Item.uiBits);
        EXPECT_EQ(Reader.uiChannelCount, 2u);
        EXPECT_EQ(Reader.uiSamplingFrequency, 48000u);
        EXPECT_EQ(Reader.ullFrameCount, 2u);
        EXPECT_EQ(Reader.ullDataOffset, 44u);
        EXPECT_EQ(ReadAll(Reader, 10), Item.Expected);
    }
}

TEST(WaveFileReader, FloatSamplesPassAsTheyAreButNanAndInfinityReadAsSilence)
{
    const double dfInfinity = std::numeric_limits<double>::infinity();
    const std::vector<double> Values = {0.25, -1.75, 3.0, std::nan(""), dfInfinity, -dfInfinity, -0.0, 1e-30};
    const std::vector<double> Expected = {0.25, -1.75, 3.0, 0.0, 0.0, 0.0, 0.0, 1e-30};
    const auto Float = WaveFileBuilder::SUBFORMAT_IEEE_FLOAT;
    for (const auto& [pName, uiBits, Builder] :
         {std::tuple{"32-bit tag 3", 32u, WaveFileBuilder().Pcm(2, 96000, 32).FormatTag(3)},
          std::tuple{"64-bit tag 3", 64u, WaveFileBuilder().Pcm(2, 96000, 64).FormatTag(3)},
          std::tuple{"32-bit extensible", 32u, WaveFileBuilder().Pcm(2, 96000, 32).Extensible(Float, 0, 3)},
          std::tuple{"64-bit extensible RF64", 64u,
                     WaveFileBuilder().Pcm(2, 96000, 64).Extensible(Float).Rf64()},
          std::tuple{"32-bit tag 3 RF64", 32u, WaveFileBuilder().Pcm(2, 96000, 32).FormatTag(3).Rf64()}})
    {
        SCOPED_TRACE(pName);
        // Little-endian machines only, as the tests run.
        Bytes Raw;
        std::vector<double> Wanted;
        for (size_t i = 0; i < Values.size(); ++i)
        {
            const auto fValue = static_cast<float>(Values[i]);
            uint8_t Sample[8];
            std::memcpy(Sample, uiBits == 32 ? static_cast<const void*>(&fValue) : &Values[i], uiBits / 8);
            Raw.insert(Raw.end(), Sample, Sample + uiBits / 8);
            Wanted.push_back(uiBits == 32 ? static_cast<float>(Expected[i]) : Expected[i]);
        }
        WaveFileReader Reader;
        ASSERT_EQ(OpenImage(Reader, WaveFileBuilder(Builder).Data(Raw).Build()), 1);
        const AudioFileFormat& Format = Reader.GetFormat();
        EXPECT_EQ(Format.uiBitCount * 10 + static_cast<uint32_t>(Format.bFloatSamples), uiBits * 10 + 1);
        EXPECT_EQ(Format.ullFrameCount, 4u);
        EXPECT_EQ(std::u16string(Format.szCodingName), u"WAV");
        EXPECT_EQ(ReadAll(Reader, 3), Wanted);
        EXPECT_EQ(Reader.Close(), 1); // which forgets the format
        EXPECT_EQ(Reader.GetFormat().uiBitCount, 0u);
    }
}

TEST(WaveFileReader, BuilderSignalRoundTripsAcrossBlocks)
{
    // 24-bit stereo: 6-byte frames, 682 frames per 4096-byte block; read across many block edges.
    std::vector<double> Signal = Ramp(2 * 5000, 0.001);
    Signal[0] = -1.0;
    Signal[1] = 1.0; // limited to the largest code
    WaveFileReader Reader;
    ASSERT_EQ(OpenImage(Reader, WaveFileBuilder::PcmWave(Signal, 2, 96000, 24)), 1);
    EXPECT_EQ(Reader.ullFrameCount, 5000u);
    for (uint64_t ullPerCall : {1ull, 681ull, 682ull, 683ull, 3000ull, 10000ull})
    {
        SCOPED_TRACE(ullPerCall);
        ASSERT_EQ(Reader.Rewind(), 1);
        const std::vector<double> Got = ReadAll(Reader, ullPerCall);
        ASSERT_EQ(Got.size(), Signal.size());
        EXPECT_EQ(Got[1], 1.0 - std::ldexp(1.0, -23));
        for (size_t i = 2; i < Signal.size(); ++i)
        {
            ASSERT_NEAR(Got[i], Signal[i], std::ldexp(1.0, -24)) << i;
        }
    }
    // One call larger than a block delivers everything it asked for.
    ASSERT_EQ(Reader.Rewind(), 1);
    std::vector<double> Out(2 * 3000);
    uint64_t ullFrames = 3000;
    EXPECT_EQ(Reader.ReadFrames(Out.data(), &ullFrames), 1);
    EXPECT_EQ(ullFrames, 3000u);
}

TEST(WaveFileReader, SkipsOtherChunksBeforeDataHonouringPadBytes)
{
    const Bytes Raw = {0x01, 0x00, 0x02, 0x00, 0x03, 0x00};
    const std::vector<double> Expected = {1 / 32768.0, 2 / 32768.0, 3 / 32768.0};
    struct Case
    {
        const char* pName;
        WaveFileBuilder Builder;
        uint64_t ullDataOffset;
    };
    const std::vector<Case> Cases = {
        {"odd JUNK", WaveFileBuilder().Pcm(1, 8000, 16).ChunkBeforeFormat("JUNK", Bytes(3, 0xAA)), 44 + 12},
        {"even JUNK", WaveFileBuilder().Pcm(1, 8000, 16).ChunkBeforeFormat("JUNK", Bytes(28, 0)), 44 + 36},
        {"J but not JUNK", WaveFileBuilder().Pcm(1, 8000, 16).ChunkBeforeFormat("JUNQ", Bytes(1, 0x64)),
         44 + 10},
        {"LIST and fact before data",
         WaveFileBuilder()
             .Pcm(1, 8000, 16)
             .ChunkBeforeData("LIST", WaveFileBuilder::ListInfoPayload("ISFT", "gen"))
             .ChunkBeforeData("fact", WaveFileBuilder::FactPayload(3)),
         44 + 24 + 12},
        {"chunks on both sides",
         WaveFileBuilder()
             .Pcm(1, 8000, 16)
             .ChunkBeforeFormat("bext", Bytes(5, 'd'))
             .ChunkBeforeFormat("JUNK", Bytes(2, 0))
             .ChunkBeforeData("PEAK", Bytes(7, 'd')),
         44 + 14 + 10 + 16},
        {"fmt of 18", WaveFileBuilder().Pcm(1, 8000, 16).FormatSize(18), 46},
        {"fmt of 40, tag 1", WaveFileBuilder().Pcm(1, 8000, 16).FormatSize(40), 68},
        {"odd fmt of 19 with its pad", WaveFileBuilder().Pcm(1, 8000, 16).FormatSize(19), 48},
        {"extensible PCM",
         WaveFileBuilder().Pcm(1, 8000, 16).Extensible(WaveFileBuilder::SUBFORMAT_PCM, 12, 4), 68},
    };
    for (const Case& Item : Cases)
    {
        SCOPED_TRACE(Item.pName);
        WaveFileReader Reader;
        ASSERT_EQ(OpenImage(Reader, WaveFileBuilder(Item.Builder).Data(Raw).Build()), 1);
        EXPECT_EQ(Reader.ullDataOffset, Item.ullDataOffset);
        EXPECT_EQ(Reader.ullFrameCount, 3u);
        EXPECT_EQ(Reader.uiBitCount, 16u);
        EXPECT_EQ(ReadAll(Reader, 2), Expected);
    }
}

TEST(WaveFileReader, RefusesWhatItCannotPlay)
{
    const Bytes Raw(16, 0x11);
    const auto Pcm16 = [] { return WaveFileBuilder().Pcm(2, 44100, 16); };
    struct Case
    {
        const char* pName;
        Bytes Image;
    };
    const std::vector<Case> Cases = {
        {"16-bit float tag 3", Pcm16().FormatTag(3).Data(Raw).Build()},
        {"24-bit float tag 3", WaveFileBuilder().Pcm(2, 44100, 24).FormatTag(3).Data(Raw).Build()},
        {"ADPCM tag 2", Pcm16().FormatTag(2).Data(Raw).Build()},
        {"16-bit extensible float",
         Pcm16().Extensible(WaveFileBuilder::SUBFORMAT_IEEE_FLOAT).Data(Raw).Build()},
        {"extensible without its extension", Pcm16().Extensible().FormatSize(18).Data(Raw).Build()},
        {"12 bits", WaveFileBuilder().Pcm(2, 44100, 12).Data(Raw).Build()},
        {"4 bits", WaveFileBuilder().Pcm(1, 44100, 4).Data(Raw).Build()},
        {"0 bits", WaveFileBuilder().Pcm(1, 44100, 0).Data(Raw).Build()},
        {"40 bits", WaveFileBuilder().Pcm(1, 44100, 40).Data(Raw).Build()},
        {"0 channels", WaveFileBuilder().Pcm(0, 44100, 16).Data(Raw).Build()},
        {"rate 0", WaveFileBuilder().Pcm(2, 0, 16).Data(Raw).Build()},
        {"frame beyond the block", WaveFileBuilder().Pcm(2000, 44100, 24).Data(Raw).Build()},
        {"fmt shorter than 16", Pcm16().FormatSize(14).Data(Raw).Build()},
        {"RIFX", Pcm16().RiffIdentifier("RIFX").Data(Raw).Build()},
        {"RF65", Pcm16().RiffIdentifier("RF65").Data(Raw).Build()},
        {"not R", Pcm16().RiffIdentifier("FORM").Data(Raw).Build()},
        {"not WAVE", Pcm16().FormType("AVI ").Data(Raw).Build()},
        {"data before fmt", Pcm16().ChunkBeforeFormat("data", Raw).Data(Raw).Build()},
        {"second fmt", Pcm16().ChunkBeforeData("fmt ", Bytes(16, 0)).Data(Raw).Build()},
        {"RF64 without ds64", Pcm16().RiffIdentifier("RF64").Data(Raw).Build()},
        {"ds64 shorter than 28",
         [&]
         {
             Bytes Image = Pcm16().Rf64().Data(Raw).Build();
             Image[16] = 27;
             return Image;
         }()},
        {"empty file", Bytes()},
    };
    for (const Case& Item : Cases)
    {
        SCOPED_TRACE(Item.pName);
        WaveFileReader Reader;
        EXPECT_EQ(OpenImage(Reader, Item.Image), -1);
        EXPECT_EQ(Reader.bOpened, 0);
        EXPECT_EQ(Reader.pBlockBuffer, nullptr);
        double dfOut[4] = {};
        uint64_t ullFrames = 1;
        EXPECT_EQ(Reader.ReadFrames(dfOut, &ullFrames), -1);
        EXPECT_EQ(ullFrames, 0u);
        EXPECT_EQ(Reader.Rewind(), -1);
    }
    WaveFileReader Reader;
    EXPECT_EQ(Reader.Open(TestFiles::Wide(TestFiles::PathFor("missing.wav")).c_str()), -1);

    // Every header cut short is refused, in both forms.
    for (const Bytes& Image : {Pcm16().ChunkBeforeFormat("JUNK", Bytes(3, 0)).Build(),
                               Pcm16().Rf64().Ds64Table(1).Extensible().Build()})
    {
        for (size_t uLength = 0; uLength < Image.size(); ++uLength)
        {
            SCOPED_TRACE(uLength);
            EXPECT_EQ(OpenImage(Reader, Bytes(Image.begin(), Image.begin() + static_cast<long>(uLength))),
                      -1);
        }
        EXPECT_GE(OpenImage(Reader, Image), 0);
    }
}

TEST(WaveFileReader, FrameOfExactlyOneBlockIsRead)
{
    // 2048 channels of 16 bits: 4096 bytes, one frame per pass.
    Bytes Raw(2 * 4096, 0);
    Raw[0] = 0x00;
    Raw[1] = 0x40;           // frame 0, channel 0: 0.5
    Raw[4096 + 4095] = 0xC0; // frame 1, last channel: -0.5
    WaveFileReader Reader;
    ASSERT_EQ(OpenImage(Reader, WaveFileBuilder().Pcm(2048, 8000, 16).Data(Raw).Build()), 1);
    std::vector<double> Out(3 * 2048, 7.0);
    uint64_t ullFrames = 3;
    EXPECT_EQ(Reader.ReadFrames(Out.data(), &ullFrames), 1);
    ASSERT_EQ(ullFrames, 2u);
    EXPECT_EQ(Out[0], 0.5);
    EXPECT_EQ(Out[2 * 2048 - 1], -0.5);
    EXPECT_EQ(Out[2 * 2048], 7.0);
}

TEST(WaveFileReader, ConsistencyDecidesBetweenOneAndZero)
{
    const Bytes Raw(12, 0);
    const auto Base = [] { return WaveFileBuilder().Pcm(2, 44100, 16); };
    EXPECT_EQ(Base().Data(Raw).Build().size(), 56u);
    struct Case
    {
        const char* pName;
        Bytes Image;
        int32_t iResult;
    };
    const std::vector<Case> Cases = {
        {"consistent", Base().Data(Raw).Build(), 1},
        {"wrong block align", Base().BlockAlign(2).Data(Raw).Build(), 0},
        {"wrong bytes per second", Base().BytesPerSecond(44100).Data(Raw).Build(), 0},
        {"wrong RIFF size", Base().RiffSizeField(100).Data(Raw).Build(), 0},
        {"trailing chunk", Base().Data(Raw).ChunkAfterData("LIST", Bytes(8, 0)).Build(), 0},
        // Odd data: the RIFF size may count the pad byte or not.
        {"odd data, padded", WaveFileBuilder().Pcm(1, 8000, 8).Data(Bytes(5, 0x80)).Build(), 1},
        {"odd data, pad not counted",
         WaveFileBuilder().Pcm(1, 8000, 8).Data(Bytes(5, 0x80)).DataPadByte(false).Build(), 1},
        {"odd data, size off by two",
         WaveFileBuilder().Pcm(1, 8000, 8).Data(Bytes(5, 0x80)).RiffSizeField(44).Build(), 0},
        {"extensible", Base().Extensible().Data(Raw).Build(), 1},
    };
    for (const Case& Item : Cases)
    {
        SCOPED_TRACE(Item.pName);
        WaveFileReader Reader;
        EXPECT_EQ(OpenImage(Reader, Item.Image), Item.iResult);
        EXPECT_EQ(Reader.bOpened, 1);
    }
}

TEST(WaveFileReader, StopsAtTheEndOfAPlausibleDataChunk)
{
    // Stereo 16-bit: frames of 4 bytes. A trailing chunk must never be played.
    const Bytes Raw = {0x00, 0x40, 0x00, 0xC0, 0x00, 0x20, 0x00, 0xE0};
    const std::vector<double> Expected = {0.5, -0.5, 0.25, -0.25};
    const Bytes Trailer(40, 0x7F);
    const auto Base = [&]
    { return WaveFileBuilder().Pcm(2, 44100, 16).Data(Raw).ChunkAfterData("LIST", Trailer); };
    {
        WaveFileReader Reader;
        ASSERT_EQ(OpenImage(Reader, Base().Build()), 0);
        EXPECT_EQ(Reader.ullFrameCount, 2u);
        EXPECT_EQ(ReadAll(Reader, 1), Expected);
        ASSERT_EQ(Reader.Rewind(), 1);
        EXPECT_EQ(ReadAll(Reader, 100), Expected);
    }
    {
        // A data size that is not a whole number of frames: the partial frame is never delivered.
        Bytes Odd = Raw;
        Odd.push_back(0x12);
        Odd.push_back(0x34);
        WaveFileReader Reader;
        ASSERT_EQ(OpenImage(Reader, WaveFileBuilder(Base()).Data(Odd).Build()), 0);
        EXPECT_EQ(Reader.ullFrameCount, 2u);
        EXPECT_EQ(ReadAll(Reader, 3), Expected);
    }
    {
        // RF64 stops at the ds64 data size; its frame count comes from the ds64 sample count.
        WaveFileReader Reader;
        ASSERT_EQ(OpenImage(Reader, Base().Rf64().Ds64Sizes(std::nullopt, std::nullopt, 7).Build()), 1);
        EXPECT_EQ(Reader.ullFrameCount, 7u);
        EXPECT_EQ(ReadAll(Reader, 5), Expected);
    }
}

TEST(WaveFileReader, ReadsToTheEndOfTheFileWhenTheDataSizeIsNoSize)
{
    const Bytes Raw = {0x00, 0x40, 0x00, 0xC0, 0x00, 0x20, 0x00, 0xE0, 0x00, 0x10};
    const std::vector<double> Expected = {0.5, -0.5, 0.25, -0.25};
    for (uint32_t uiDataSize : {0u, 0xFFFFFFFFu, 11u, 1000u})
    {
        SCOPED_TRACE(uiDataSize);
        WaveFileReader Reader;
        ASSERT_EQ(OpenImage(Reader,
                            WaveFileBuilder().Pcm(2, 44100, 16).Data(Raw).DataSizeField(uiDataSize).Build()),
                  0);
        // The count is what the file holds, so the length shown and the end of playback agree.
        EXPECT_EQ(Reader.ullFrameCount, 2u);
        // The file ends inside the third frame: the call delivers the two whole frames.
        std::vector<double> Out(10 * 2, 9.0);
        uint64_t ullFrames = 10;
        EXPECT_EQ(Reader.ReadFrames(Out.data(), &ullFrames), 1);
        EXPECT_EQ(ullFrames, 2u);
        EXPECT_EQ(std::vector<double>(Out.begin(), Out.begin() + 4), Expected);
        EXPECT_EQ(Out[4], 9.0);
        ullFrames = 10;
        EXPECT_EQ(Reader.ReadFrames(Out.data(), &ullFrames), 1);
        EXPECT_EQ(ullFrames, 0u);
    }
    // RF64 whose ds64 data size lies beyond the file reads to its end.
    WaveFileReader Reader;
    ASSERT_EQ(OpenImage(Reader, WaveFileBuilder()
                                    .Pcm(2, 44100, 16)
                                    .Rf64()
                                    .Ds64Sizes(std::nullopt, 1u << 20, 2)
                                    .Data(Bytes(Raw.begin(), Raw.begin() + 8))
                                    .ChunkAfterData("LIST", Bytes(4, 0))
                                    .Build()),
              1);
    EXPECT_EQ(ReadAll(Reader, 4).size(), 10u); // the trailing chunk's 12 bytes are three more frames
}

TEST(WaveFileReader, Rf64HeaderFields)
{
    const Bytes Raw(24, 0);
    struct Case
    {
        const char* pName;
        WaveFileBuilder Builder;
        int32_t iResult;
        uint64_t ullDataOffset;
    };
    const std::vector<Case> Cases = {
        {"plain", WaveFileBuilder().Pcm(2, 48000, 24).Rf64(), 1, 80},
        {"table and odd extra bytes", WaveFileBuilder().Pcm(2, 48000, 24).Rf64().Ds64Table(2, 3), 1, 80 + 28},
        {"JUNK after ds64", WaveFileBuilder().Pcm(2, 48000, 24).Rf64().ChunkBeforeFormat("JUNK", Bytes(4, 0)),
         1, 92},
        {"RIFF size field set", WaveFileBuilder().Pcm(2, 48000, 24).Rf64().RiffSizeField(1000), 0, 80},
        {"data size field set", WaveFileBuilder().Pcm(2, 48000, 24).Rf64().DataSizeField(24), 0, 80},
        {"inconsistent fmt is ignored", WaveFileBuilder().Pcm(2, 48000, 24).Rf64().BlockAlign(1), 1, 80},
    };
    for (const Case& Item : Cases)
    {
        SCOPED_TRACE(Item.pName);
        WaveFileReader Reader;
        ASSERT_EQ(OpenImage(Reader, WaveFileBuilder(Item.Builder).Data(Raw).Build()), Item.iResult);
        EXPECT_EQ(Reader.ullDataOffset, Item.ullDataOffset);
        EXPECT_EQ(Reader.ullFrameCount, 4u);
        EXPECT_EQ(ReadAll(Reader, 3).size(), 8u);
    }
}

TEST(WaveFileReader, EmptyFilesZeroRequestsAndRewind)
{
    {
        WaveFileReader Reader;
        ASSERT_EQ(OpenImage(Reader, WaveFileBuilder().Pcm(2, 44100, 16).Build()), 1);
        EXPECT_EQ(Reader.ullFrameCount, 0u);
        double dfOut[2] = {};
        uint64_t ullFrames = 5;
        EXPECT_EQ(Reader.ReadFrames(dfOut, &ullFrames), 1);
        EXPECT_EQ(ullFrames, 0u);
        EXPECT_EQ(Reader.Rewind(), 1);
    }
    const std::vector<double> Signal = {0.5, -0.5, 0.25, -0.25, 0.125, -0.125};
    WaveFileReader Reader;
    ASSERT_EQ(OpenImage(Reader, WaveFileBuilder::PcmWave(Signal, 2, 44100, 16)), 1);
    // Zero frames asked: nothing is read and the next call starts at the first frame.
    double dfOut[6] = {};
    uint64_t ullFrames = 0;
    EXPECT_EQ(Reader.ReadFrames(dfOut, &ullFrames), 1);
    EXPECT_EQ(ullFrames, 0u);
    ullFrames = 2;
    EXPECT_EQ(Reader.ReadFrames(dfOut, &ullFrames), 1);
    EXPECT_EQ(ullFrames, 2u);
    EXPECT_EQ(dfOut[0], 0.5);
    // Rewind after reading starts from the first frame again, and again after the end.
    ASSERT_EQ(Reader.Rewind(), 1);
    EXPECT_EQ(ReadAll(Reader, 4), Signal);
    ASSERT_EQ(Reader.Rewind(), 1);
    EXPECT_EQ(ReadAll(Reader, 1), Signal);

    EXPECT_EQ(Reader.ReadFrames(dfOut, nullptr), -4);
    ullFrames = 2;
    EXPECT_EQ(Reader.ReadFrames(nullptr, &ullFrames), -4);
    EXPECT_EQ(ullFrames, 0u);

    EXPECT_EQ(Reader.Close(), 1);
    EXPECT_EQ(Reader.Close(), 0);
    EXPECT_EQ(Reader.ullDataOffset, 0u);
    EXPECT_EQ(Reader.pBlockBuffer, nullptr);
    ullFrames = 2;
    EXPECT_EQ(Reader.ReadFrames(dfOut, &ullFrames), -1);
    EXPECT_EQ(Reader.Rewind(), -1);

    // The same reader opens another file; a refused one afterwards leaves it closed.
    ASSERT_EQ(OpenImage(Reader, WaveFileBuilder::PcmWave({-1.0}, 1, 8000, 8)), 1);
    EXPECT_EQ(ReadAll(Reader, 4), std::vector<double>{-1.0});
    EXPECT_EQ(OpenImage(Reader, Bytes(100, 0)), -1);
    EXPECT_EQ(Reader.bOpened, 0);
}

TEST(WaveFileReader, NewReaderIsClosed)
{
    WaveFileReader Reader;
    EXPECT_EQ(Reader.bOpened, 0);
    EXPECT_EQ(Reader.ullBlockSize, 4096u);
    EXPECT_EQ(Reader.pBlockBuffer, nullptr);
    EXPECT_EQ(Reader.ullFrameCount, 0u);
    EXPECT_EQ(Reader.Close(), 0);
}
