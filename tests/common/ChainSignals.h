#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <vector>

// What the whole-chain tests play and how they compare it: a test signal, the device's bytes as
// codes, and the offline render of the same file as codes (the reference a device must receive).
namespace ChainSignals
{
// Two tones of different levels, so swapped or shifted channels show.
std::vector<double> TwoTones(uint64_t ullFrames, double dfRate);

// Interleaved codes from little-endian two's-complement samples of uiBits.
std::vector<int32_t> DecodeCodes(const uint8_t* pBytes, size_t ullBytes, uint32_t uiBits);

// The codes of the offline render of the file: uiBits in a container of uiBits, volume held from
// the first frame; bKeepPitch keeps the pitch.
std::vector<int32_t> RenderOfflineCodes(const std::filesystem::path& Input, uint32_t uiDeviceRate,
                                        uint32_t uiBits, double dfSpeed = 1.0, double dfVolumeDb = 0.0,
                                        int32_t bKeepPitch = 0);

// Frame i of a render of L frames as a device played it, with sound-buffer periods of P frames: the
// same codes give or take one, except where the sound buffer fades (the first period in, the last
// whole period and the part period after it out), where the heard codes are only bounded by the
// render's. pHeard and pWanted point at the frame's two codes.
::testing::AssertionResult MatchesRenderFrame(const int32_t* pHeard, const int32_t* pWanted, uint64_t i,
                                              uint64_t L, uint64_t P);

// What was played equals the offline render: Device, the codes a device received from its first
// frame on, holds one period of silence, then every frame of Offline in order on the same grid
// (MatchesRenderFrame), then silence to its end.
::testing::AssertionResult PlayedEqualsRender(const std::vector<int32_t>& Device,
                                              const std::vector<int32_t>& Offline, uint64_t P);
} // namespace ChainSignals
