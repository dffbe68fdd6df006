#pragma once
#include <cstdint>

// A 128-bit format identifier laid out like the platform's GUID.
struct AudioFormatGuid
{
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];

    friend bool operator==(const AudioFormatGuid&, const AudioFormatGuid&) = default;
};

// Integer PCM and IEEE float sub-formats of an extensible format.
constexpr AudioFormatGuid AUDIO_SUBTYPE_PCM = {
    0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
constexpr AudioFormatGuid AUDIO_SUBTYPE_IEEE_FLOAT = {
    0x00000003, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

constexpr uint16_t AUDIO_FORMAT_TAG_PCM = 0x0001;
constexpr uint16_t AUDIO_FORMAT_TAG_EXTENSIBLE = 0xFFFE;
// The size of the extension that follows the basic record in an extensible format.
constexpr uint16_t AUDIO_FORMAT_EXTENSIBLE_SIZE = 22;

// The portable form of an extensible wave format: the fields of the basic record, then the
// extension (valid bits, channel mask, sub-format). Back ends translate it to and from their own.
struct AudioStreamFormat
{
    uint16_t wFormatTag;
    uint16_t nChannels;
    uint32_t nSamplesPerSec;
    uint32_t nAvgBytesPerSec;
    uint16_t nBlockAlign;
    uint16_t wBitsPerSample;
    uint16_t cbSize;
    uint16_t wValidBitsPerSample;
    uint32_t dwChannelMask;
    AudioFormatGuid SubFormat;

    friend bool operator==(const AudioStreamFormat&, const AudioStreamFormat&) = default;
};

// The format the stream proposes: two channels of extensible integer PCM, the container full of
// valid bits, no speaker positions.
AudioStreamFormat MakeStereoPcmFormat(uint32_t uiSamplingFrequency, uint32_t uiBits);

// An extensible format record of any layout, as back ends describe what a device would rather take.
AudioStreamFormat MakeStreamFormat(uint32_t uiSamplingFrequency, uint32_t uiChannels,
                                   uint32_t uiContainerBits, uint32_t uiValidBits,
                                   const AudioFormatGuid& SubFormat);

// The container bits (32, 24 or 16) of a consistent two-channel integer PCM format whose container
// is full of valid bits, plain or extensible; 0 for any other format.
uint32_t StereoPcmBits(const AudioStreamFormat& Format);
