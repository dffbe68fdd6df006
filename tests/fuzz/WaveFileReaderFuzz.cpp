// libFuzzer target: any bytes as a WAV file. Open, read to the end, rewind, read again. Besides the
// sanitizers it checks what callers rely on: no more frames than asked for, no writes past them, values
// in -1 ... +1 (finite for float files), the same sound after Rewind, and for RIFF files a frame count equal
// to what is read.
#include "tests/fuzz/FuzzScratchFile.h"
#include "wave/WaveFileReader.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace
{
constexpr double GUARD_VALUE = 12345.0;
// Doubles of the caller's buffer; frame counts per call are chosen to fit it.
constexpr uint64_t BUFFER_SAMPLES = 1u << 13;

[[noreturn]] void Fail(const char* pWhat)
{
    std::fprintf(stderr, "wave fuzz invariant broken: %s\n", pWhat);
    std::abort();
}

struct Pass
{
    uint64_t ullFrames = 0;
    double dfChecksum = 0.0;
};

// Reads to the end with calls of varying size (0 included) and checks every call.
Pass ReadToEnd(WaveFileReader& Reader, uint64_t ullSeed)
{
    const uint64_t ullChannels = Reader.uiChannelCount;
    const uint64_t ullMostFrames = BUFFER_SAMPLES / ullChannels;
    Pass Result;
    for (uint64_t ullCall = 0;; ++ullCall)
    {
        const uint64_t ullSizes[] = {1, 0, ullMostFrames, 7, 1023, 1024, 1025, 3};
        const uint64_t ullWanted = std::min(ullSizes[(ullCall + ullSeed) % 8], ullMostFrames);
        // Exactly the room asked for, plus one guard sample the reader must not touch.
        std::vector<double> Buffer(ullWanted * ullChannels + 1, GUARD_VALUE);
        uint64_t ullFrames = ullWanted;
        if (Reader.ReadFrames(Buffer.data(), &ullFrames) != 1)
        {
            Fail("ReadFrames failed on an open file");
        }
        if (ullFrames > ullWanted || Buffer.back() != GUARD_VALUE)
        {
            Fail("ReadFrames delivered more than it was asked for");
        }
        for (uint64_t i = 0; i < ullFrames * ullChannels; ++i)
        {
            const bool bFloat = Reader.GetFormat().bFloatSamples != 0;
            if (bFloat ? !std::isfinite(Buffer[i]) : !(Buffer[i] >= -1.0 && Buffer[i] <= 1.0))
            {
                Fail("sample outside -1 ... +1, or a float sample not finite");
            }
            Result.dfChecksum +=
                Buffer[i] * static_cast<double>((Result.ullFrames * ullChannels + i) % 97 + 1);
        }
        Result.ullFrames += ullFrames;
        if (ullFrames == 0 && ullWanted != 0)
        {
            return Result;
        }
    }
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
    if (First.ullFrames != Second.ullFrames || First.dfChecksum != Second.dfChecksum)
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
