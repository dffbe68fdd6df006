#include "runtime/CFileStream.h"

#include <algorithm>
#include <windows.h>

namespace
{
HANDLE AsHandle(void* hFile)
{
    return static_cast<HANDLE>(hFile);
}
constexpr uint64_t MAX_TRANSFER = 0xFFFFFFFFu;
} // namespace

std::u16string CFileStream::LastPathComponent(const char16_t* pPath)
{
    const char16_t* pName = pPath;
    for (const char16_t* p = pPath; *p != 0; ++p)
    {
        if (*p == u'\\')
        {
            pName = p + 1;
        }
    }
    return std::u16string(pName);
}

int32_t CFileStream::Open(const char16_t* pPath, int32_t iReadOnly)
{
    CloseFile();
    if (pPath == nullptr)
    {
        return -1;
    }
    const DWORD dwAccess = iReadOnly != 0 ? GENERIC_READ : (GENERIC_READ | GENERIC_WRITE);
    const DWORD dwShare = iReadOnly != 0 ? (FILE_SHARE_READ | FILE_SHARE_WRITE) : FILE_SHARE_READ;
    HANDLE hNew = CreateFileW(reinterpret_cast<const wchar_t*>(pPath), dwAccess, dwShare, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hNew == INVALID_HANDLE_VALUE)
    {
        return -1;
    }
    hFile = hNew;
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
    CloseHandle(AsHandle(hFile));
    hFile = INVALID_HANDLE_VALUE;
    bOpened = 0;
    return 1;
}

int32_t CFileStream::GetSize(uint64_t* pullSize)
{
    if (bOpened == 0 || pullSize == nullptr)
    {
        return -1;
    }
    DWORD dwHigh = 0;
    SetLastError(NO_ERROR); // a size whose low half is 0xFFFFFFFF is only a failure with an error code
    const DWORD dwLow = GetFileSize(AsHandle(hFile), &dwHigh);
    if (dwLow == INVALID_FILE_SIZE && GetLastError() != NO_ERROR)
    {
        *pullSize = 0;
        return -1;
    }
    *pullSize = (static_cast<uint64_t>(dwHigh) << 32) | dwLow;
    return 1;
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
    DWORD dwMethod;
    switch (iOrigin)
    {
    case SEEK_ORIGIN_BEGIN:
        dwMethod = FILE_BEGIN;
        break;
    case SEEK_ORIGIN_CURRENT:
        dwMethod = FILE_CURRENT;
        break;
    case SEEK_ORIGIN_END:
        dwMethod = FILE_END;
        break;
    default:
        return -1;
    }
    LONG lHigh = static_cast<LONG>(static_cast<uint64_t>(*pllOffset) >> 32);
    const DWORD dwLow =
        SetFilePointer(AsHandle(hFile), static_cast<LONG>(*pllOffset & 0xFFFFFFFF), &lHigh, dwMethod);
    if (pullNewPosition != nullptr)
    {
        *pullNewPosition = (static_cast<uint64_t>(static_cast<DWORD>(lHigh)) << 32) | dwLow;
    }
    return 1;
}

int32_t CFileStream::Truncate()
{
    if (bOpened == 0 || !SetEndOfFile(AsHandle(hFile)))
    {
        return -1;
    }
    return 1;
}

int32_t CFileStream::Read(void* pBuffer, uint64_t& ullCount)
{
    const uint64_t ullWanted = ullCount;
    ullCount = 0;
    if (pBuffer == nullptr)
    {
        return -4;
    }
    if (bOpened == 0)
    {
        return -1;
    }
    auto* pBytes = static_cast<unsigned char*>(pBuffer);
    do
    {
        const DWORD dwChunk = static_cast<DWORD>(std::min<uint64_t>(ullWanted - ullCount, MAX_TRANSFER));
        DWORD dwDone = 0;
        ReadFile(AsHandle(hFile), pBytes + ullCount, dwChunk, &dwDone, nullptr);
        ullCount += dwDone;
        if (dwDone < dwChunk)
        {
            break;
        }
    } while (ullCount < ullWanted);
    return 1;
}

int32_t CFileStream::Write(const void* pBuffer, uint64_t& ullCount)
{
    const uint64_t ullWanted = ullCount;
    ullCount = 0;
    if (pBuffer == nullptr)
    {
        return -4;
    }
    if (bOpened == 0)
    {
        return -1;
    }
    const auto* pBytes = static_cast<const unsigned char*>(pBuffer);
    do
    {
        const DWORD dwChunk = static_cast<DWORD>(std::min<uint64_t>(ullWanted - ullCount, MAX_TRANSFER));
        DWORD dwDone = 0;
        WriteFile(AsHandle(hFile), pBytes + ullCount, dwChunk, &dwDone, nullptr);
        ullCount += dwDone;
        if (dwDone < dwChunk)
        {
            break;
        }
    } while (ullCount < ullWanted);
    return 1;
}
