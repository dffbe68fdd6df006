#pragma once
#include "runtime/CNonCopyable.h"
#include "wave/SAudioFileReader.h"
#include "wave/WaveFileReader.h"

#include <memory>
#include <string>

// The reader the player opens every file with: our WAV reader first, for every file it reads;
// otherwise, for a file that is no WAV file or a WAV file of a coding our reader does not take
// (ADPCM, mu-law, ...), the platform's decoder reader (CreateDecoderReader). A WAV file our reader
// refuses for any other reason (cut short, damaged, an unusual sample width) stays refused with its
// result, so such a file is never half-read by a more lenient decoder. Every call after Open goes to
// the reader that took the file; after the decoder refused, GetErrorText says why in its words. One
// thread at a time.
class AudioFileOpener : public SAudioFileReader, private CNonCopyable
{
public:
    ~AudioFileOpener() override;

    int32_t Open(const char16_t* pPath) override;
    int32_t ReadFrames(double* pdfOut, uint64_t* pullFrames) override;
    int32_t Rewind() override;
    int32_t SeekFrame(uint64_t ullFrame) override;
    int32_t Close() override;
    int32_t IsOpen() const override;
    const AudioFileFormat& GetFormat() const override;
    const char16_t* GetErrorText() const override;

    // 1 when the open file is read by our WAV reader, 0 when by the decoder or none is open.
    int32_t IsWaveFile() const { return pOpened == &Wave ? 1 : 0; }

private:
    WaveFileReader Wave;
    std::unique_ptr<SAudioFileReader> pDecoder;
    // The reader that took the file; null while closed.
    SAudioFileReader* pOpened = nullptr;
    // Why the last Open refused: the decoder's words, or what the WAV reader's refusal was about.
    std::u16string ErrorText;
    AudioFileFormat Closed;
};
