#include "output/DataBuffer.h"

#include <cstdlib>
#include <cstring>
#include <limits>

namespace
{
// Moves a ring index on by ullBytes (at most ullSize) without forming a sum that could wrap.
uint64_t Advance(uint64_t ullIndex, uint64_t ullBytes, uint64_t ullSize)
{
    const uint64_t ullToEnd = ullSize - ullIndex;
    return ullBytes >= ullToEnd ? ullBytes - ullToEnd : ullIndex + ullBytes;
}
} // namespace

DataBuffer::~DataBuffer()
{
    Release();
}

void DataBuffer::Release()
{
    std::free(pData);
    pData = nullptr;
    ullSize = 0;
    ullCount = 0;
    ullWriteIndex = 0;
    ullReadIndex = 0;
}

int32_t DataBuffer::Initialize(uint64_t ullFirstBytes, uint64_t ullSecondBytes)
{
    Release();
    if (ullFirstBytes == 0 || ullSecondBytes == 0)
    {
        return -4;
    }
    constexpr uint64_t ullMax = std::numeric_limits<uint64_t>::max();
    if (ullFirstBytes > ullMax - ullSecondBytes)
    {
        return -1;
    }
    const uint64_t ullSum = ullFirstBytes + ullSecondBytes;
    static_assert(sizeof(size_t) == sizeof(uint64_t), "byte counts are handed to the allocator unchanged");
    if (ullSum > ullMax / 2)
    {
        return -5;
    }
    pData = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(ullSum * 2), 1));
    if (pData == nullptr)
    {
        return -2;
    }
    ullSize = ullSum * 2;
    return 1;
}

int32_t DataBuffer::Write(const void* pSource, uint64_t ullBytes)
{
    if (pData == nullptr)
    {
        return -1;
    }
    if (ullBytes == 0)
    {
        return 0;
    }
    if (pSource == nullptr)
    {
        return -4;
    }
    // Compared as free room so that a huge request cannot wrap the sum around.
    if (ullBytes > ullSize - ullCount)
    {
        return -1;
    }
    const uint8_t* pBytes = static_cast<const uint8_t*>(pSource);
    const uint64_t ullFirst = ullBytes < ullSize - ullWriteIndex ? ullBytes : ullSize - ullWriteIndex;
    std::memcpy(pData + ullWriteIndex, pBytes, static_cast<size_t>(ullFirst));
    std::memcpy(pData, pBytes + ullFirst, static_cast<size_t>(ullBytes - ullFirst));
    ullWriteIndex = Advance(ullWriteIndex, ullBytes, ullSize);
    ullCount += ullBytes;
    return 1;
}

int32_t DataBuffer::Read(void* pDestination, uint64_t ullBytes)
{
    if (pData == nullptr)
    {
        return -1;
    }
    if (pDestination == nullptr)
    {
        return -4;
    }
    if (ullCount < ullBytes)
    {
        return 0;
    }
    uint8_t* pBytes = static_cast<uint8_t*>(pDestination);
    const uint64_t ullFirst = ullBytes < ullSize - ullReadIndex ? ullBytes : ullSize - ullReadIndex;
    std::memcpy(pBytes, pData + ullReadIndex, static_cast<size_t>(ullFirst));
    std::memcpy(pBytes + ullFirst, pData, static_cast<size_t>(ullBytes - ullFirst));
    ullReadIndex = Advance(ullReadIndex, ullBytes, ullSize);
    ullCount -= ullBytes;
    return 1;
}
