#include "wave/win32/MediaFoundationFileReader.h"
#include "runtime/ResultCodes.h"
#include "tests/common/TestFiles.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cmath>
#include <iostream>
#include <string>
#include <vector>

namespace
{
constexpr uint64_t TONE_FRAMES = 3 * 44100;

std::u16string MadeFile(const char* pName)
{
    return TestFiles::Wide(std::filesystem::path("Z:" LARKSPUR_DECODER_FILES) / pName);
}

bool UnderWine()
{
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

std::vector<double> ReadAll(SAudioFileReader& Reader, uint64_t ullLimit = 4 * TONE_FRAMES)
{
    std::vector<double> All;
    std::vector<double> Block(1000 * 2);
    for (uint64_t ullFrames = 1; ullFrames != 0 && All.size() < ullLimit * 2;)
    {
        ullFrames = 1000;
        EXPECT_EQ(Reader.ReadFrames(Block.data(), &ullFrames), 1);
        All.insert(All.end(), Block.begin(), Block.begin() + static_cast<long>(ullFrames * 2));
    }
    return All;
}

struct DecodedFile
{
    const char* pName;
    const char16_t* pCoding;
    uint32_t uiBits;        // 0 for lossy codings: their length and samples are then compared loosely
    uint64_t ullFrameSlack; // one codec frame
    // What Wine's decoders (GStreamer) do otherwise, each said in the test's output: frames of encoder
    // delay and padding left in; the first codec frame decoded differently by each new decoder; a
    // read that never returns after garbage in the middle.
    uint64_t ullWineUntrimmed = 0;
    uint64_t ullWineUnsteadyHead = 0;
    bool bWineStallsOnGarbage = false;
};

class DecodedFormats : public testing::TestWithParam<DecodedFile>
{
};
} // namespace

TEST(MediaFoundationFileReader, RefusesEveryFileWithoutMediaFoundationAndWhatItCannotRead)
{
    const auto Missing = [](MediaFoundationLibrary& Library)
    { return Library.Start(L"larkspur-no-such-mfplat.dll", L"mfreadwrite.dll"); };
    const auto FailingStart = [](MediaFoundationLibrary& Library)
    {
        return Library.Start(L"mfplat.dll", L"mfreadwrite.dll",
                             [](ULONG, DWORD) -> HRESULT { return E_NOTIMPL; });
    };
    for (MediaFoundationFileReader::LibraryLoader pLoader : {+Missing, +FailingStart})
    {
        MediaFoundationFileReader Reader(pLoader);
        EXPECT_EQ(Reader.Open(MadeFile("tone.flac").c_str()), RESULT_DECODER_UNAVAILABLE);
        EXPECT_EQ(Reader.IsOpen(), 0);
        EXPECT_EQ(Reader.GetFormat().uiSamplingFrequency, 0u);
        EXPECT_NE(std::u16string(Reader.GetErrorText()).find(u"Media Feature Pack"), std::u16string::npos);
    }
    MediaFoundationFileReader Reader;
    const auto NotSound = TestFiles::Write("not-sound.mp3", std::vector<uint8_t>(5000, 'x'));
    EXPECT_LT(Reader.Open(TestFiles::Wide(NotSound).c_str()), 0);
    EXPECT_NE(std::u16string(Reader.GetErrorText()).find(u"Windows can decode"), std::u16string::npos);
    EXPECT_LT(Reader.Open(TestFiles::Wide(TestFiles::PathFor("absent.flac")).c_str()), 0);
    EXPECT_EQ(Reader.Open(nullptr), RESULT_INVALID_ARGUMENT);
    double dfSample = 0.0;
    uint64_t ullFrames = 1;
    EXPECT_EQ(Reader.ReadFrames(&dfSample, &ullFrames), -1);
    EXPECT_EQ(ullFrames, 0u);
    EXPECT_EQ(Reader.SeekFrame(0), -1);
    EXPECT_EQ(Reader.Close(), 0);
}

TEST_P(DecodedFormats, ReadsTheToneWholeFromAnyFrameAndEndsDamagedFilesCleanly)
{
    const DecodedFile& File = GetParam();
    MediaFoundationFileReader Reader;
    const int32_t iOpened = Reader.Open(MadeFile(File.pName).c_str());
    if (iOpened < 0 && UnderWine())
    {
        GTEST_SKIP() << "Wine's Media Foundation cannot decode " << File.pName << " (" << iOpened << ")";
    }
    ASSERT_EQ(iOpened, 1) << File.pName;
    const AudioFileFormat& Format = Reader.GetFormat();
    EXPECT_EQ(std::u16string(Format.szCodingName), File.pCoding);
    EXPECT_EQ(Format.uiBitCount, File.uiBits);
    EXPECT_EQ(Format.uiSamplingFrequency, 44100u);
    ASSERT_EQ(Format.uiChannelCount, 2u);
    EXPECT_EQ(Format.bFrameCountEstimated, File.uiBits == 0 ? 1 : 0);
    const bool bWine = UnderWine();
    const auto Slack = static_cast<double>(File.ullFrameSlack + (bWine ? File.ullWineUntrimmed : 0));
    if (bWine && File.ullWineUntrimmed != 0)
    {
        std::cout << "Wine leaves the encoder delay and padding in " << File.pName << "\n";
    }
    EXPECT_NEAR(static_cast<double>(Format.ullFrameCount), TONE_FRAMES, Slack);

    const std::vector<double> All = ReadAll(Reader);
    const uint64_t ullRead = All.size() / 2;
    EXPECT_NEAR(static_cast<double>(ullRead), TONE_FRAMES, Slack);
    if (File.uiBits != 0)
    {
        EXPECT_EQ(ullRead, Format.ullFrameCount);
    }
    // The left channel's second second: 1000 periods of the tone at half scale.
    ASSERT_GE(ullRead, 2 * 44100u);
    int iCrossings = 0;
    double dfSquares = 0.0;
    for (uint64_t i = 44100; i < 2 * 44100; ++i)
    {
        iCrossings += (All[2 * i] < 0.0) != (All[2 * i - 2] < 0.0) ? 1 : 0;
        dfSquares += All[2 * i] * All[2 * i];
    }
    EXPECT_NEAR(iCrossings, 2000, 2);
    EXPECT_NEAR(std::sqrt(dfSquares / 44100), 0.5 / std::sqrt(2.0), File.uiBits != 0 ? 0.001 : 0.02);

    // Seeks back, forward, far and to the end deliver what the straight read did at those frames.
    // Lossy: decoders may dither their integer output (a wrong frame differs by 0.01 and more).
    const double dfTolerance = File.uiBits != 0 ? 0.0 : 1e-3;
    for (uint64_t ullTarget :
         {uint64_t{54321}, uint64_t{3}, uint64_t{90000}, uint64_t{90500}, uint64_t{0}, ullRead})
    {
        ASSERT_EQ(Reader.SeekFrame(ullTarget), 1) << ullTarget;
        std::vector<double> Block(2 * 3000);
        uint64_t ullFrames = 3000;
        ASSERT_EQ(Reader.ReadFrames(Block.data(), &ullFrames), 1);
        ASSERT_EQ(ullFrames, std::min<uint64_t>(3000, ullRead - ullTarget)) << ullTarget;
        const uint64_t ullSteady = bWine ? File.ullWineUnsteadyHead : 0;
        for (uint64_t i = ullTarget >= ullSteady ? 0 : 2 * (ullSteady - ullTarget); i < 2 * ullFrames; ++i)
        {
            ASSERT_NEAR(Block[i], All[2 * ullTarget + i], dfTolerance) << File.pName << " at " << ullTarget;
        }
    }
    EXPECT_EQ(Reader.Close(), 1);

    // Cut short, and with garbage in the middle: what decodes is delivered, then the sound ends.
    const auto Bytes = TestFiles::Read(std::filesystem::path(MadeFile(File.pName)));
    auto Garbled = Bytes;
    for (size_t i = Bytes.size() / 2; i < Bytes.size() / 2 + 3000; ++i)
    {
        Garbled[i] = static_cast<uint8_t>(i * 2654435761u >> 13);
    }
    const std::vector<uint8_t> Cut(Bytes.begin(), Bytes.begin() + static_cast<long>(Bytes.size() * 6 / 10));
    for (const std::vector<uint8_t>* pDamaged : {&Cut, const_cast<const std::vector<uint8_t>*>(&Garbled)})
    {
        if (bWine && File.bWineStallsOnGarbage && pDamaged == &Garbled)
        {
            GTEST_SKIP() << "Wine's decoder never returns from a read after garbage in " << File.pName;
        }
        const auto Path = TestFiles::Write(std::string("damaged-") + File.pName, *pDamaged);
        if (Reader.Open(TestFiles::Wide(Path).c_str()) < 0)
        {
            continue; // refused whole is clean too
        }
        const std::vector<double> Damages = ReadAll(Reader);
        EXPECT_LE(Damages.size() / 2, ullRead + File.ullFrameSlack) << File.pName;
        for (double dfValue : Damages)
        {
            ASSERT_TRUE(std::isfinite(dfValue) && std::fabs(dfValue) <= 2.0) << File.pName;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(MediaFoundationFileReader, DecodedFormats,
                         testing::Values(DecodedFile{"tone.flac", u"FLAC", 24, 0, 0, 0, true},
                                         DecodedFile{"tone-alac.m4a", u"ALAC", 16, 0, 0, 0, true},
                                         DecodedFile{"tone.mp3", u"MP3", 0, 1152, 1152 + 576 + 529},
                                         DecodedFile{"tone.m4a", u"AAC", 0, 1024, 0, 2048, true},
                                         DecodedFile{"tone.wma", u"WMA", 0, 2048, 0, 2048}),
                         [](const testing::TestParamInfo<DecodedFile>& Info)
                         {
                             std::string Name = Info.param.pName;
                             for (char& c : Name)
                             {
                                 c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             }
                             return Name;
                         });
