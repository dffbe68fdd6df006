#pragma once
#include "runtime/CFileStream.h"
#include "runtime/CNonCopyable.h"
#include "wave/AudioFileReaderBase.h"

#include <cstdint>

// Reads one PCM WAV file (RIFF or RF64) and delivers its frames as interleaved doubles, one 4096-byte
// block at a time. Accepted: 8-bit unsigned, 16-, 24- and 32-bit signed integer samples (in
// -1.0 ... +1.0), and 32- and 64-bit IEEE float samples (passed as they are, beyond +-1 included;
// NaN and infinities read as 0), with format tag 1 or 3 or WAVE_FORMAT_EXTENSIBLE with the matching
// sub-format. Everything else is refused by Open with -1. Its format's coding is "WAV", with
// bFloatSamples for float files; the frame count is always exact. One thread at a time; no locks.
class WaveFileReader : public AudioFileReaderBase, private CNonCopyable
{
public:
    ~WaveFileReader() override;

    // 1: accepted and consistent; 0: accepted, but a size or rate field disagrees; negative: refused
    // (the reader stays closed).
    int32_t Open(const char16_t* pPath) override;
    // 1 when an open file was closed, 0 when none was open.
    int32_t Close() override;

    // Decodes the header of the file open in FileStream and leaves the stream at the first sample
    // byte. Results as Open; -1 for anything that is not a readable WAV file.
    int32_t ParseHeader();

    // The speaker positions of a WAVE_FORMAT_EXTENSIBLE file's channels (its channel mask); 0 for
    // other files and before a header was parsed.
    uint32_t GetChannelMask() const { return uiChannelMask; }

    using AudioFileReaderBase::bOpened;
    CFileStream FileStream;
    uint64_t ullDataOffset = 0;
    uint8_t* pBlockBuffer = nullptr;
    uint64_t ullBlockSize = 4096;
    uint32_t uiSamplingFrequency = 0;
    uint32_t uiChannelCount = 0;
    uint32_t uiBitCount = 0;
    uint64_t ullFrameCount = 0;

private:
    // ReadFrames: whole frames, one block at a time. 1 also at the end of the sound (fewer or no
    // frames), or the file stream's negative result.
    int32_t ReadOpenFile(double* pdfOut, uint64_t ullWanted, uint64_t& ullDelivered) override;
    // SeekFrame: a frame of the sound at or past its end goes to the end (the next read delivers
    // nothing). 1, or -1 when the position cannot be reached.
    int32_t SeekOpenFile(uint64_t ullFrame) override;

    // Byte count of sample data when ReadFrames reads to the end of the file.
    static constexpr uint64_t UNTIL_END_OF_FILE = ~uint64_t{0};

    int32_t ParseRF64Header(uint32_t uiRiffSize);
    // Skips the chunks before "fmt " and reads it. ullSkipped: bytes of the skipped chunks (headers and
    // pad bytes included); ullFormatBytes: the fmt chunk's size plus its pad byte. 1 consistent,
    // 0 inconsistent, -1 refused, or a failed skip's result.
    int32_t ParseFormatChunk(uint64_t& ullSkipped, uint64_t& ullFormatBytes, uint32_t& uiChannels,
                             uint32_t& uiRate, uint32_t& uiBits);
    // Skips the chunks between "fmt " and "data" and reads the data chunk's header.
    int32_t FindDataChunk(uint64_t& ullSkipped, uint32_t& uiDataSize);
    // The fmt chunk and the data chunk header that follows it, the chunks beginning at byte
    // ullChunksOffset of the file; stores the format and ullDataOffset on success. 1 consistent,
    // 0 inconsistent fmt, negative refused.
    int32_t ParseFormatAndDataChunks(uint64_t ullChunksOffset, uint32_t& uiDataSize);
    int32_t ReadBytes(void* pBuffer, uint64_t ullCount);
    int32_t ReadUInt16(uint32_t& uiValue);
    int32_t ReadUInt32(uint32_t& uiValue);
    int32_t ReadUInt64(uint64_t& ullValue);
    // Moves past a chunk body of ullSize bytes (plus the pad byte when ullSize is odd).
    int32_t SkipChunkBody(uint64_t ullSize);
    // Sets ullDataBytes from the declared size: the declared size when it is plausible, otherwise the
    // rest of the file. Fills ullAvailableFrames.
    int32_t SetSoundExtent(uint64_t ullDeclaredSize, uint64_t& ullAvailableFrames);
    void ReleaseBlockBuffer();
    // ullSamples samples of the block at pBytes as doubles.
    void ConvertFloat(const uint8_t* pBytes, uint64_t ullSamples, double* pdfTarget) const;
    void ConvertInteger(const uint8_t* pBytes, uint64_t ullSamples, double* pdfTarget) const;

    uint64_t ullDataBytes = 0;      // bytes of sound from ullDataOffset, or UNTIL_END_OF_FILE
    uint64_t ullBytesToDeliver = 0; // bytes of sound not yet delivered (since Open or Rewind)
    uint32_t uiChannelMask = 0;
    int32_t bFloat = 0;
};
