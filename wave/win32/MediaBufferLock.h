#pragma once
#include "runtime/CNonCopyable.h"
#include "runtime/win32/ComPointer.h"

#include <cstdint>

#include <windows.h>

#include <mfobjects.h>

// The bytes of one decoded sample, locked for reading until the object lets them go, so the reader
// delivers straight from the decoder's buffer without a copy of its own.
class MediaBufferLock : private CNonCopyable
{
public:
    ~MediaBufferLock() { Release(); }

    // Takes the sample's bytes as one contiguous buffer and locks it. 1, or -1 when the sample
    // cannot give them (nothing is held then).
    int32_t Lock(IMFSample* pSample);
    void Release();

    const uint8_t* GetBytes() const { return pbBytes; }
    uint32_t GetByteCount() const { return uiByteCount; }

private:
    ComPointer<IMFMediaBuffer> pBuffer;
    const uint8_t* pbBytes = nullptr;
    uint32_t uiByteCount = 0;
    int32_t bLocked = 0;
};
