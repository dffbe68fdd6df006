#pragma once
#include "runtime/CNonCopyable.h"
#include <cstdint>
#include <fstream>
#include <vector>

// How WaveFileWriter stores samples.
enum class WaveSampleFormat : uint32_t
{
    Float32 = 0, // format tag 3, samples stored as they come (nothing is lost)
    Pcm16 = 1,   // format tag 1, two's complement in 2, 3 or 4 bytes
    Pcm24 = 2,
    Pcm32 = 3,
};

// Writes a WAV file of interleaved double samples. The header is written at Open with room for a
// ds64 chunk and completed by Close: a RIFF file while the sizes fit 32 bits, an RF64 file beyond.
// One thread at a time.
class WaveFileWriter : private CNonCopyable
{
public:
    // Closes an open file (its header is completed).
    ~WaveFileWriter();

    // Creates (or truncates) the file and writes a provisional header. 1 done; -4 null path, no
    // channels (or more than 65535), a rate of 0; -99 a sample format not written yet; -1 the file
    // cannot be created or written. An open file is closed first.
    int32_t Open(const char16_t* pPath, uint32_t uiChannels, uint32_t uiRate, WaveSampleFormat Format);
    // ullFrames: in, the frames in pdfFrames (channels doubles each); out, the frames written.
    // 1 done; -1 not open or a write failed; -4 null samples with frames to write; -5 the file
    // would outgrow what RF64 can describe. Integer formats round to the nearest code and limit
    // to -(2^(bits-1) - 1) ... 2^(bits-1) - 1.
    int32_t WriteFrames(const double* pdfFrames, uint64_t& ullFrames);
    // Integer formats only: 32-bit words whose top container bytes are the samples (the lower bytes
    // are dropped), as a device takes them. Results as WriteFrames; -99 for the float format.
    int32_t WriteWords(const uint32_t* puiWords, uint64_t& ullFrames);
    // Completes the header and closes the file. 1 done; 0 nothing was open; -1 a write failed.
    int32_t Close();

    uint64_t GetFrameCount() const { return ullFrameCount; }
    // The file may not grow beyond ullBytes: a write past it stores what fits and fails with errno
    // ENOSPC, as on a full disk (tests). 0, the default, sets no limit.
    void LimitSize(uint64_t ullBytes) { ullSizeLimit = ullBytes; }

private:
    int32_t WriteHeader(bool bFinal);
    uint64_t HeaderBytes() const;
    // Checks a write of ullAsked frames; 1 to go on, 0 nothing to write, else the failure.
    int32_t CheckWrite(const void* pFrames, uint64_t ullAsked) const;
    // Writes ullChunk frames from the staging area.
    int32_t WriteStaged(uint64_t ullChunk);
    void StageWord(uint8_t*& pByte, uint32_t uiWord) const;
    void StageWords(const uint32_t* puiWords, uint64_t ullCount);

    std::ofstream File;
    int32_t bOpened = 0;
    int32_t bFailed = 0;
    uint32_t uiChannelCount = 0;
    uint32_t uiSamplingFrequency = 0;
    uint32_t uiBytesPerSample = 0;
    WaveSampleFormat SampleFormat = WaveSampleFormat::Float32;
    uint64_t ullFrameCount = 0;
    uint64_t ullSizeLimit = 0;
    std::vector<uint8_t> Staging;
};
