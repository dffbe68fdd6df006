#pragma once
#include "wave/WaveFileWriter.h"

#include <cstdint>
#include <string>

// A WAV file made while something plays or renders: opened at the start, appended to as the frames
// come, and at the end either finalised (the file at the path is the whole recording) or abandoned
// (nothing of it is left at the path). Every program output of this kind goes through here, so how
// the file reaches its path is decided in one place. One thread at a time.
class WaveRecordingFile
{
public:
    WaveRecordingFile() = default;
    // Abandons a recording that was neither finalised nor abandoned.
    ~WaveRecordingFile();
    WaveRecordingFile(const WaveRecordingFile&) = delete;
    WaveRecordingFile& operator=(const WaveRecordingFile&) = delete;

    // Starts the recording at pPath. Results as WaveFileWriter::Open (a refusal removes nothing); an
    // open recording is abandoned first.
    int32_t Open(const char16_t* pPath, uint32_t uiChannels, uint32_t uiRate, WaveSampleFormat Format);
    // Interleaved samples, or (integer formats) words whose top container bytes are the samples.
    // ullFrames in/out and results as WaveFileWriter::WriteFrames and WriteWords.
    int32_t AppendFrames(const double* pdfFrames, uint64_t& ullFrames);
    int32_t AppendWords(const uint32_t* puiWords, uint64_t& ullFrames);
    // Completes the file. 1 done; 0 nothing was open; -1 completing it failed (it is abandoned).
    int32_t Finalise();
    // Drops the recording: what was written is removed, but only a regular file (a device node or a
    // pipe given as the path is not ours to delete). 1 when one was open, else 0.
    int32_t Abandon();

    int32_t IsOpen() const { return bOpen; }
    uint64_t GetFrameCount() const { return Writer.GetFrameCount(); }

private:
    WaveFileWriter Writer;
    std::u16string Path;
    int32_t bOpen = 0;
};
