#pragma once
#include "runtime/ResultCodes.h"

#include <cstdint>

// What a reader knows about its open file. Filled by Open; all zero while closed.
struct AudioFileFormat
{
    uint32_t uiSamplingFrequency = 0;
    uint32_t uiChannelCount = 0;
    // The file's own bits per sample (8 ... 64 for WAV, FLAC, AIFF, ALAC, WavPack); 0 for formats
    // that have none (MP3, AAC, Vorbis, Opus, WMA). Shown to the user, never invented.
    uint32_t uiBitCount = 0;
    // Speaker positions of the channels as a WAVE_FORMAT_EXTENSIBLE mask; 0 when the file says none.
    uint32_t uiChannelMask = 0;
    // Frames of sound after gapless trimming. Exact unless bFrameCountEstimated is 1: then an
    // estimate for the progress bar, and the sound ends where ReadFrames stops delivering.
    uint64_t ullFrameCount = 0;
    int32_t bFrameCountEstimated = 0;
    // 1 when the samples are floating point (float WAV).
    int32_t bFloatSamples = 0;
    // Short name of the coding shown by info and the file list: "WAV", "FLAC", "MP3", "AAC", ...
    char16_t szCodingName[24] = {};
};

// A file of sound, read as interleaved doubles (nominally -1.0 ... +1.0, one double per channel per
// frame). Implemented by WaveFileReader and by the platform's decoder readers; the engine, the
// playback thread, the offline renderer and info use only this. One thread at a time.
class SAudioFileReader
{
public:
    virtual ~SAudioFileReader() = default;

    // 1: accepted and consistent; 0: accepted, but the file disagrees with itself (plays all the
    // same); negative: refused, the reader stays closed.
    virtual int32_t Open(const char16_t* pPath) = 0;
    // *pullFrames: in, the frames wanted; out, the frames written to pdfOut. Fewer than asked (even
    // none) may come at any call; none while 1 is returned means the end of the sound. -1 when not
    // open; -4 for a null argument; another negative value for a read or decode failure (what was
    // delivered before it stands).
    virtual int32_t ReadFrames(double* pdfOut, uint64_t* pullFrames) = 0;
    // Back to the first frame. 1, or -1 when not open or the position cannot be reached.
    virtual int32_t Rewind() = 0;
    // To exactly frame ullFrame, counted from the first; at or past the end goes to the end. 1, or -1
    // when not open or the position cannot be reached.
    virtual int32_t SeekFrame(uint64_t ullFrame) = 0;
    // 1 when an open file was closed, 0 when none was open.
    virtual int32_t Close() = 0;
    // 1 while a file is open.
    virtual int32_t IsOpen() const = 0;
    // The open file's format; all zero while closed.
    virtual const AudioFileFormat& GetFormat() const = 0;
    // Why the last Open refused the file, in English words a user can act on, phrased to follow the
    // file's name and a colon, which the caller puts in front ("'x.wma': its coding (wmapro) cannot
    // be decoded here"). Empty after a success, or when the reader has nothing to add.
    virtual const char16_t* GetErrorText() const { return u""; }
};
