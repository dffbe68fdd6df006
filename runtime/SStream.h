#pragma once
#include "runtime/StreamFunctions.h"

#include <cstdint>

// A byte stream. Counts travel by reference: in, the amount asked for; out, the amount done.
class SStream
{
public:
    static constexpr int32_t SEEK_ORIGIN_BEGIN = 0;
    static constexpr int32_t SEEK_ORIGIN_CURRENT = 1;
    static constexpr int32_t SEEK_ORIGIN_END = 2;

    virtual ~SStream() = default;
    virtual int32_t GetFileName(char16_t* pBuffer, uint64_t ullCapacity) = 0;
    virtual int32_t GetSize(uint64_t* pullSize) = 0;
    virtual int32_t GetPosition(uint64_t* pullPosition) = 0;
    virtual int32_t Seek(const int64_t* pllOffset, uint64_t* pullNewPosition, int32_t iOrigin) = 0;
    virtual int32_t Truncate() = 0;
    virtual int32_t Read(void* pBuffer, uint64_t& ullCount) = 0;
    virtual int32_t Write(const void* pBuffer, uint64_t& ullCount) = 0;
    virtual int32_t GetStreamFunctions(StreamFunctions* pFunctions) = 0;
    virtual int32_t ReleaseStreamFunctions() = 0;
    virtual int32_t Close() = 0;
};
