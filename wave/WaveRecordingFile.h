#pragma once
#include "runtime/CFileReplacement.h"
#include "runtime/CNonCopyable.h"
#include "wave/WaveFileWriter.h"

#include <cstdint>
#include <string>

// A WAV file made while something plays or renders: opened at the start, appended to as the frames
// come, and at the end either finalised (the file at the path is the whole recording) or abandoned
// (nothing of it is left at the path). The frames go to a temporary file beside the path, renamed
// over it only when finalised, so a failure, an interrupt or a full disk leaves a file that was at
// the path exactly as it was. Every program output of this kind goes through here. One thread at a
// time.
class WaveRecordingFile : private CNonCopyable
{
public:
    // Abandons a recording that was neither finalised nor abandoned.
    ~WaveRecordingFile();

    // Starts the recording for pPath. Results as CFileReplacement::Begin and WaveFileWriter::Open (a
    // refusal changes nothing at the path); an open recording is abandoned first.
    int32_t Open(const char16_t* pPath, uint32_t uiChannels, uint32_t uiRate, WaveSampleFormat Format);
    // Interleaved samples, or (integer formats) words whose top container bytes are the samples.
    // ullFrames in/out and results as WaveFileWriter::WriteFrames and WriteWords.
    int32_t AppendFrames(const double* pdfFrames, uint64_t& ullFrames);
    int32_t AppendWords(const uint32_t* puiWords, uint64_t& ullFrames);
    // Completes the file and puts it at the path. 1 done; 0 nothing was open; -1 completing or
    // renaming it failed (it is abandoned; HasRenameFailed tells which).
    int32_t Finalise();
    // Drops the recording: the temporary file is removed and the path keeps what it held. 1 when one
    // was open, else 0.
    int32_t Abandon();
    // The last Finalise failed at the rename, after the file was complete.
    bool HasRenameFailed() const { return bRenameFailed; }
    // The platform's error code of the last failure to begin, write or rename; 0 for none.
    int32_t GetSystemError() const { return iSystemError; }
    // The written file's size limit in bytes (0 none): a write beyond it fails. For tests.
    void LimitSize(uint64_t ullBytes) { ullSizeLimit = ullBytes; }

    int32_t IsOpen() const { return bOpen; }
    uint64_t GetFrameCount() const { return Writer.GetFrameCount(); }

private:
    CFileReplacement Replacement;
    WaveFileWriter Writer;
    int32_t bOpen = 0;
    bool bRenameFailed = false;
    int32_t iSystemError = 0;
    uint64_t ullSizeLimit = 0;
};
