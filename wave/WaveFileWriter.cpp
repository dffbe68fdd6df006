#include "wave/WaveFileWriter.h"

#include "wave/WaveFileLayout.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string>

namespace
{
using Layout = WaveFileLayout;
// Float files add the extension size (0) to the plain fields.
constexpr uint32_t FLOAT_FORMAT_SIZE = Layout::PLAIN_FORMAT_SIZE + 2;
// RIFF header, JUNK/ds64, fmt, fact and the data chunk's header; integer PCM has no fact chunk.
constexpr uint64_t FLOAT_HEADER_BYTES =
    12 + (8 + Layout::DS64_FIXED_SIZE) + (8 + FLOAT_FORMAT_SIZE) + (8 + 4) + 8;
constexpr uint64_t PCM_HEADER_BYTES =
    12 + (8 + Layout::DS64_FIXED_SIZE) + (8 + Layout::PLAIN_FORMAT_SIZE) + 8;
constexpr uint64_t STAGING_FRAMES = 4096;

// Little-endian fields into a header of fixed size.
class ByteWriter
{
public:
    explicit ByteWriter(uint8_t* pTarget) : pBytes(pTarget) {}
    void Text(const char* pFourCharacters)
    {
        for (int i = 0; i < 4; ++i)
        {
            pBytes[ullAt++] = static_cast<uint8_t>(pFourCharacters[i]);
        }
    }
    void UInt16(uint32_t uiValue)
    {
        pBytes[ullAt++] = static_cast<uint8_t>(uiValue);
        pBytes[ullAt++] = static_cast<uint8_t>(uiValue >> 8);
    }
    void UInt32(uint32_t uiValue)
    {
        UInt16(uiValue & 0xFFFF);
        UInt16(uiValue >> 16);
    }
    void UInt64(uint64_t ullValue)
    {
        UInt32(static_cast<uint32_t>(ullValue));
        UInt32(static_cast<uint32_t>(ullValue >> 32));
    }
    uint64_t Size() const { return ullAt; }

private:
    uint8_t* pBytes;
    uint64_t ullAt = 0;
};
} // namespace

WaveFileWriter::~WaveFileWriter()
{
    Close();
}

int32_t WaveFileWriter::Open(const char16_t* pPath, uint32_t uiChannels, uint32_t uiRate,
                             WaveSampleFormat Format)
{
    Close();
    if (pPath == nullptr || uiChannels == 0 || uiChannels > 0xFFFF || uiRate == 0)
    {
        return -4;
    }
    uint32_t uiBytes = 0;
    switch (Format)
    {
    case WaveSampleFormat::Float32:
    case WaveSampleFormat::Pcm32:
        uiBytes = 4;
        break;
    case WaveSampleFormat::Pcm24:
        uiBytes = 3;
        break;
    case WaveSampleFormat::Pcm16:
        uiBytes = 2;
        break;
    default:
        return -99;
    }
    uiChannelCount = uiChannels;
    uiSamplingFrequency = uiRate;
    uiBytesPerSample = uiBytes;
    SampleFormat = Format;
    ullFrameCount = 0;
    bFailed = 0;
    // The bytes per second field is 32 bits; a larger product cannot be described.
    if (static_cast<uint64_t>(uiRate) * uiChannels * uiBytesPerSample > 0xFFFFFFFFull)
    {
        return -4;
    }
    File.open(std::filesystem::path(std::u16string(pPath)),
              std::ios::binary | std::ios::out | std::ios::trunc);
    if (!File.is_open())
    {
        return -1;
    }
    bOpened = 1;
    Staging.assign(STAGING_FRAMES * uiChannels * uiBytesPerSample, 0);
    if (WriteHeader(false) != 1)
    {
        bFailed = 1;
        Close();
        return -1;
    }
    return 1;
}

uint64_t WaveFileWriter::HeaderBytes() const
{
    return SampleFormat == WaveSampleFormat::Float32 ? FLOAT_HEADER_BYTES : PCM_HEADER_BYTES;
}

int32_t WaveFileWriter::WriteHeader(bool bFinal)
{
    const bool bFloat = SampleFormat == WaveSampleFormat::Float32;
    const uint64_t ullBlockAlign = uint64_t{uiChannelCount} * uiBytesPerSample;
    const uint64_t ullDataBytes = ullFrameCount * ullBlockAlign;
    const uint64_t ullRiffSize = HeaderBytes() - 8 + ullDataBytes + (ullDataBytes & 1);
    const bool bLarge = ullRiffSize > Layout::SIZE_PLACEHOLDER - 1;

    uint8_t Header[FLOAT_HEADER_BYTES] = {};
    ByteWriter Put(Header);
    Put.Text(bLarge ? "RF64" : "RIFF");
    Put.UInt32(bLarge ? Layout::SIZE_PLACEHOLDER : static_cast<uint32_t>(ullRiffSize));
    Put.Text("WAVE");
    // Room for a ds64 chunk, a JUNK chunk while the file is small enough not to need one.
    Put.Text(bLarge ? "ds64" : "JUNK");
    Put.UInt32(Layout::DS64_FIXED_SIZE);
    Put.UInt64(bLarge ? ullRiffSize : 0);
    Put.UInt64(bLarge ? ullDataBytes : 0);
    Put.UInt64(bLarge ? ullFrameCount : 0);
    Put.UInt32(0);
    Put.Text("fmt ");
    Put.UInt32(bFloat ? FLOAT_FORMAT_SIZE : Layout::PLAIN_FORMAT_SIZE);
    Put.UInt16(bFloat ? Layout::FORMAT_TAG_FLOAT : Layout::FORMAT_TAG_PCM);
    Put.UInt16(uiChannelCount);
    Put.UInt32(uiSamplingFrequency);
    Put.UInt32(static_cast<uint32_t>(uiSamplingFrequency * ullBlockAlign));
    Put.UInt16(static_cast<uint32_t>(ullBlockAlign));
    Put.UInt16(8 * uiBytesPerSample);
    if (bFloat)
    {
        Put.UInt16(0);
        // Non-PCM formats carry the frame count in a fact chunk.
        Put.Text("fact");
        Put.UInt32(4);
        Put.UInt32(bLarge || ullFrameCount > Layout::SIZE_PLACEHOLDER ? Layout::SIZE_PLACEHOLDER
                                                                      : static_cast<uint32_t>(ullFrameCount));
    }
    Put.Text("data");
    Put.UInt32(bLarge ? Layout::SIZE_PLACEHOLDER : static_cast<uint32_t>(ullDataBytes));

    if (bFinal)
    {
        if ((ullDataBytes & 1) != 0)
        {
            File.put(0);
        }
        File.seekp(0);
    }
    File.write(reinterpret_cast<const char*>(Header), static_cast<std::streamsize>(Put.Size()));
    return File.good() ? 1 : -1;
}

int32_t WaveFileWriter::CheckWrite(const void* pFrames, uint64_t ullAsked) const
{
    if (bOpened == 0 || bFailed != 0)
    {
        return -1;
    }
    if (ullAsked == 0)
    {
        return 0;
    }
    if (pFrames == nullptr)
    {
        return -4;
    }
    const uint64_t ullBlockAlign = uint64_t{uiChannelCount} * uiBytesPerSample;
    if (ullAsked > (std::numeric_limits<uint64_t>::max() - HeaderBytes()) / ullBlockAlign - ullFrameCount)
    {
        return -5;
    }
    return 1;
}

int32_t WaveFileWriter::WriteStaged(uint64_t ullChunk)
{
    const uint64_t ullBytes = ullChunk * uiChannelCount * uiBytesPerSample;
    const uint64_t ullSizeNow = HeaderBytes() + ullFrameCount * uiChannelCount * uiBytesPerSample;
    if (ullSizeLimit != 0 && ullSizeNow + ullBytes > ullSizeLimit)
    {
        const uint64_t ullFits = ullSizeLimit > ullSizeNow ? ullSizeLimit - ullSizeNow : 0;
        File.write(reinterpret_cast<const char*>(Staging.data()), static_cast<std::streamsize>(ullFits));
        File.flush();
        bFailed = 1;
        errno = ENOSPC;
        return -1;
    }
    File.write(reinterpret_cast<const char*>(Staging.data()), static_cast<std::streamsize>(ullBytes));
    if (!File.good())
    {
        bFailed = 1;
        return -1;
    }
    ullFrameCount += ullChunk;
    return 1;
}

// The top bytes of the word, little-endian: a fixed count in each case, which the compiler turns
// into whole stores.
void WaveFileWriter::StageWord(uint8_t*& pByte, uint32_t uiWord) const
{
    switch (uiBytesPerSample)
    {
    case 2:
        pByte[0] = static_cast<uint8_t>(uiWord >> 16);
        pByte[1] = static_cast<uint8_t>(uiWord >> 24);
        pByte += 2;
        return;
    case 3:
        pByte[0] = static_cast<uint8_t>(uiWord >> 8);
        pByte[1] = static_cast<uint8_t>(uiWord >> 16);
        pByte[2] = static_cast<uint8_t>(uiWord >> 24);
        pByte += 3;
        return;
    default:
        pByte[0] = static_cast<uint8_t>(uiWord);
        pByte[1] = static_cast<uint8_t>(uiWord >> 8);
        pByte[2] = static_cast<uint8_t>(uiWord >> 16);
        pByte[3] = static_cast<uint8_t>(uiWord >> 24);
        pByte += 4;
        return;
    }
}

// StageWord for ullCount words from the start of the staging block, the size chosen once.
void WaveFileWriter::StageWords(const uint32_t* puiWords, uint64_t ullCount)
{
    uint8_t* pByte = Staging.data();
    const auto Stage = [&](auto BytesPerSample)
    {
        for (uint64_t i = 0; i < ullCount; ++i)
        {
            const uint32_t uiWord = puiWords[i];
            for (uint32_t b = 4 - BytesPerSample(); b < 4; ++b)
            {
                *pByte++ = static_cast<uint8_t>(uiWord >> (8 * b));
            }
        }
    };
    switch (uiBytesPerSample)
    {
    case 2:
        Stage([] { return 2u; });
        return;
    case 3:
        Stage([] { return 3u; });
        return;
    default:
        Stage([] { return 4u; });
        return;
    }
}

int32_t WaveFileWriter::WriteFrames(const double* pdfFrames, uint64_t& ullFrames)
{
    const uint64_t ullAsked = ullFrames;
    ullFrames = 0;
    const int32_t iCheck = CheckWrite(pdfFrames, ullAsked);
    if (iCheck != 1)
    {
        return iCheck == 0 ? 1 : iCheck;
    }
    const bool bFloat = SampleFormat == WaveSampleFormat::Float32;
    const double dfMaxCode = std::ldexp(1.0, static_cast<int>(8 * uiBytesPerSample) - 1) - 1.0;
    const uint32_t uiShift = 32 - 8 * uiBytesPerSample;
    while (ullFrames < ullAsked)
    {
        const uint64_t ullChunk = std::min(STAGING_FRAMES, ullAsked - ullFrames);
        const double* pdfChunk = pdfFrames + ullFrames * uiChannelCount;
        uint8_t* pByte = Staging.data();
        for (uint64_t i = 0; i < ullChunk * uiChannelCount; ++i)
        {
            uint32_t uiWord = 0;
            if (bFloat)
            {
                const float fValue = static_cast<float>(pdfChunk[i]);
                std::memcpy(&uiWord, &fValue, sizeof(uiWord));
            }
            else if (!std::isnan(pdfChunk[i]))
            {
                const double dfCode = std::nearbyint(std::clamp(pdfChunk[i], -1.0, 1.0) * dfMaxCode);
                uiWord = static_cast<uint32_t>(static_cast<int64_t>(dfCode)) << uiShift;
            }
            StageWord(pByte, uiWord);
        }
        const int32_t iWrite = WriteStaged(ullChunk);
        if (iWrite != 1)
        {
            return iWrite;
        }
        ullFrames += ullChunk;
    }
    return 1;
}

int32_t WaveFileWriter::WriteWords(const uint32_t* puiWords, uint64_t& ullFrames)
{
    const uint64_t ullAsked = ullFrames;
    ullFrames = 0;
    if (bOpened != 0 && SampleFormat == WaveSampleFormat::Float32)
    {
        return -99;
    }
    const int32_t iCheck = CheckWrite(puiWords, ullAsked);
    if (iCheck != 1)
    {
        return iCheck == 0 ? 1 : iCheck;
    }
    while (ullFrames < ullAsked)
    {
        const uint64_t ullChunk = std::min(STAGING_FRAMES, ullAsked - ullFrames);
        StageWords(puiWords + ullFrames * uiChannelCount, ullChunk * uiChannelCount);
        const int32_t iWrite = WriteStaged(ullChunk);
        if (iWrite != 1)
        {
            return iWrite;
        }
        ullFrames += ullChunk;
    }
    return 1;
}

int32_t WaveFileWriter::Close()
{
    if (bOpened == 0)
    {
        return 0;
    }
    int32_t iResult = bFailed != 0 ? -1 : WriteHeader(true);
    File.close();
    if (File.fail())
    {
        iResult = -1;
    }
    File.clear();
    bOpened = 0;
    Staging.clear();
    Staging.shrink_to_fit();
    return iResult;
}
