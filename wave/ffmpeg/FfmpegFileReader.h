#pragma once
#include "runtime/CNonCopyable.h"
#include "wave/AudioFileReaderBase.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct AVFormatContext;
struct AVCodecContext;
struct SwrContext;
struct AVPacket;
struct AVFrame;

// Reads a compressed or other non-WAV sound file through FFmpeg's libraries (FLAC, MP3, AAC/M4A,
// ALAC, Ogg Vorbis, Opus, AIFF, WavPack, WAV codings our own reader does not take), decoding a packet
// at a time: never the whole file in memory. Gapless: the encoder delay and padding the container
// declares (LAME/Xing, iTunes edit lists, Ogg pre-skip and granule positions) are left out, so the
// first frame delivered is the music's first. Seeks are exact: the demuxer seeks to a little before
// the frame, the decoder runs in from there and what precedes the frame is dropped. The length is
// exact where the container gives it for a lossless coding or a scan of the packets counts it;
// otherwise an estimate (bFrameCountEstimated). A decode error ends the sound where it happened, as a
// cut file ends. One thread at a time.
class FfmpegFileReader : public AudioFileReaderBase, private CNonCopyable
{
public:
    FfmpegFileReader();
    // ullScanLimitBytes: the largest file whose packets are counted for an exact length (larger ones
    // get the container's estimate).
    explicit FfmpegFileReader(uint64_t ullScanLimitBytes);
    ~FfmpegFileReader() override;

    // 1, or -1 refused (GetErrorText says why), -2 without memory, -4 a null path.
    int32_t Open(const char16_t* pPath) override;
    int32_t Close() override;
    const char16_t* GetErrorText() const override { return ErrorText.c_str(); }

    // Files larger than this are not scanned for their exact length at Open; their length is the
    // container's estimate.
    static constexpr uint64_t SCAN_LIMIT_BYTES = uint64_t{1} << 28;
    // The largest block the decoding libraries may allocate at once.
    static constexpr size_t LARGEST_BLOCK_BYTES = size_t{64} << 20;

private:
    // Decodes at most as many packets as the frames asked for need (and the ones that carry no sound
    // for the stream played). 1 also at the end of the sound or after a decode error (the frames
    // before it are delivered; the next call delivers none).
    int32_t ReadOpenFile(double* pdfOut, uint64_t ullWanted, uint64_t& ullDelivered) override;
    int32_t SeekOpenFile(uint64_t ullFrame) override;

    uint64_t ullScanLimit = SCAN_LIMIT_BYTES;

    struct FormatContextDeleter
    {
        void operator()(AVFormatContext* pContext) const;
    };
    struct CodecContextDeleter
    {
        void operator()(AVCodecContext* pContext) const;
    };
    struct ResamplerDeleter
    {
        void operator()(SwrContext* pContext) const;
    };
    struct PacketDeleter
    {
        void operator()(AVPacket* pPacket) const;
    };
    struct FrameDeleter
    {
        void operator()(AVFrame* pFrame) const;
    };

    int32_t Refuse(int32_t iResult, const std::u16string& Why);
    void FillFormat(const std::string& ContainerName);
    // Counts the sound's frames by reading every packet (their durations less the trimming they
    // carry), in a context of its own. 1 counted; 0 not possible (no durations, a read error).
    int32_t CountFrames(const std::string& Utf8Path, uint64_t& ullFrames);
    // Decodes the next frame of the stream into Pending (from its first sample). 1 a frame; 0 the
    // end of the sound (or a decode error, which ends it); negative a failure.
    int32_t DecodeNextFrame();
    // Converts the frame just decoded into Pending.
    int32_t ConvertFrame();
    // Back to the start of the stream, the decoder emptied.
    int32_t SeekToStart();
    // The frame of the sound where the decoded frame's first sample lies, from its time stamp;
    // false when it has none.
    bool FramePosition(int64_t& llPosition) const;

    std::u16string ErrorText;
    std::unique_ptr<AVFormatContext, FormatContextDeleter> pFormatContext;
    std::unique_ptr<AVCodecContext, CodecContextDeleter> pCodecContext;
    std::unique_ptr<SwrContext, ResamplerDeleter> pResampler;
    std::unique_ptr<AVPacket, PacketDeleter> pPacket;
    std::unique_ptr<AVFrame, FrameDeleter> pFrame;
    int32_t iStream = -1;
    // The decoded frames not yet delivered, interleaved doubles: ullPendingFrames frames from
    // ullPendingStart.
    std::vector<double> Pending;
    uint64_t ullPendingStart = 0;
    uint64_t ullPendingFrames = 0;
    // The frame of the sound the next delivered frame is; the frames to drop before delivering
    // (after a seek).
    uint64_t ullPosition = 0;
    uint64_t ullDropFrames = 0;
    // The time stamp (stream time base) of the sound's first frame, as decoding from the start
    // delivers it; whether it is known.
    int64_t llFirstStamp = 0;
    int32_t bFirstStampKnown = 0;
    // Once the packets ran out and the decoder was emptied, or a decode failed: nothing more comes.
    int32_t bEndOfSound = 0;
    int32_t bDraining = 0;
    // The format the resampler was set up for.
    int32_t iResamplerFormat = -1;
    uint32_t uiResamplerChannels = 0;
};
