#include "runtime/StreamFunctions.h"

#include "runtime/SStream.h"

namespace
{
int32_t StreamGetSize(SStream* pStream, uint64_t* pullSize)
{
    return pStream == nullptr ? -1 : pStream->GetSize(pullSize);
}

int32_t StreamSeek(SStream* pStream, const int64_t* pllOffset, uint64_t* pullNewPosition, int32_t iOrigin)
{
    return pStream == nullptr ? -1 : pStream->Seek(pllOffset, pullNewPosition, iOrigin);
}

int32_t StreamRead(SStream* pStream, void* pBuffer, uint64_t& ullCount)
{
    return pStream == nullptr ? -1 : pStream->Read(pBuffer, ullCount);
}

int32_t StreamWrite(SStream* pStream, const void* pBuffer, uint64_t& ullCount)
{
    return pStream == nullptr ? -1 : pStream->Write(pBuffer, ullCount);
}
} // namespace

void FillStreamFunctions(StreamFunctions* pFunctions, SStream* pStream)
{
    pFunctions->pStream = pStream;
    pFunctions->pGetSize = &StreamGetSize;
    pFunctions->pSeek = &StreamSeek;
    pFunctions->pRead = &StreamRead;
    pFunctions->pWrite = &StreamWrite;
}
