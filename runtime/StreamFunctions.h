#pragma once
#include <cstdint>

class SStream;

// Plain functions over a stream, for callers that work with function pointers rather than interfaces.
// Each returns -1 when the stream object is null, otherwise the operation's own result.
struct StreamFunctions
{
    SStream* pStream;
    int32_t (*pGetSize)(SStream* pStream, uint64_t* pullSize);
    void* pReserved; // left as the caller set it
    int32_t (*pSeek)(SStream* pStream, const int64_t* pllOffset, uint64_t* pullNewPosition, int32_t iOrigin);
    int32_t (*pRead)(SStream* pStream, void* pBuffer, uint64_t& ullCount);
    int32_t (*pWrite)(SStream* pStream, const void* pBuffer, uint64_t& ullCount);
};

// Fills every field except pReserved with the functions that forward to pStream.
void FillStreamFunctions(StreamFunctions* pFunctions, SStream* pStream);
