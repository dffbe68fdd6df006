#pragma once
#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// Builds WAV file images byte by byte for tests and seed corpora: RIFF or RF64, any chunks before
// "fmt ", between "fmt " and "data" and after "data", fmt chunks of any size (16, 18, 40, ...),
// WAVE_FORMAT_EXTENSIBLE, any tag, bit count or channel count, and every size field overridable so
// broken headers are as easy to make as good ones. Depends on nothing but the standard library.
//
//   auto Bytes = WaveFileBuilder::PcmWave(Signal, 2, 44100, 24);           // the common case
//   auto Odd = WaveFileBuilder().Pcm(1, 8000, 8).ChunkBeforeFormat("JUNK", {1, 2, 3})
//                  .Samples({0.5, -0.5}).ChunkAfterData("LIST", ...).Build();
class WaveFileBuilder
{
public:
    using Bytes = std::vector<uint8_t>;
    using Guid = std::array<uint8_t, 16>;

    // SubFormat GUIDs as stored in the file.
    static const Guid SUBFORMAT_PCM;
    static const Guid SUBFORMAT_IEEE_FLOAT;

    struct Chunk
    {
        std::string Identifier; // four characters
        Bytes Payload;
        bool bPadByte = true;                 // write a pad byte after an odd-sized payload
        std::optional<uint32_t> DeclaredSize; // size field other than the payload size
    };

    // Starts as 16-bit stereo integer PCM at 44100 Hz, RIFF form, fmt chunk of 16 bytes, no samples.
    WaveFileBuilder() = default;

    // --- Format ---
    // Integer PCM (tag 1, fmt 16); block align and bytes per second follow unless overridden.
    WaveFileBuilder& Pcm(uint32_t uiChannels, uint32_t uiRate, uint32_t uiBits);
    WaveFileBuilder& FormatTag(uint16_t usTag);
    // Size of the fmt chunk: 16 (plain), 18 (extension size 0), 40 (extensible) or any other value;
    // bytes beyond the fields written are zero.
    WaveFileBuilder& FormatSize(uint32_t uiSize);
    // Tag 0xFFFE with a 40-byte fmt chunk; uiValidBits 0 means the container's bit count.
    WaveFileBuilder& Extensible(const Guid& SubFormat = SUBFORMAT_PCM, uint32_t uiValidBits = 0,
                                uint32_t uiChannelMask = 0);
    WaveFileBuilder& BlockAlign(uint16_t usValue);
    WaveFileBuilder& BytesPerSecond(uint32_t uiValue);

    // --- Form ---
    // RF64: "RF64" with a ds64 chunk at offset 12; the RIFF and data size fields hold 0xFFFFFFFF
    // unless overridden, the ds64 sizes are the true ones unless overridden.
    WaveFileBuilder& Rf64(bool bEnabled = true);
    WaveFileBuilder& Ds64Sizes(std::optional<uint64_t> RiffSize, std::optional<uint64_t> DataSize,
                               std::optional<uint64_t> SampleCount);
    // ds64 table entries (12 bytes each, zero) and extra bytes after them.
    WaveFileBuilder& Ds64Table(uint32_t uiEntries, uint32_t uiExtraBytes = 0);
    // The first identifier (default "RIFF", or "RF64" for that form), e.g. "RIFX" to break a file.
    WaveFileBuilder& RiffIdentifier(const std::string& Identifier);
    WaveFileBuilder& FormType(const std::string& Identifier);

    // --- Chunks ---
    WaveFileBuilder& ChunkBeforeFormat(const Chunk& Extra);
    WaveFileBuilder& ChunkBeforeFormat(const std::string& Identifier, const Bytes& Payload);
    WaveFileBuilder& ChunkBeforeData(const Chunk& Extra);
    WaveFileBuilder& ChunkBeforeData(const std::string& Identifier, const Bytes& Payload);
    WaveFileBuilder& ChunkAfterData(const Chunk& Extra);
    WaveFileBuilder& ChunkAfterData(const std::string& Identifier, const Bytes& Payload);

    // --- Samples ---
    // Interleaved samples in -1.0 ... +1.0, encoded with the current bit count (see EncodeSamples).
    WaveFileBuilder& Samples(const std::vector<double>& Interleaved);
    // Raw sample bytes, written as they are.
    WaveFileBuilder& Data(const Bytes& Raw);
    WaveFileBuilder& DataSizeField(uint32_t uiValue); // the "data" size field (default: true size)
    WaveFileBuilder& RiffSizeField(uint32_t uiValue); // the RIFF size field (default: true size)
    WaveFileBuilder& DataPadByte(bool bEnabled);      // pad byte after odd-sized data (default: yes)

    Bytes Build() const;
    // Writes Build() to the path; false when the file cannot be written.
    bool WriteFile(const std::filesystem::path& Path) const;

    // Sample values to bytes: code = round(x * 2^(bits - 1)) limited to the code range, in
    // ceil(bits / 8) bytes, left-justified, little-endian; bit counts up to 8 are offset binary
    // (silence 128 for 8 bits). Bit counts 1 ... 32; others give no bytes.
    // Decoding code / 2^(bits - 1) gives x back exactly for values on the code grid.
    static Bytes EncodeSamples(const std::vector<double>& Interleaved, uint32_t uiBits);
    // A complete RIFF integer-PCM WAV image of the interleaved signal.
    static Bytes PcmWave(const std::vector<double>& Interleaved, uint32_t uiChannels, uint32_t uiRate,
                         uint32_t uiBits);
    // Payloads of common chunks.
    static Bytes FactPayload(uint32_t uiSampleCount);
    static Bytes ListInfoPayload(const std::string& Tag, const std::string& Text); // "LIST" "INFO" <tag>

private:
    static void PutChunk(Bytes& Out, const Chunk& Item);
    Bytes FormatPayload() const;

    uint16_t usFormatTag = 1;
    uint32_t uiChannelCount = 2;
    uint32_t uiSamplingFrequency = 44100;
    uint32_t uiBitCount = 16;
    uint32_t uiFormatSize = 16;
    Guid SubFormat = SUBFORMAT_PCM;
    uint32_t uiValidBits = 0;
    uint32_t uiChannelMask = 0;
    std::optional<uint16_t> BlockAlignOverride;
    std::optional<uint32_t> BytesPerSecondOverride;

    bool bRf64 = false;
    std::optional<uint64_t> Ds64RiffSize;
    std::optional<uint64_t> Ds64DataSize;
    std::optional<uint64_t> Ds64SampleCount;
    uint32_t uiDs64Entries = 0;
    uint32_t uiDs64ExtraBytes = 0;
    std::optional<std::string> RiffId;
    std::string FormId = "WAVE";

    std::vector<Chunk> BeforeFormat;
    std::vector<Chunk> BeforeData;
    std::vector<Chunk> AfterData;
    Bytes SampleData;
    std::optional<uint32_t> DataSizeOverride;
    std::optional<uint32_t> RiffSizeOverride;
    bool bDataPadByte = true;
};
