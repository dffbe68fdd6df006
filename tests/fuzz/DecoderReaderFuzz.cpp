// libFuzzer target: any bytes as a sound file through the decoder reader (our adapter; FFmpeg's decoders
// are fuzzed upstream): open, read, seek, rewind, read. It checks no more frames than asked for, no
// writes past them, finite values, nothing past an exact length, seeks and rewinds that work.
#include "tests/fuzz/FuzzReading.h"
#include "tests/fuzz/FuzzScratchFile.h"
#include "wave/ffmpeg/FfmpegFileReader.h"

#include <algorithm>
#include <cmath>

namespace
{
// Read no further: a tiny input can declare hours.
constexpr uint64_t MOST_FRAMES = uint64_t{1} << 22;

void Check(bool bHolds, const char* pWhat)
{
    if (!bHolds)
    {
        FuzzReading::Fail("decoder", pWhat);
    }
}

// Reads to the end (or MOST_FRAMES), every sample a finite number; the frames read.
uint64_t ReadToEnd(FfmpegFileReader& Reader, uint64_t ullSeed)
{
    return FuzzReading::ReadToEnd(Reader, ullSeed, MOST_FRAMES, "decoder",
                                  [](const double* pdfSamples, uint64_t ullSamples, uint64_t)
                                  {
                                      Check(std::all_of(pdfSamples, pdfSamples + ullSamples,
                                                        [](double dfSample)
                                                        { return std::isfinite(dfSample); }),
                                            "a sample that is not a finite number");
                                  });
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
