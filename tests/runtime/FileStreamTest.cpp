#include "runtime/CFileStream.h"
#include "runtime/CMemoryANSI.h"
#include "tests/common/TestFiles.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#if !defined(_WIN32)
#include <sys/stat.h>
#endif
#include <vector>

namespace
{
std::vector<uint8_t> Bytes(const char* pText)
{
    return std::vector<uint8_t>(pText, pText + std::strlen(pText));
}

TEST(FileStreamTest, ClosedStreamRefusesEverything)
{
    CFileStream Stream;
    char16_t Name[8] = {};
    uint64_t ullValue = 77;
    const int64_t llOffset = 0;
    char Buffer[4];
    uint64_t ullCount = 4;
    StreamFunctions Functions{};

    EXPECT_EQ(-1, Stream.GetFileName(Name, 8));
    EXPECT_EQ(-1, Stream.GetSize(&ullValue));
    EXPECT_EQ(-1, Stream.Seek(&llOffset, &ullValue, 0));
    EXPECT_EQ(-4, Stream.Seek(nullptr, &ullValue, 0));
    EXPECT_EQ(-1, Stream.Truncate());
    EXPECT_EQ(-1, Stream.Read(Buffer, ullCount));
    EXPECT_EQ(0u, ullCount);
    ullCount = 4;
    EXPECT_EQ(-4, Stream.Read(nullptr, ullCount));
    EXPECT_EQ(0u, ullCount);
    ullCount = 4;
    EXPECT_EQ(-1, Stream.Write(Buffer, ullCount));
    EXPECT_EQ(0u, ullCount);
    EXPECT_EQ(-1, Stream.GetStreamFunctions(&Functions));
    EXPECT_EQ(-4, Stream.GetStreamFunctions(nullptr));
    EXPECT_EQ(-1, Stream.ReleaseStreamFunctions());
    EXPECT_EQ(0, Stream.CloseFile());
    EXPECT_EQ(0, Stream.Close());
}

TEST(FileStreamTest, OpenNeverCreatesAndRefusesFolders)
{
    const auto Missing = TestFiles::PathFor("does-not-exist.wav");
    CFileStream Stream;
    EXPECT_EQ(-1, Stream.Open(TestFiles::Wide(Missing).c_str(), 1));
    EXPECT_EQ(-1, Stream.Open(TestFiles::Wide(Missing).c_str(), 0));
    EXPECT_FALSE(std::filesystem::exists(Missing));
    uint64_t ullSize = 0;
    EXPECT_EQ(-1, Stream.GetSize(&ullSize));

    const auto Folder = TestFiles::PathFor("a-folder");
    std::filesystem::create_directories(Folder);
    EXPECT_EQ(-1, Stream.Open(TestFiles::Wide(Folder).c_str(), 1));
    EXPECT_EQ(-1, Stream.Open(nullptr, 1));
}

TEST(FileStreamTest, ReadSeekAndEndOfFile)
{
    const auto Path = TestFiles::Write("read.bin", Bytes("0123456789"));
    CFileStream Stream;
    ASSERT_EQ(1, Stream.Open(TestFiles::Wide(Path).c_str(), 1));

    uint64_t ullSize = 0;
    EXPECT_EQ(1, Stream.GetSize(&ullSize));
    EXPECT_EQ(10u, ullSize);

    char Buffer[16] = {};
    uint64_t ullCount = 4;
    EXPECT_EQ(1, Stream.Read(Buffer, ullCount));
    EXPECT_EQ(4u, ullCount);
    EXPECT_EQ(0, std::memcmp(Buffer, "0123", 4));

    uint64_t ullPosition = 0;
    EXPECT_EQ(1, Stream.GetPosition(&ullPosition));
    EXPECT_EQ(4u, ullPosition);

    int64_t llOffset = -3;
    EXPECT_EQ(1, Stream.Seek(&llOffset, &ullPosition, SStream::SEEK_ORIGIN_END));
    EXPECT_EQ(7u, ullPosition);
    llOffset = -2;
    EXPECT_EQ(1, Stream.Seek(&llOffset, nullptr, SStream::SEEK_ORIGIN_CURRENT));
    ullCount = 16; // more than is left: the rest arrives
    EXPECT_EQ(1, Stream.Read(Buffer, ullCount));
    EXPECT_EQ(5u, ullCount);
    EXPECT_EQ(0, std::memcmp(Buffer, "56789", 5));

    ullCount = 16; // at the end of the file: success with nothing read
    EXPECT_EQ(1, Stream.Read(Buffer, ullCount));
    EXPECT_EQ(0u, ullCount);

    llOffset = 2;
    EXPECT_EQ(-1, Stream.Seek(&llOffset, &ullPosition, 3));
    EXPECT_EQ(-1, Stream.Seek(&llOffset, &ullPosition, -1));
    EXPECT_EQ(1, Stream.Seek(&llOffset, &ullPosition, SStream::SEEK_ORIGIN_BEGIN));
    EXPECT_EQ(2u, ullPosition);

    // Read-only: writing transfers nothing.
    ullCount = 1;
    Stream.Write("x", ullCount);
    EXPECT_EQ(0u, ullCount);

    EXPECT_EQ(1, Stream.CloseFile());
    EXPECT_EQ(0, Stream.CloseFile());
    EXPECT_EQ(Bytes("0123456789"), TestFiles::Read(Path));
}

TEST(FileStreamTest, WriteAndTruncateInReadWriteMode)
{
    const auto Path = TestFiles::Write("write.bin", Bytes("abcdefgh"));
    CFileStream Stream;
    ASSERT_EQ(1, Stream.Open(TestFiles::Wide(Path).c_str(), 0));
    int64_t llOffset = 2;
    ASSERT_EQ(1, Stream.Seek(&llOffset, nullptr, SStream::SEEK_ORIGIN_BEGIN));
    uint64_t ullCount = 2;
    EXPECT_EQ(1, Stream.Write("XY", ullCount));
    EXPECT_EQ(2u, ullCount);
    EXPECT_EQ(1, Stream.Truncate());
    uint64_t ullSize = 0;
    EXPECT_EQ(1, Stream.GetSize(&ullSize));
    EXPECT_EQ(4u, ullSize);
    ullCount = 1;
    EXPECT_EQ(-4, Stream.Write(nullptr, ullCount));
    EXPECT_EQ(0u, ullCount);
    Stream.Close();
    EXPECT_EQ(Bytes("abXY"), TestFiles::Read(Path));
}

TEST(FileStreamTest, FileNameIsTheLastComponentAndIsCut)
{
    const auto Path = TestFiles::Write("a.wav", Bytes("RIFF"));
    CFileStream Stream;
    ASSERT_EQ(1, Stream.Open(TestFiles::Wide(Path).c_str(), 1));
    char16_t Name[16];
    EXPECT_EQ(-1, Stream.GetFileName(nullptr, 16));
    EXPECT_EQ(0, Stream.GetFileName(Name, 0));
    EXPECT_EQ(1, Stream.GetFileName(Name, 16));
    EXPECT_EQ(std::u16string(u"a.wav"), std::u16string(Name));
    EXPECT_EQ(1, Stream.GetFileName(Name, 6)); // exactly fits with its terminator
    EXPECT_EQ(0, Stream.GetFileName(Name, 5));
    EXPECT_EQ(std::u16string(u"a.wa"), std::u16string(Name));
    EXPECT_EQ(0, Stream.GetFileName(Name, 3));
    EXPECT_EQ(std::u16string(u"a."), std::u16string(Name));
    EXPECT_EQ(0, Stream.GetFileName(Name, 1));
    EXPECT_EQ(std::u16string(u""), std::u16string(Name));

    // Opening again replaces the file and its name.
    const auto Other = TestFiles::Write("second.bin", Bytes("xyz"));
    ASSERT_EQ(1, Stream.Open(TestFiles::Wide(Other).c_str(), 1));
    EXPECT_EQ(1, Stream.GetFileName(Name, 16));
    EXPECT_EQ(std::u16string(u"second.bin"), std::u16string(Name));
}

TEST(FileStreamTest, StreamFunctionsForwardAndCountUsers)
{
    const auto Path = TestFiles::Write("functions.bin", Bytes("hello"));
    CFileStream Stream;
    ASSERT_EQ(1, Stream.Open(TestFiles::Wide(Path).c_str(), 1));
    StreamFunctions Functions{};
    int iMarker = 0;
    Functions.pReserved = &iMarker;
    ASSERT_EQ(1, Stream.GetStreamFunctions(&Functions));
    EXPECT_EQ(&iMarker, Functions.pReserved); // left as the caller set it
    ASSERT_EQ(1, Stream.GetStreamFunctions(&Functions));

    uint64_t ullSize = 0;
    EXPECT_EQ(1, Functions.pGetSize(Functions.pStream, &ullSize));
    EXPECT_EQ(5u, ullSize);
    const int64_t llOffset = 1;
    uint64_t ullPosition = 0;
    EXPECT_EQ(1, Functions.pSeek(Functions.pStream, &llOffset, &ullPosition, SStream::SEEK_ORIGIN_BEGIN));
    EXPECT_EQ(1u, ullPosition);
    char Buffer[8] = {};
    uint64_t ullCount = 8;
    EXPECT_EQ(1, Functions.pRead(Functions.pStream, Buffer, ullCount));
    EXPECT_EQ(4u, ullCount);
    EXPECT_EQ(0, std::memcmp(Buffer, "ello", 4));
    EXPECT_EQ(-1, Functions.pRead(nullptr, Buffer, ullCount));
    EXPECT_EQ(-1, Functions.pGetSize(nullptr, &ullSize));
    EXPECT_EQ(-1, Functions.pSeek(nullptr, &llOffset, &ullPosition, 0));
    EXPECT_EQ(-1, Functions.pWrite(nullptr, Buffer, ullCount));

    // The users count is independent of the open state.
    Stream.CloseFile();
    EXPECT_EQ(1, Stream.ReleaseStreamFunctions());
    EXPECT_EQ(1, Stream.ReleaseStreamFunctions());
    EXPECT_EQ(-1, Stream.ReleaseStreamFunctions());
}

#if !defined(_WIN32)
// A named pipe chosen as a file must not hold the thread that opens it.
TEST(FileStreamTest, NamedPipeIsRefusedWithoutBlocking)
{
    const std::filesystem::path Path = TestFiles::PathFor("pipe.wav");
    ASSERT_EQ(::mkfifo(Path.c_str(), 0600), 0);
    auto Opened = std::async(std::launch::async,
                             [&Path]
                             {
                                 CFileStream Stream;
                                 return Stream.Open(TestFiles::Wide(Path).c_str(), 1);
                             });
    if (Opened.wait_for(std::chrono::seconds(10)) != std::future_status::ready)
    {
        // Let the blocked open through before failing.
        std::ofstream Writer(Path);
        ADD_FAILURE() << "opening a named pipe blocked";
    }
    EXPECT_EQ(Opened.get(), -1);
}
#endif

#if !defined(_WIN32) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
TEST(FileStreamTest, ReadLargerThanOnePlatformCall)
{
    // Linux moves at most 0x7FFFF000 bytes per read(); a sparse file lets one Read ask for more.
    const uint64_t ullFileSize = 0x80000000ull + 8192;
    const auto Path = TestFiles::PathFor("sparse.bin");
    {
        std::ofstream File(Path, std::ios::binary);
        File.seekp(static_cast<std::streamoff>(ullFileSize - 4));
        File.write("tail", 4);
    }
    CFileStream Stream;
    ASSERT_EQ(1, Stream.Open(TestFiles::Wide(Path).c_str(), 1));
    std::vector<char> Buffer(ullFileSize + 16);
    uint64_t ullCount = Buffer.size();
    EXPECT_EQ(1, Stream.Read(Buffer.data(), ullCount));
    EXPECT_EQ(ullFileSize, ullCount);
    EXPECT_EQ(0, std::memcmp(Buffer.data() + ullFileSize - 4, "tail", 4));
    Stream.CloseFile();
    std::filesystem::remove(Path);
}
#endif

TEST(MemoryTest, AllocatesZeroFilledAndRefusesNull)
{
    CMemoryANSI Memory;
    void* pBlock = reinterpret_cast<void*>(1);
    ASSERT_EQ(1, Memory.Allocate(&pBlock, 64));
    ASSERT_NE(nullptr, pBlock);
    const auto* pBytes = static_cast<const unsigned char*>(pBlock);
    for (int i = 0; i < 64; ++i)
    {
        EXPECT_EQ(0, pBytes[i]);
    }
    EXPECT_EQ(1, Memory.Free(pBlock));
    EXPECT_EQ(-4, Memory.Free(nullptr));
    EXPECT_EQ(-4, Memory.Allocate(nullptr, 8));
    void* pHuge = reinterpret_cast<void*>(1);
    EXPECT_EQ(-2, Memory.Allocate(&pHuge, ~0ull));
    EXPECT_EQ(nullptr, pHuge);
}
} // namespace
