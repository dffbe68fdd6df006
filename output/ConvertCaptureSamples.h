#pragma once
#include <cstdint>

// Decodes little-endian integer device samples (16, 24 or 32 bits; other widths give 0.0) into
// doubles in -1 ... +1, ullDeviceChannels samples per frame, until ullDestinationCapacity doubles
// are stored; the rest is dropped. 1, or -4 when there is something to decode but a pointer is null.
int32_t ConvertCaptureSamples(uint64_t ullDeviceChannels, uint32_t uiBitCount, const uint8_t* pSource,
                              uint64_t ullFrames, double* pdfDestination, uint64_t ullDestinationCapacity);
