#pragma once
#include <cstdint>
#include <cstring>

// The fields of RIFF and RF64 WAVE files that the reader, the writer and the diagnosis all read or
// write, so that the three agree on them.
struct WaveFileLayout
{
    static constexpr uint16_t FORMAT_TAG_PCM = 1;
    static constexpr uint16_t FORMAT_TAG_FLOAT = 3;
    static constexpr uint16_t FORMAT_TAG_EXTENSIBLE = 0xFFFE;
    // The fmt chunk's body: the plain fields, and with the extension of WAVE_FORMAT_EXTENSIBLE.
    static constexpr uint32_t PLAIN_FORMAT_SIZE = 16;
    static constexpr uint32_t EXTENSIBLE_FORMAT_SIZE = 40;
    // The ds64 chunk's body without its table.
    static constexpr uint32_t DS64_FIXED_SIZE = 28;
    // A 32-bit size that stands for "see ds64" (RF64) or "not known".
    static constexpr uint32_t SIZE_PLACEHOLDER = 0xFFFFFFFF;

    // Whether the four bytes at pBytes are the chunk identifier pIdentifier.
    static bool IsIdentifier(const uint8_t* pBytes, const char* pIdentifier)
    {
        return std::memcmp(pBytes, pIdentifier, 4) == 0;
    }
    // A chunk body's size with the pad byte that follows an odd one.
    static uint64_t WithPadByte(uint64_t ullSize) { return ullSize + (ullSize & 1); }
    // The unsigned little-endian number in uiCount (at most 8) bytes.
    static uint64_t Little(const uint8_t* pBytes, uint32_t uiCount)
    {
        uint64_t ullValue = 0;
        for (uint32_t i = 0; i < uiCount; ++i)
        {
            ullValue |= static_cast<uint64_t>(pBytes[i]) << (8 * i);
        }
        return ullValue;
    }
};
