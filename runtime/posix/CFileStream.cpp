#include "runtime/CFileStream.h"

#include "runtime/TextConversion.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
// Linux moves at most this much per read()/write(); larger requests are looped.
constexpr uint64_t MAX_TRANSFER = 0x7FFFF000u;
} // namespace

std::u16string CFileStream::LastPathComponent(const char16_t* pPath)
{
    const char16_t* pName = pPath;
    for (const char16_t* p = pPath; *p != 0; ++p)
    {
        if (*p == u'/')
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
    const std::string Path = WideToUtf8(pPath);
    const int iFlags = (iReadOnly != 0 ? O_RDONLY : O_RDWR) | O_CLOEXEC; // never O_CREAT
    int iNew;
    do
    {
        iNew = ::open(Path.c_str(), iFlags);
    } while (iNew < 0 && errno == EINTR);
    if (iNew < 0)
    {
        return -1;
    }
    struct stat Status = {};
    if (::fstat(iNew, &Status) != 0 || S_ISDIR(Status.st_mode))
    {
        ::close(iNew);
        return -1;
    }
    iFile = iNew;
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
    ::close(iFile);
    iFile = -1;
    bOpened = 0;
    return 1;
}

int32_t CFileStream::GetSize(uint64_t* pullSize)
{
    if (bOpened == 0 || pullSize == nullptr)
    {
        return -1;
    }
    struct stat Status = {};
    if (::fstat(iFile, &Status) != 0)
    {
        *pullSize = 0;
        return -1;
    }
    *pullSize = static_cast<uint64_t>(Status.st_size);
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
    int iWhence;
    switch (iOrigin)
    {
    case SEEK_ORIGIN_BEGIN:
        iWhence = SEEK_SET;
        break;
    case SEEK_ORIGIN_CURRENT:
        iWhence = SEEK_CUR;
        break;
    case SEEK_ORIGIN_END:
        iWhence = SEEK_END;
        break;
    default:
        return -1;
    }
    // A refused move reports position 0xFFFFFFFFFFFFFFFF; callers that care compare positions.
    const off_t Position = ::lseek(iFile, static_cast<off_t>(*pllOffset), iWhence);
    if (pullNewPosition != nullptr)
    {
        *pullNewPosition = static_cast<uint64_t>(static_cast<int64_t>(Position));
    }
    return 1;
}

int32_t CFileStream::Truncate()
{
    if (bOpened == 0)
    {
        return -1;
    }
    const off_t Position = ::lseek(iFile, 0, SEEK_CUR);
    if (Position < 0 || ::ftruncate(iFile, Position) != 0)
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
    while (ullCount < ullWanted)
    {
        const uint64_t ullChunk = std::min(ullWanted - ullCount, MAX_TRANSFER);
        const ssize_t Got = ::read(iFile, pBytes + ullCount, static_cast<size_t>(ullChunk));
        if (Got < 0 && errno == EINTR)
        {
            continue;
        }
        if (Got <= 0)
        {
            break; // end of file, or a failure: report what arrived
        }
        ullCount += static_cast<uint64_t>(Got);
    }
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
    while (ullCount < ullWanted)
    {
        const uint64_t ullChunk = std::min(ullWanted - ullCount, MAX_TRANSFER);
        const ssize_t Put = ::write(iFile, pBytes + ullCount, static_cast<size_t>(ullChunk));
        if (Put < 0 && errno == EINTR)
        {
            continue;
        }
        if (Put <= 0)
        {
            break;
        }
        ullCount += static_cast<uint64_t>(Put);
    }
    return 1;
}
