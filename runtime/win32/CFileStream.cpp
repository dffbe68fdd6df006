#include "runtime/CFileStream.h"

#include <algorithm>
#include <windows.h>

namespace
{
HANDLE AsHandle(void* hFile)
{
    return static_cast<HANDLE>(hFile);
}
} // namespace

const char16_t CFileStream::PATH_SEPARATOR = u'\\';
const uint64_t CFileStream::MAX_TRANSFER = 0xFFFFFFFFu;

bool CFileStream::OpenPlatformFile(const char16_t* pPath, int32_t iReadOnly)
{
    const DWORD dwAccess = iReadOnly != 0 ? GENERIC_READ : (GENERIC_READ | GENERIC_WRITE);
    const DWORD dwShare = iReadOnly != 0 ? (FILE_SHARE_READ | FILE_SHARE_WRITE) : FILE_SHARE_READ;
    HANDLE hNew = CreateFileW(reinterpret_cast<const wchar_t*>(pPath), dwAccess, dwShare, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hNew == INVALID_HANDLE_VALUE)
    {
        return false;
    }
    hFile = hNew;
    return true;
}

void CFileStream::ClosePlatformFile()
{
    CloseHandle(AsHandle(hFile));
    hFile = INVALID_HANDLE_VALUE;
}

bool CFileStream::ReadPlatformSize(uint64_t& ullSize)
{
    DWORD dwHigh = 0;
    SetLastError(NO_ERROR); // a size whose low half is 0xFFFFFFFF is only a failure with an error code
    const DWORD dwLow = GetFileSize(AsHandle(hFile), &dwHigh);
    if (dwLow == INVALID_FILE_SIZE && GetLastError() != NO_ERROR)
    {
        return false;
    }
    ullSize = (static_cast<uint64_t>(dwHigh) << 32) | dwLow;
    return true;
}

uint64_t CFileStream::MoveFilePointer(int64_t llOffset, int32_t iOrigin)
{
    const DWORD dwMethod = iOrigin == SEEK_ORIGIN_BEGIN     ? FILE_BEGIN
                           : iOrigin == SEEK_ORIGIN_CURRENT ? FILE_CURRENT
                                                            : FILE_END;
    LONG lHigh = static_cast<LONG>(static_cast<uint64_t>(llOffset) >> 32);
    const DWORD dwLow =
        SetFilePointer(AsHandle(hFile), static_cast<LONG>(llOffset & 0xFFFFFFFF), &lHigh, dwMethod);
    return (static_cast<uint64_t>(static_cast<DWORD>(lHigh)) << 32) | dwLow;
}

int32_t CFileStream::Truncate()
{
    if (bOpened == 0 || !SetEndOfFile(AsHandle(hFile)))
    {
        return -1;
    }
    return 1;
}

uint64_t CFileStream::ReadChunk(unsigned char* pBytes, uint64_t ullChunk)
{
    DWORD dwDone = 0;
    ReadFile(AsHandle(hFile), pBytes, static_cast<DWORD>(ullChunk), &dwDone, nullptr);
    return dwDone;
}

uint64_t CFileStream::WriteChunk(const unsigned char* pBytes, uint64_t ullChunk)
{
    DWORD dwDone = 0;
    WriteFile(AsHandle(hFile), pBytes, static_cast<DWORD>(ullChunk), &dwDone, nullptr);
    return dwDone;
}
