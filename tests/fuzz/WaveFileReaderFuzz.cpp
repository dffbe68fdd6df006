// libFuzzer target: any bytes as a WAV file. Open, read to the end, rewind, read again. Besides the
// sanitizers it checks what callers rely on: no more frames than asked for, no writes past them, values
// in -1 ... +1 (finite for float files), the same sound after Rewind, and for RIFF files a frame count equal
// to what is read.
#include "tests/fuzz/FuzzReading.h"
#include "tests/fuzz/FuzzScratchFile.h"
#include "wave/WaveFileReader.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace
{
[[noreturn]] void Fail(const char* pWhat)
{
    FuzzReading::Fail("wave", pWhat);
}

struct Pass
{
    uint64_t ullFrames = 0;
    // Of the samples' bit patterns in order: float files may hold values whose weighted sum
    // overflows to a NaN, which never equals itself.
    uint64_t ullChecksum = 0;
};

// Reads to the end, every sample within -1 ... +1 (finite for float files), with a checksum that
// tells two readings apart.
Pass ReadToEnd(WaveFileReader& Reader, uint64_t ullSeed)
{
    const bool bFloat = Reader.GetFormat().bFloatSamples != 0;
    Pass Result;
    Result.ullFrames = FuzzReading::ReadToEnd(
        Reader, ullSeed, ~uint64_t{0}, "wave",
        [bFloat, &Result](const double* pdfSamples, uint64_t ullSamples, uint64_t)
        {
            for (uint64_t i = 0; i < ullSamples; ++i)
            {
                const double dfSample = pdfSamples[i];
                if (bFloat ? !std::isfinite(dfSample) : !(dfSample >= -1.0 && dfSample <= 1.0))
                {
                    Fail("sample outside -1 ... +1, or a float sample not finite");
                }
                uint64_t ullBits = 0;
                std::memcpy(&ullBits, &dfSample, sizeof(ullBits));
                Result.ullChecksum = (Result.ullChecksum ^ ullBits) * 0x100000001B3u;
            }
        });
    return Result;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t uSize)
{
    if (!WriteFuzzScratch(pData, uSize))
    {
        return 0;
    }
    WaveFileReader Reader;
    const int32_t iOpened = Reader.Open(FuzzScratchPath().c_str());
    if (iOpened < 0)
    {
        if (Reader.bOpened != 0 || Reader.Rewind() != -1)
        {
            Fail("a refused file left the reader open");
        }
        return 0;
    }
    if (iOpened > 1 || Reader.uiChannelCount == 0 || Reader.uiSamplingFrequency == 0 ||
        (Reader.uiBitCount / 8) * Reader.uiChannelCount > Reader.ullBlockSize)
    {
        Fail("an accepted header with impossible fields");
    }
    const uint64_t ullSeed = uSize;
    const Pass First = ReadToEnd(Reader, ullSeed);
    if (Reader.Rewind() != 1)
    {
        Fail("Rewind failed on an open file");
    }
    const Pass Second = ReadToEnd(Reader, ullSeed + 3);
    if (First.ullFrames != Second.ullFrames || First.ullChecksum != Second.ullChecksum)
    {
        Fail("a second reading after Rewind differs");
    }
    if (uSize >= 4 && pData[1] == 'I' && First.ullFrames != Reader.ullFrameCount)
    {
        Fail("a RIFF file delivered another number of frames than it reports");
    }
    Reader.Close();
    return 0;
}
