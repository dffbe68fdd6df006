// libFuzzer target: any bytes as a sound file through the decoder reader (our adapter; FFmpeg's decoders
// are fuzzed upstream): open, read, seek, rewind, read. It checks no more frames than asked for, no
// writes past them, finite values, nothing past an exact length, seeks and rewinds that work.
#include "tests/fuzz/FuzzScratchFile.h"
#include "wave/ffmpeg/FfmpegFileReader.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace
{
constexpr double GUARD_VALUE = 12345.0;
constexpr uint64_t BUFFER_SAMPLES = 1u << 13;
// Read no further: a tiny input can declare hours.
constexpr uint64_t MOST_FRAMES = uint64_t{1} << 22;

void Check(bool bHolds, const char* pWhat)
{
    if (!bHolds)
    {
        std::fprintf(stderr, "decoder fuzz invariant broken: %s\n", pWhat);
        std::abort();
    }
}

// Reads to the end (or MOST_FRAMES) with calls of varying size, checking every call; the frames read.
uint64_t ReadToEnd(FfmpegFileReader& Reader, uint64_t ullSeed)
{
    const uint64_t ullChannels = Reader.GetFormat().uiChannelCount;
    const uint64_t ullMostFrames = std::max<uint64_t>(BUFFER_SAMPLES / ullChannels, 1);
    uint64_t ullTotal = 0;
    for (uint64_t ullCall = 0; ullTotal < MOST_FRAMES; ++ullCall)
    {
        const uint64_t ullSizes[] = {1, 0, ullMostFrames, 7, 1023, 1024, 1025, 3};
        const uint64_t ullWanted = std::min(ullSizes[(ullCall + ullSeed) % 8], ullMostFrames);
        std::vector<double> Buffer(ullWanted * ullChannels + 1, GUARD_VALUE);
        uint64_t ullFrames = ullWanted;
        Check(Reader.ReadFrames(Buffer.data(), &ullFrames) == 1, "ReadFrames failed on an open file");
        Check(ullFrames <= ullWanted && Buffer.back() == GUARD_VALUE, "more delivered than asked for");
        Check(std::all_of(Buffer.begin(),
                          Buffer.begin() + static_cast<std::ptrdiff_t>(ullFrames * ullChannels),
                          [](double dfSample) { return std::isfinite(dfSample); }),
              "a sample that is not a finite number");
        ullTotal += ullFrames;
        if (ullFrames == 0 && ullWanted != 0)
        {
            break;
        }
    }
    return ullTotal;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t uSize)
{
    if (!WriteFuzzScratch(pData, uSize))
    {
        return 0;
    }
    FfmpegFileReader Reader;
    if (Reader.Open(FuzzScratchPath().c_str()) < 0)
    {
        Check(Reader.IsOpen() == 0 && Reader.Rewind() == -1 && Reader.GetErrorText()[0] != 0,
              "a refused file left the reader open or gave no reason");
        return 0;
    }
    const AudioFileFormat& Format = Reader.GetFormat();
    Check(Format.uiChannelCount != 0 && Format.uiChannelCount <= 64 && Format.uiSamplingFrequency != 0,
          "an accepted file with impossible fields");
    // Beyond an exact length nothing comes, from the start, after a seek or after a rewind.
    const uint64_t ullMost = Format.bFrameCountEstimated == 0 ? Format.ullFrameCount : ~uint64_t{0} / 4;
    const uint64_t ullFrames = ReadToEnd(Reader, uSize);
    Check(ullFrames <= ullMost, "more frames than an exact length");
    const uint64_t ullTarget = (uSize * 7919) % (ullFrames + 1);
    Check(Reader.SeekFrame(ullTarget) == 1, "SeekFrame failed on an open file");
    Check(ullTarget + ReadToEnd(Reader, uSize + 1) <= std::max(ullMost, ullTarget),
          "more frames after a seek than an exact length leaves");
    Check(Reader.Rewind() == 1, "Rewind failed on an open file");
    Check(ReadToEnd(Reader, uSize + 3) <= ullMost, "more frames after a rewind than an exact length");
    Reader.Close();
    return 0;
}
