#include "wave/win32/FileSignature.h"

#include "runtime/CFileStream.h"

#include <algorithm>
#include <cstring>

namespace
{
constexpr uint64_t HEAD_BYTES = 4096;
// Track descriptions larger than this are not searched (they are a few kilobytes in practice).
constexpr uint64_t LARGEST_MOVIE_BOX = 4 << 20;

bool At(const std::vector<uint8_t>& Bytes, size_t uOffset, const char* pText)
{
    const size_t uLength = std::strlen(pText);
    return uOffset + uLength <= Bytes.size() && std::memcmp(Bytes.data() + uOffset, pText, uLength) == 0;
}

uint32_t BigEndian(const std::vector<uint8_t>& Bytes, size_t uOffset, size_t uCount)
{
    uint32_t uiValue = 0;
    for (size_t i = 0; i < uCount && uOffset + i < Bytes.size(); ++i)
    {
        uiValue = (uiValue << 8) | Bytes[uOffset + i];
    }
    return uiValue;
}

int32_t ReadAt(CFileStream& File, uint64_t ullOffset, uint64_t ullCount, std::vector<uint8_t>& Bytes)
{
    const int64_t llOffset = static_cast<int64_t>(ullOffset);
    uint64_t ullPosition = 0;
    Bytes.assign(ullCount, 0);
    if (File.Seek(&llOffset, &ullPosition, SStream::SEEK_ORIGIN_BEGIN) < 0 ||
        File.Read(Bytes.data(), ullCount) < 0)
    {
        Bytes.clear();
        return -1;
    }
    Bytes.resize(ullCount);
    return 1;
}

// The "moov" box of an MP4 file: the top-level boxes are walked by their sizes (it may follow the
// sound data, as many encoders write it).
std::vector<uint8_t> FindMovieBox(CFileStream& File)
{
    std::vector<uint8_t> Header;
    uint64_t ullOffset = 0;
    for (int iBox = 0; iBox < 64 && ReadAt(File, ullOffset, 16, Header) > 0 && Header.size() == 16; ++iBox)
    {
        uint64_t ullSize = BigEndian(Header, 0, 4);
        if (ullSize == 1)
        {
            ullSize = (uint64_t{BigEndian(Header, 8, 4)} << 32) | BigEndian(Header, 12, 4);
        }
        if (At(Header, 4, "moov"))
        {
            std::vector<uint8_t> Movie;
            if (ullSize <= LARGEST_MOVIE_BOX && ReadAt(File, ullOffset, ullSize, Movie) > 0)
            {
                return Movie;
            }
            break;
        }
        if (ullSize < 8)
        {
            break;
        }
        ullOffset += ullSize;
    }
    return {};
}
} // namespace

int32_t FileSignature::Read(const char16_t* pPath)
{
    Set(u"Audio", 1, 0);
    CFileStream File;
    std::vector<uint8_t> Head;
    if (File.Open(pPath, 1) < 0 || ReadAt(File, 0, HEAD_BYTES, Head) < 0)
    {
        return 0;
    }
    return Recognise(Head, At(Head, 4, "ftyp") ? FindMovieBox(File) : std::vector<uint8_t>{});
}

int32_t FileSignature::Recognise(const std::vector<uint8_t>& Head, const std::vector<uint8_t>& MovieBox)
{
    Set(u"Audio", 1, 0);
    if (At(Head, 0, "fLaC"))
    {
        // STREAMINFO: bits per sample minus one in the 5 bits after the rate and the channel count.
        return Set(u"FLAC", 0, Head.size() >= 22 ? ((BigEndian(Head, 20, 2) >> 4) & 0x1F) + 1 : 0);
    }
    if (At(Head, 0, "\x30\x26\xB2\x75\x8E\x66\xCF\x11"))
    {
        return Set(u"WMA", 1, 0);
    }
    if (At(Head, 0, "OggS"))
    {
        return At(Head, 28, "OpusHead") ? Set(u"Opus", 1, 0)
               : At(Head, 29, "vorbis") ? Set(u"Vorbis", 1, 0)
                                        : 0;
    }
    if (At(Head, 0, "RIFF") && At(Head, 8, "WAVE"))
    {
        return Set(u"WAV", 0, 0);
    }
    if (At(Head, 4, "ftyp"))
    {
        return RecogniseMovie(MovieBox);
    }
    return RecogniseMpegAudio(Head);
}

int32_t FileSignature::RecogniseMpegAudio(const std::vector<uint8_t>& Head)
{
    size_t uFrame = 0;
    if (At(Head, 0, "ID3") && Head.size() >= 10)
    {
        // The tag's size is stored 7 bits to a byte; a footer adds 10 bytes.
        uFrame =
            10 +
            ((Head[6] & 0x7Fu) << 21 | (Head[7] & 0x7Fu) << 14 | (Head[8] & 0x7Fu) << 7 | (Head[9] & 0x7Fu)) +
            ((Head[5] & 0x10) != 0 ? 10 : 0);
        if (uFrame + 2 > Head.size())
        {
            return Set(u"MP3", 1, 0); // a large tag (a cover picture) before the first frame
        }
    }
    if (uFrame + 2 > Head.size() || Head[uFrame] != 0xFF || (Head[uFrame + 1] & 0xE0) != 0xE0)
    {
        return 0;
    }
    switch ((Head[uFrame + 1] >> 1) & 3)
    {
    case 0:
        return Set(u"AAC", 1, 0); // ADTS
    case 1:
        return Set(u"MP3", 1, 0);
    default:
        return Set(u"MPEG audio", 1, 0);
    }
}

int32_t FileSignature::RecogniseMovie(const std::vector<uint8_t>& MovieBox)
{
    // The first audio sample description in a track's "stsd" box: its type names the coding, and its
    // sample size field the bits of a lossless one.
    static const uint8_t STSD[] = {'s', 't', 's', 'd'};
    for (auto Found = MovieBox.begin();
         (Found = std::search(Found, MovieBox.end(), std::begin(STSD), std::end(STSD))) != MovieBox.end();
         ++Found)
    {
        const size_t uEntry = static_cast<size_t>(Found - MovieBox.begin()) + 12;
        const uint32_t uiBits = BigEndian(MovieBox, uEntry + 26, 2);
        if (At(MovieBox, uEntry + 4, "alac"))
        {
            return Set(u"ALAC", 0, uiBits);
        }
        if (At(MovieBox, uEntry + 4, "fLaC"))
        {
            return Set(u"FLAC", 0, uiBits);
        }
        if (At(MovieBox, uEntry + 4, "mp4a"))
        {
            return Set(u"AAC", 1, 0);
        }
        if (At(MovieBox, uEntry + 4, "Opus"))
        {
            return Set(u"Opus", 1, 0);
        }
    }
    return 0;
}

int32_t FileSignature::Set(const char16_t* pName, int32_t bLossyCoding, uint32_t uiBits)
{
    pCodingName = pName;
    bLossy = bLossyCoding;
    uiBitCount = uiBits;
    return 1;
}
