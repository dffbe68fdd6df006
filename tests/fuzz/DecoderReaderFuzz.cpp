// libFuzzer target: any bytes as a sound file through the decoder reader (our adapter over FFmpeg's
// libraries; the decoders themselves are fuzzed upstream). Open, read to the end, seek to a frame the
// input chooses, rewind, read again. Besides the sanitizers it checks what callers rely on: no more
// frames than asked for, no writes past them, finite values, nothing past an exact length, and seeks
// and rewinds that work on every file that opened.
#include "tests/fuzz/FuzzScratchFile.h"
#include "wave/ffmpeg/FfmpegFileReader.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace
{
constexpr double GUARD_VALUE = 12345.0;
constexpr uint64_t BUFFER_SAMPLES = 1u << 13;
// A file whose sound is longer than this is not read further (a tiny input can declare hours).
constexpr uint64_t MOST_FRAMES = uint64_t{1} << 22;

[[noreturn]] void Fail(const char* pWhat)
{
    std::fprintf(stderr, "decoder fuzz invariant broken: %s\n", pWhat);
    std::abort();
}

// Reads to the end (or MOST_FRAMES) with calls of varying size and checks every call; the samples
// read are kept.
std::vector<double> ReadToEnd(FfmpegFileReader& Reader, uint64_t ullSeed)
{
    const uint64_t ullChannels = Reader.GetFormat().uiChannelCount;
    const uint64_t ullMostFrames = std::max<uint64_t>(BUFFER_SAMPLES / ullChannels, 1);
    std::vector<double> All;
    for (uint64_t ullCall = 0; All.size() / ullChannels < MOST_FRAMES; ++ullCall)
    {
        const uint64_t ullSizes[] = {1, 0, ullMostFrames, 7, 1023, 1024, 1025, 3};
        const uint64_t ullWanted = std::min(ullSizes[(ullCall + ullSeed) % 8], ullMostFrames);
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
            if (!std::isfinite(Buffer[i]))
            {
                Fail("a sample that is not a finite number");
            }
        }
        All.insert(All.end(), Buffer.begin(),
                   Buffer.begin() + static_cast<std::ptrdiff_t>(ullFrames * ullChannels));
        if (ullFrames == 0 && ullWanted != 0)
        {
            break;
        }
    }
    return All;
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
        if (Reader.IsOpen() != 0 || Reader.Rewind() != -1 || Reader.GetErrorText()[0] == 0)
        {
            Fail("a refused file left the reader open or gave no reason");
        }
        return 0;
    }
    const AudioFileFormat& Format = Reader.GetFormat();
    if (Format.uiChannelCount == 0 || Format.uiChannelCount > 64 || Format.uiSamplingFrequency == 0)
    {
        Fail("an accepted file with impossible fields");
    }
    const uint64_t ullChannels = Format.uiChannelCount;
    const std::vector<double> First = ReadToEnd(Reader, uSize);
    const uint64_t ullFrames = First.size() / ullChannels;
    if (ullFrames >= MOST_FRAMES)
    {
        return 0;
    }
    if (Format.bFrameCountEstimated == 0 && ullFrames > Format.ullFrameCount)
    {
        Fail("more frames than an exact length");
    }
    // A seek to a frame the input chooses, and a rewind, work on any open file and never deliver
    // past an exact length. (What a damaged stream decodes to after a seek may differ from what it
    // decoded to from the start: the decoders resynchronise where they can. Exact seeks on sound
    // files are the unit tests'.)
    const uint64_t ullTarget = ullFrames == 0 ? 0 : (uSize * 7919) % (ullFrames + 1);
    if (Reader.SeekFrame(ullTarget) != 1)
    {
        Fail("SeekFrame failed on an open file");
    }
    const uint64_t ullAfterSeek = ReadToEnd(Reader, uSize + 1).size() / ullChannels;
    if (Format.bFrameCountEstimated == 0 && ullTarget + ullAfterSeek > Format.ullFrameCount)
    {
        Fail("more frames after a seek than an exact length leaves");
    }
    if (Reader.Rewind() != 1)
    {
        Fail("Rewind failed on an open file");
    }
    if (Format.bFrameCountEstimated == 0 &&
        ReadToEnd(Reader, uSize + 3).size() / ullChannels > Format.ullFrameCount)
    {
        Fail("more frames after a rewind than an exact length");
    }
    Reader.Close();
    return 0;
}
