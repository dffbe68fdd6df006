#pragma once
#include <cstdint>
#include <functional>

class SAudioFileReader;

// What the reader fuzz targets check of every read, written once.
namespace FuzzReading
{
// Ends the run: prints "<pTarget> fuzz invariant broken: <pWhat>" and aborts, so libFuzzer keeps the
// input.
[[noreturn]] void Fail(const char* pTarget, const char* pWhat);

// Reads the open reader to its end, or past ullMostFrames, in calls of varying size (0 included)
// chosen by ullSeed, each into exactly the room asked for plus one guard sample. Every call must
// succeed and deliver no more than asked without touching the guard, or Fail ends the run. Visit
// sees each call's interleaved samples and the frames read before them. The frames read.
uint64_t ReadToEnd(
    SAudioFileReader& Reader, uint64_t ullSeed, uint64_t ullMostFrames, const char* pTarget,
    const std::function<void(const double* pdfSamples, uint64_t ullSamples, uint64_t ullBefore)>& Visit);
} // namespace FuzzReading
