#pragma once
#include "runtime/CNonCopyable.h"
#include <cstdint>

// Byte ring between the buffer callback's deliveries and the device periods. Reads and writes are
// all or nothing; there is no lock, the render (or capture) thread is its only user while it runs.
class DataBuffer : private CNonCopyable
{
public:
    ~DataBuffer();

    // Room for 2 x (ullFirstBytes + ullSecondBytes) bytes, zeroed. 1; -4 when either size is 0;
    // -1 when their sum overflows; -5 when twice the sum overflows; -2 when allocation fails.
    // The old storage is freed first, so any failure leaves the buffer empty and without storage.
    int32_t Initialize(uint64_t ullFirstBytes, uint64_t ullSecondBytes);
    // Frees the storage and zeroes the record.
    void Release();

    // 1 stored; 0 for nothing to store; -1 without storage or when the bytes do not fit; -4 null source.
    int32_t Write(const void* pSource, uint64_t ullBytes);
    // 1 delivered; 0 when fewer bytes are stored; -1 without storage; -4 null destination.
    int32_t Read(void* pDestination, uint64_t ullBytes);

    uint64_t GetSize() const { return ullSize; }
    uint64_t GetCount() const { return ullCount; }
    uint64_t GetWriteIndex() const { return ullWriteIndex; }
    uint64_t GetReadIndex() const { return ullReadIndex; }
    const uint8_t* GetData() const { return pData; }

private:
    uint8_t* pData = nullptr;
    uint64_t ullSize = 0;
    uint64_t ullCount = 0;
    uint64_t ullWriteIndex = 0;
    uint64_t ullReadIndex = 0;
};
