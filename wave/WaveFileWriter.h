#pragma once
#include <cstdint>
#include <fstream>
#include <vector>

// How WaveFileWriter stores samples. Only 32-bit IEEE float is written so far; the integer formats
// are named so that callers and headers can be laid out for them.
enum class WaveSampleFormat : uint32_t
{
    Float32 = 0, // format tag 3, samples stored as they come (nothing is lost)
    Pcm16 = 1,
    Pcm24 = 2,
    Pcm32 = 3,
};

// Writes a WAV file of interleaved double samples. The header is written at Open with room for a
// ds64 chunk and completed by Close: a RIFF file while the sizes fit 32 bits, an RF64 file beyond.
// One thread at a time.
class WaveFileWriter
{
public:
    WaveFileWriter() = default;
    // Closes an open file (its header is completed).
    ~WaveFileWriter();
    WaveFileWriter(const WaveFileWriter&) = delete;
    WaveFileWriter& operator=(const WaveFileWriter&) = delete;

    // Creates (or truncates) the file and writes a provisional header. 1 done; -4 null path, no
    // channels (or more than 65535), a rate of 0; -99 a sample format not written yet; -1 the file
    // cannot be created or written. An open file is closed first.
    int32_t Open(const char16_t* pPath, uint32_t uiChannels, uint32_t uiRate, WaveSampleFormat Format);
    // ullFrames: in, the frames in pdfFrames (channels doubles each); out, the frames written.
    // 1 done; -1 not open or a write failed; -4 null samples with frames to write; -5 the file
    // would outgrow what RF64 can describe.
    int32_t WriteFrames(const double* pdfFrames, uint64_t& ullFrames);
    // Completes the header and closes the file. 1 done; 0 nothing was open; -1 a write failed.
    int32_t Close();

    uint64_t GetFrameCount() const { return ullFrameCount; }

private:
    int32_t WriteHeader(bool bFinal);

    std::ofstream File;
    int32_t bOpened = 0;
    int32_t bFailed = 0;
    uint32_t uiChannelCount = 0;
    uint32_t uiSamplingFrequency = 0;
    uint32_t uiBytesPerSample = 0;
    WaveSampleFormat SampleFormat = WaveSampleFormat::Float32;
    uint64_t ullFrameCount = 0;
    std::vector<uint8_t> Staging;
};
