#include "runtime/CFileStream.h"

#include "runtime/StringFunctions.h"

// The platform-independent operations; Open, Read, Write, Seek, size and closing live in the
// platform folders.

CFileStream::~CFileStream()
{
    CloseFile();
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
