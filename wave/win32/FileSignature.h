#pragma once
#include <cstdint>
#include <vector>

// Names the coding of a sound file from its own bytes: the container's signature and the few header
// fields that give the coding and the bits per sample. For sources that present only the decoded
// samples (some Media Foundation implementations describe every stream as PCM), so the file list
// still says "MP3" and never shows the decoder's 16 bits as the file's.
class FileSignature
{
public:
    // 1 when the coding was recognised, 0 when not (or the file cannot be read); the results are set
    // either way ("Audio", lossy, no bits, when not recognised).
    int32_t Read(const char16_t* pPath);
    // From the first bytes of a file (and, for MP4 files, the box holding the track descriptions).
    int32_t Recognise(const std::vector<uint8_t>& Head, const std::vector<uint8_t>& MovieBox);

    const char16_t* pCodingName = u"Audio";
    uint32_t uiBitCount = 0;
    int32_t bLossy = 1;

private:
    int32_t Set(const char16_t* pName, int32_t bLossyCoding, uint32_t uiBits);
    int32_t RecogniseMpegAudio(const std::vector<uint8_t>& Head);
    int32_t RecogniseMovie(const std::vector<uint8_t>& MovieBox);
};
