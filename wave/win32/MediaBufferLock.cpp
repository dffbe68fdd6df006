#include "wave/win32/MediaBufferLock.h"

int32_t MediaBufferLock::Lock(IMFSample* pSample)
{
    Release();
    if (pSample == nullptr || FAILED(pSample->ConvertToContiguousBuffer(pBuffer.Receive())))
    {
        pBuffer.Reset();
        return -1;
    }
    BYTE* pbLocked = nullptr;
    DWORD dwLength = 0;
    if (FAILED(pBuffer->Lock(&pbLocked, nullptr, &dwLength)))
    {
        pBuffer.Reset();
        return -1;
    }
    bLocked = 1;
    pbBytes = pbLocked;
    uiByteCount = dwLength;
    return 1;
}

void MediaBufferLock::Release()
{
    if (bLocked != 0)
    {
        pBuffer->Unlock();
        bLocked = 0;
    }
    pbBytes = nullptr;
    uiByteCount = 0;
    pBuffer.Reset();
}
