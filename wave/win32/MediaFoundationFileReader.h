#pragma once
#include "runtime/CNonCopyable.h"
#include "runtime/win32/ComPointer.h"
#include "wave/AudioFileReaderBase.h"
#include "wave/win32/MediaBufferLock.h"
#include "wave/win32/MediaFoundationLibrary.h"

#include <cstdint>
#include <memory>
#include <string>

// Reads the files Windows' own decoders take (MP3, AAC/M4A, FLAC, ALAC, WMA, ...) through Media
// Foundation's source reader, one decoded block at a time, as doubles. The first block's time is the
// first frame (Media Foundation has already trimmed the encoder delay of files that state it); seeks
// land before the frame and decode up to it, so they are exact. Where Media Foundation is missing,
// Open refuses every file with RESULT_DECODER_UNAVAILABLE.
class MediaFoundationFileReader final : public AudioFileReaderBase, private CNonCopyable
{
public:
    // Starts the Media Foundation the reader uses; 1 when it is ready.
    using LibraryLoader = int32_t (*)(MediaFoundationLibrary& Library);

    // With the system's own Media Foundation.
    MediaFoundationFileReader();
    explicit MediaFoundationFileReader(LibraryLoader pLoader);
    ~MediaFoundationFileReader() override;

    int32_t Open(const char16_t* pPath) override;
    int32_t Close() override;
    const char16_t* GetErrorText() const override { return pErrorText; }

private:
    int32_t ReadOpenFile(double* pdfOut, uint64_t ullWanted, uint64_t& ullDelivered) override;
    int32_t SeekOpenFile(uint64_t ullFrame) override;
    int32_t StartLibrary();
    // A new source reader on the file, its output chosen (and, when asked, its coding named); nothing
    // read yet.
    int32_t CreateSourceReader(int32_t bNameCoding);
    // Reads the first blocks to learn how the source's times give frames, then starts again.
    int32_t LearnTimes();
    // A new source reader at the first frame, its first block read, so the decoder starts afresh.
    int32_t Restart();
    // Selects the first audio stream and asks for float (else integer) output.
    int32_t ChooseOutput(int32_t bNameCoding);
    // The coding's name and the file's own bits from the stream's native type, or from the file's
    // bytes when the source describes only decoded samples.
    void NameCoding(IMFMediaType* pNative, const GUID& Subtype);
    int32_t ReadOutputFormat();
    // After the decoder changed its output type: whether the samples still come as before.
    bool SameOutputFormat();
    void ReadLength();
    // The next decoded block into Block. 1 with a block, 0 at the end of the sound (or at a decode
    // failure, which ends it), negative when the reader failed before any block.
    int32_t FetchBlock();
    // The frame at which a block of that time begins.
    uint64_t FrameAt(int64_t llTime) const;
    // Moves the source to the frame's time and reads the block there, placed by its time. -1 when
    // the source refuses.
    int32_t SetPosition(uint64_t ullFrame);
    // Drops frames of the current block up to ullFrame (fetching blocks as needed). 1 there (or at the
    // end), 0 when the block already begins after it.
    int32_t DropUntil(uint64_t ullFrame);
    void Convert(const uint8_t* pbBytes, uint64_t ullFrames, double* pdfOut) const;
    void ReleaseBlock();

    LibraryLoader pLoader;
    std::u16string Path;
    const char16_t* pErrorText = u""; // why the last Open refused
    // Declared before everything Media Foundation made, so it is stopped after they are released.
    std::unique_ptr<MediaFoundationLibrary> pLibrary;
    ComPointer<IMFSourceReader> pSourceReader;
    MediaBufferLock Block;
    uint64_t ullBlockFrames = 0;
    uint64_t ullBlockFramesUsed = 0;
    // Where the current block begins and where the next frame delivered is, from the first frame.
    uint64_t ullBlockFrame = 0;
    uint32_t uiSampleBytes = 0;
    uint32_t uiFrameBytes = 0;
    int32_t bFloatOutput = 0;
    int32_t bLossy = 0;
    // The time of the first block, frame 0, and of the current block.
    int64_t llFirstTime = 0;
    int64_t llBlockTime = 0;
    // Frames counted minus frames by time, for every block after the first; bCoarseTimes when that
    // is not constant (the times are rounded), so a time cannot give an exact frame.
    int64_t llFrameOffset = 0;
    int32_t bCoarseTimes = 0;
    // The one length of a file's blocks when rounded times still name their block (0: they do not,
    // and a seek decodes from the first frame).
    uint64_t ullGridFrames = 0;
    // The next block is placed by its time (after a seek) instead of following the one before.
    int32_t bPlaceFromTime = 0;
    int32_t bEnded = 0;
};
