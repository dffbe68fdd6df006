#include "runtime/CFileStream.h"

#include "runtime/StringFunctions.h"

#include <algorithm>

// The platform-independent operations; the platform calls behind opening, Read, Write, Seek, size
// and closing live in the platform folders.

namespace
{
// Moves ullWanted bytes chunk by chunk through MoveChunk(ullDone, ullChunk) until a chunk comes up
// short; returns the bytes moved.
template <typename MoveFunction>
uint64_t MoveInChunks(uint64_t ullWanted, uint64_t ullMaxChunk, MoveFunction MoveChunk)
{
    uint64_t ullDone = 0;
    while (ullDone < ullWanted)
    {
        const uint64_t ullChunk = std::min(ullWanted - ullDone, ullMaxChunk);
        const uint64_t ullMoved = MoveChunk(ullDone, ullChunk);
        ullDone += ullMoved;
        if (ullMoved < ullChunk)
        {
            break; // end of file, or a failure: report what was moved
        }
    }
    return ullDone;
}
} // namespace

std::u16string CFileStream::LastPathComponent(const char16_t* pPath)
{
    const char16_t* pName = pPath;
    for (const char16_t* p = pPath; *p != 0; ++p)
    {
        if (*p == PATH_SEPARATOR)
        {
            pName = p + 1;
        }
    }
    return std::u16string(pName);
}

CFileStream::~CFileStream()
{
    CloseFile();
}

int32_t CFileStream::Open(const char16_t* pPath, int32_t iReadOnly)
{
    CloseFile();
    if (pPath == nullptr || !OpenPlatformFile(pPath, iReadOnly))
    {
        return -1;
    }
    bOpened = 1;
    Name = LastPathComponent(pPath);
    return 1;
}

int32_t CFileStream::CloseFile()
{
    if (bOpened == 0)
    {
        return 0;
    }
    ClosePlatformFile();
    bOpened = 0;
    return 1;
}

int32_t CFileStream::GetSize(uint64_t* pullSize)
{
    if (bOpened == 0 || pullSize == nullptr)
    {
        return -1;
    }
    if (!ReadPlatformSize(*pullSize))
    {
        *pullSize = 0;
        return -1;
    }
    return 1;
}

int32_t CFileStream::GetFileName(char16_t* pBuffer, uint64_t ullCapacity)
{
    if (bOpened == 0 || pBuffer == nullptr || Name.empty())
    {
        return -1;
    }
    if (ullCapacity == 0)
    {
        return 0;
    }
    pBuffer[0] = 0;
    return AppendWideString(pBuffer, ullCapacity, Name.c_str());
}

int32_t CFileStream::GetPosition(uint64_t* pullPosition)
{
    const int64_t llZero = 0;
    return Seek(&llZero, pullPosition, SEEK_ORIGIN_CURRENT);
}

int32_t CFileStream::GetStreamFunctions(StreamFunctions* pFunctions)
{
    if (pFunctions == nullptr)
    {
        return -4;
    }
    if (bOpened == 0)
    {
        return -1;
    }
    FillStreamFunctions(pFunctions, this);
    ++iUsers;
    return 1;
}

int32_t CFileStream::ReleaseStreamFunctions()
{
    if (iUsers == 0)
    {
        return -1;
    }
    --iUsers;
    return 1;
}

int32_t CFileStream::Close()
{
    return CloseFile();
}

int32_t CFileStream::Seek(const int64_t* pllOffset, uint64_t* pullNewPosition, int32_t iOrigin)
{
    if (pllOffset == nullptr)
    {
        return -4;
    }
    if (bOpened == 0)
    {
        return -1;
    }
    if (iOrigin != SEEK_ORIGIN_BEGIN && iOrigin != SEEK_ORIGIN_CURRENT && iOrigin != SEEK_ORIGIN_END)
    {
        return -1;
    }
    const uint64_t ullPosition = MoveFilePointer(*pllOffset, iOrigin);
    if (pullNewPosition != nullptr)
    {
        *pullNewPosition = ullPosition;
    }
    return 1;
}

int32_t CFileStream::CheckTransfer(const void* pBuffer) const
{
    if (pBuffer == nullptr)
    {
        return -4;
    }
    return bOpened == 0 ? -1 : 1;
}

int32_t CFileStream::Read(void* pBuffer, uint64_t& ullCount)
{
    const uint64_t ullWanted = ullCount;
    ullCount = 0;
    const int32_t iCheck = CheckTransfer(pBuffer);
    if (iCheck != 1)
    {
        return iCheck;
    }
    auto* pBytes = static_cast<unsigned char*>(pBuffer);
    ullCount = MoveInChunks(ullWanted, MAX_TRANSFER,
                            [&](uint64_t ullDone, uint64_t ullChunk)
                            { return ReadChunk(pBytes + ullDone, ullChunk); });
    return 1;
}

int32_t CFileStream::Write(const void* pBuffer, uint64_t& ullCount)
{
    const uint64_t ullWanted = ullCount;
    ullCount = 0;
    const int32_t iCheck = CheckTransfer(pBuffer);
    if (iCheck != 1)
    {
        return iCheck;
    }
    const auto* pBytes = static_cast<const unsigned char*>(pBuffer);
    ullCount = MoveInChunks(ullWanted, MAX_TRANSFER,
                            [&](uint64_t ullDone, uint64_t ullChunk)
                            { return WriteChunk(pBytes + ullDone, ullChunk); });
    return 1;
}
