#pragma once
#include "runtime/CNonCopyable.h"
#include "runtime/SFileStream.h"

#include <string>

class CFileStream : public SFileStream, private CNonCopyable
{
public:
    ~CFileStream() override;

    int32_t GetFileName(char16_t* pBuffer, uint64_t ullCapacity) override;
    int32_t GetSize(uint64_t* pullSize) override;
    int32_t GetPosition(uint64_t* pullPosition) override;
    int32_t Seek(const int64_t* pllOffset, uint64_t* pullNewPosition, int32_t iOrigin) override;
    int32_t Truncate() override;
    int32_t Read(void* pBuffer, uint64_t& ullCount) override;
    int32_t Write(const void* pBuffer, uint64_t& ullCount) override;
    int32_t GetStreamFunctions(StreamFunctions* pFunctions) override;
    int32_t ReleaseStreamFunctions() override;
    int32_t Close() override;
    int32_t Open(const char16_t* pPath, int32_t iReadOnly) override;
    int32_t CloseFile() override;

private:
    // '\' on Windows, '/' elsewhere.
    static const char16_t PATH_SEPARATOR;
    // The most one platform call moves.
    static const uint64_t MAX_TRANSFER;

    // The text after the last path separator.
    static std::u16string LastPathComponent(const char16_t* pPath);
    // -4 without a buffer, -1 without an open file, else 1.
    int32_t CheckTransfer(const void* pBuffer) const;
    // Platform hooks. One chunk of at most MAX_TRANSFER bytes; the bytes moved, fewer only at the end
    // of the file or on a failure.
    uint64_t ReadChunk(unsigned char* pBytes, uint64_t ullChunk);
    uint64_t WriteChunk(const unsigned char* pBytes, uint64_t ullChunk);
    // Moves the file pointer from a valid SEEK_ORIGIN_* and returns the platform's new position.
    uint64_t MoveFilePointer(int64_t llOffset, int32_t iOrigin);
    // Opens pPath (not null) as Open describes and keeps its handle; false when refused.
    bool OpenPlatformFile(const char16_t* pPath, int32_t iReadOnly);
    // Closes the open file's handle.
    void ClosePlatformFile();
    // The open file's size; false (ullSize untouched) when the platform cannot tell it.
    bool ReadPlatformSize(uint64_t& ullSize);

    int32_t iUsers = 0;
#ifdef _WIN32
    void* hFile = reinterpret_cast<void*>(static_cast<intptr_t>(-1)); // INVALID_HANDLE_VALUE
#else
    int iFile = -1;
#endif
    int32_t bOpened = 0;
    std::u16string Name;
};
