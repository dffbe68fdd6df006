#include "runtime/CFileStream.h"

#include "runtime/TextConversion.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
// One chunk through read() or write(), retried after signals and after partial transfers until it
// is complete, the file ends or a call fails.
template <typename Byte, typename Call>
uint64_t MoveChunk(int iFile, Byte* pBytes, uint64_t ullChunk, Call SystemCall)
{
    uint64_t ullDone = 0;
    while (ullDone < ullChunk)
    {
        const ssize_t Moved = SystemCall(iFile, pBytes + ullDone, static_cast<size_t>(ullChunk - ullDone));
        if (Moved < 0 && errno == EINTR)
        {
            continue;
        }
        if (Moved <= 0)
        {
            break;
        }
        ullDone += static_cast<uint64_t>(Moved);
    }
    return ullDone;
}
} // namespace

const char16_t CFileStream::PATH_SEPARATOR = u'/';
// Linux moves at most this much per read()/write(); larger requests are looped.
const uint64_t CFileStream::MAX_TRANSFER = 0x7FFFF000u;

bool CFileStream::OpenPlatformFile(const char16_t* pPath, int32_t iReadOnly)
{
    const std::string Path = WideToUtf8(pPath);
    // Never O_CREAT. Non-blocking for the open only: a named pipe without a writer would otherwise
    // hold the caller (the UI thread choosing a file) until one appears.
    const int iFlags = (iReadOnly != 0 ? O_RDONLY : O_RDWR) | O_CLOEXEC | O_NONBLOCK;
    int iNew;
    do
    {
        iNew = ::open(Path.c_str(), iFlags);
    } while (iNew < 0 && errno == EINTR);
    if (iNew < 0)
    {
        return false;
    }
    // Folders, pipes and sockets are refused: a stream seeks, and a pipe could block every read.
    struct stat Status = {};
    if (::fstat(iNew, &Status) != 0 || S_ISDIR(Status.st_mode) || S_ISFIFO(Status.st_mode) ||
        S_ISSOCK(Status.st_mode) || ::fcntl(iNew, F_SETFL, ::fcntl(iNew, F_GETFL) & ~O_NONBLOCK) != 0)
    {
        ::close(iNew);
        return false;
    }
    iFile = iNew;
    return true;
}

void CFileStream::ClosePlatformFile()
{
    ::close(iFile);
    iFile = -1;
}

bool CFileStream::ReadPlatformSize(uint64_t& ullSize)
{
    struct stat Status = {};
    if (::fstat(iFile, &Status) != 0)
    {
        return false;
    }
    ullSize = static_cast<uint64_t>(Status.st_size);
    return true;
}

uint64_t CFileStream::MoveFilePointer(int64_t llOffset, int32_t iOrigin)
{
    const int iWhence = iOrigin == SEEK_ORIGIN_BEGIN     ? SEEK_SET
                        : iOrigin == SEEK_ORIGIN_CURRENT ? SEEK_CUR
                                                         : SEEK_END;
    // A refused move reports position 0xFFFFFFFFFFFFFFFF; callers that care compare positions.
    const off_t Position = ::lseek(iFile, static_cast<off_t>(llOffset), iWhence);
    return static_cast<uint64_t>(static_cast<int64_t>(Position));
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

uint64_t CFileStream::ReadChunk(unsigned char* pBytes, uint64_t ullChunk)
{
    return MoveChunk(iFile, pBytes, ullChunk, ::read);
}

uint64_t CFileStream::WriteChunk(const unsigned char* pBytes, uint64_t ullChunk)
{
    return MoveChunk(iFile, pBytes, ullChunk, ::write);
}
