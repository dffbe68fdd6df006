#include "tests/fuzz/FuzzReading.h"

#include "wave/SAudioFileReader.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace
{
constexpr double GUARD_VALUE = 12345.0;
// Doubles of the caller's buffer; frame counts per call are chosen to fit it.
constexpr uint64_t BUFFER_SAMPLES = 1u << 13;
} // namespace

void FuzzReading::Fail(const char* pTarget, const char* pWhat)
{
    std::fprintf(stderr, "%s fuzz invariant broken: %s\n", pTarget, pWhat);
    std::abort();
}

uint64_t FuzzReading::ReadToEnd(
    SAudioFileReader& Reader, uint64_t ullSeed, uint64_t ullMostFrames, const char* pTarget,
    const std::function<void(const double* pdfSamples, uint64_t ullSamples, uint64_t ullBefore)>& Visit)
{
    const uint64_t ullChannels = Reader.GetFormat().uiChannelCount;
    const uint64_t ullMostPerCall = std::max<uint64_t>(BUFFER_SAMPLES / ullChannels, 1);
    uint64_t ullTotal = 0;
    for (uint64_t ullCall = 0; ullTotal < ullMostFrames; ++ullCall)
    {
        const uint64_t ullSizes[] = {1, 0, ullMostPerCall, 7, 1023, 1024, 1025, 3};
        const uint64_t ullWanted = std::min(ullSizes[(ullCall + ullSeed) % 8], ullMostPerCall);
        std::vector<double> Buffer(ullWanted * ullChannels + 1, GUARD_VALUE);
        uint64_t ullFrames = ullWanted;
        if (Reader.ReadFrames(Buffer.data(), &ullFrames) != 1)
        {
            Fail(pTarget, "ReadFrames failed on an open file");
        }
        if (ullFrames > ullWanted || Buffer.back() != GUARD_VALUE)
        {
            Fail(pTarget, "ReadFrames delivered more than it was asked for");
        }
        Visit(Buffer.data(), ullFrames * ullChannels, ullTotal);
        ullTotal += ullFrames;
        if (ullFrames == 0 && ullWanted != 0)
        {
            break;
        }
    }
    return ullTotal;
}
