#pragma once
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
} // namespace ChainSignals
