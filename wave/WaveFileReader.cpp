#include "wave/WaveFileReader.h"

#include "runtime/CMemoryANSI.h"
#include "wave/WaveFileLayout.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace
{
using Layout = WaveFileLayout;

// KSDATAFORMAT_SUBTYPE_PCM as it is stored in the file.
constexpr uint8_t SUBFORMAT_PCM[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                       0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
// KSDATAFORMAT_SUBTYPE_IEEE_FLOAT: the same GUID with the float tag in front.
constexpr uint8_t SUBFORMAT_FLOAT[16] = {0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                         0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

// A float sample as the chain takes it: NaN and infinities, which no converter can carry, are silence.
double Finite(double dfValue)
{
    return std::isfinite(dfValue) ? dfValue : 0.0;
}
} // namespace

WaveFileReader::~WaveFileReader()
{
    Close();
}

int32_t WaveFileReader::Open(const char16_t* pPath)
{
    Close();
    const int32_t iOpened = FileStream.Open(pPath, 1);
    if (iOpened < 0)
    {
        return iOpened;
    }
    const int32_t iHeader = ParseHeader();
    if (iHeader < 0)
    {
        // Keeping a refused file open would only stop the user from moving or deleting it.
        FileStream.CloseFile();
        return iHeader;
    }
    CMemoryANSI Memory;
    void* pMemory = nullptr;
    const int32_t iAllocated = Memory.Allocate(&pMemory, ullBlockSize);
    if (iAllocated < 0)
    {
        FileStream.CloseFile();
        return iAllocated;
    }
    pBlockBuffer = static_cast<uint8_t*>(pMemory);
    bOpened = 1;
    Format = AudioFileFormat{};
    Format.uiSamplingFrequency = uiSamplingFrequency;
    Format.uiChannelCount = uiChannelCount;
    Format.uiBitCount = uiBitCount;
    Format.uiChannelMask = uiChannelMask;
    Format.ullFrameCount = ullFrameCount;
    Format.bFloatSamples = bFloat;
    std::memcpy(Format.szCodingName, u"WAV", sizeof(u"WAV"));
    return iHeader;
}

int32_t WaveFileReader::Close()
{
    if (bOpened == 0)
    {
        return 0;
    }
    FileStream.CloseFile();
    ReleaseBlockBuffer();
    ullDataOffset = 0;
    bOpened = 0;
    Format = AudioFileFormat{};
    return 1;
}

void WaveFileReader::ReleaseBlockBuffer()
{
    if (pBlockBuffer != nullptr)
    {
        CMemoryANSI Memory;
        Memory.Free(pBlockBuffer);
        pBlockBuffer = nullptr;
    }
}

int32_t WaveFileReader::ReadBytes(void* pBuffer, uint64_t ullCount)
{
    uint64_t ullDone = ullCount;
    if (FileStream.Read(pBuffer, ullDone) < 0 || ullDone != ullCount)
    {
        return -1;
    }
    return 1;
}

int32_t WaveFileReader::ReadUInt16(uint32_t& uiValue)
{
    uint8_t Bytes[2];
    if (ReadBytes(Bytes, sizeof(Bytes)) < 0)
    {
        return -1;
    }
    uiValue = static_cast<uint32_t>(Bytes[0]) | (static_cast<uint32_t>(Bytes[1]) << 8);
    return 1;
}

int32_t WaveFileReader::ReadUInt32(uint32_t& uiValue)
{
    uint8_t Bytes[4];
    if (ReadBytes(Bytes, sizeof(Bytes)) < 0)
    {
        return -1;
    }
    uiValue = static_cast<uint32_t>(Bytes[0]) | (static_cast<uint32_t>(Bytes[1]) << 8) |
              (static_cast<uint32_t>(Bytes[2]) << 16) | (static_cast<uint32_t>(Bytes[3]) << 24);
    return 1;
}

int32_t WaveFileReader::ReadUInt64(uint64_t& ullValue)
{
    uint32_t uiLow = 0;
    uint32_t uiHigh = 0;
    if (ReadUInt32(uiLow) < 0 || ReadUInt32(uiHigh) < 0)
    {
        return -1;
    }
    ullValue = (static_cast<uint64_t>(uiHigh) << 32) | uiLow;
    return 1;
}

int32_t WaveFileReader::SkipChunkBody(uint64_t ullSize)
{
    // Chunks are word-aligned: an odd-sized body is followed by one pad byte.
    const int64_t llOffset = static_cast<int64_t>(Layout::WithPadByte(ullSize));
    if (llOffset == 0)
    {
        return 1;
    }
    const int32_t iSeek = FileStream.Seek(&llOffset, nullptr, SStream::SEEK_ORIGIN_CURRENT);
    return iSeek < 0 ? iSeek : 1;
}

int32_t WaveFileReader::ParseHeader()
{
    uiSamplingFrequency = 0;
    uiChannelCount = 0;
    uiBitCount = 0;
    ullFrameCount = 0;
    ullDataOffset = 0;
    ullDataBytes = 0;
    ullBytesToDeliver = 0;
    uiChannelMask = 0;
    bFloat = 0;

    uint8_t Identifier[4];
    uint32_t uiRiffSize = 0;
    uint8_t FormType[4];
    if (ReadBytes(Identifier, 4) < 0 || ReadUInt32(uiRiffSize) < 0 || ReadBytes(FormType, 4) < 0)
    {
        return -1;
    }
    if (!Layout::IsIdentifier(FormType, "WAVE") || Identifier[0] != 'R')
    {
        return -1;
    }
    if (Identifier[1] == 'F')
    {
        return Layout::IsIdentifier(Identifier, "RF64") ? ParseRF64Header(uiRiffSize) : -1;
    }
    if (!Layout::IsIdentifier(Identifier, "RIFF"))
    {
        return -1;
    }

    uint32_t uiDataSize = 0;
    const int32_t iFormat = ParseFormatAndDataChunks(12, uiDataSize);
    if (iFormat < 0)
    {
        return iFormat;
    }
    // A placeholder size (0 or all ones, left by writers that could not seek back) is no size.
    const int32_t iExtent =
        SetSoundExtent(uiDataSize == Layout::SIZE_PLACEHOLDER ? 0 : uiDataSize, ullFrameCount);
    if (iExtent < 0)
    {
        return iExtent;
    }

    // The RIFF size counts everything after its own field; a writer may or may not count the pad
    // byte after odd-sized sample data, and both are accepted as consistent.
    const uint32_t uiExpectedRiffSize = static_cast<uint32_t>(ullDataOffset - 8 + uiDataSize);
    const bool bRiffSizeMatches =
        uiRiffSize == uiExpectedRiffSize || ((uiDataSize & 1) != 0 && uiRiffSize == uiExpectedRiffSize + 1);
    return (iFormat == 1 && bRiffSizeMatches) ? 1 : 0;
}

int32_t WaveFileReader::ParseFormatAndDataChunks(uint64_t ullChunksOffset, uint32_t& uiDataSize)
{
    uint64_t ullSkipped = 0;
    uint64_t ullFormatBytes = 0;
    uint32_t uiChannels = 0;
    uint32_t uiRate = 0;
    uint32_t uiBits = 0;
    const int32_t iFormat = ParseFormatChunk(ullSkipped, ullFormatBytes, uiChannels, uiRate, uiBits);
    if (iFormat < 0)
    {
        return iFormat;
    }
    const int32_t iData = FindDataChunk(ullSkipped, uiDataSize);
    if (iData < 0)
    {
        return iData;
    }
    uiChannelCount = uiChannels;
    uiBitCount = uiBits;
    uiSamplingFrequency = uiRate;
    ullDataOffset = ullChunksOffset + ullSkipped + 8 + ullFormatBytes + 8;
    return iFormat;
}

int32_t WaveFileReader::ParseRF64Header(uint32_t uiRiffSize)
{
    uint8_t Identifier[4];
    uint32_t uiDs64Size = 0;
    uint64_t ullRiffSize64 = 0;
    uint64_t ullDataSize64 = 0;
    uint64_t ullSampleCount = 0;
    uint32_t uiTableLength = 0;
    if (ReadBytes(Identifier, 4) < 0 || !Layout::IsIdentifier(Identifier, "ds64") ||
        ReadUInt32(uiDs64Size) < 0 || uiDs64Size < Layout::DS64_FIXED_SIZE || ReadUInt64(ullRiffSize64) < 0 ||
        ReadUInt64(ullDataSize64) < 0 || ReadUInt64(ullSampleCount) < 0 || ReadUInt32(uiTableLength) < 0)
    {
        return -1;
    }
    const int32_t iSkip = SkipChunkBody(uiDs64Size - Layout::DS64_FIXED_SIZE);
    if (iSkip < 0)
    {
        return iSkip;
    }

    uint32_t uiDataSize = 0;
    const int32_t iFormat = ParseFormatAndDataChunks(12 + 8 + Layout::WithPadByte(uiDs64Size), uiDataSize);
    if (iFormat < 0)
    {
        return iFormat;
    }
    uint64_t ullAvailableFrames = 0;
    const int32_t iExtent = SetSoundExtent(ullDataSize64, ullAvailableFrames);
    if (iExtent < 0)
    {
        return iExtent;
    }
    ullFrameCount = ullSampleCount;
    return (uiRiffSize == Layout::SIZE_PLACEHOLDER && uiDataSize == Layout::SIZE_PLACEHOLDER) ? 1 : 0;
}

int32_t WaveFileReader::ParseFormatChunk(uint64_t& ullSkipped, uint64_t& ullFormatBytes, uint32_t& uiChannels,
                                         uint32_t& uiRate, uint32_t& uiBits)
{
    ullSkipped = 0;
    uint8_t Identifier[4];
    for (;;)
    {
        if (ReadBytes(Identifier, 4) < 0)
        {
            return -1;
        }
        if (Layout::IsIdentifier(Identifier, "fmt "))
        {
            break;
        }
        if (Layout::IsIdentifier(Identifier, "data"))
        {
            return -1; // samples before their format
        }
        uint32_t uiSize = 0;
        if (ReadUInt32(uiSize) < 0)
        {
            return -1;
        }
        const int32_t iSkip = SkipChunkBody(uiSize);
        if (iSkip < 0)
        {
            return iSkip;
        }
        ullSkipped += 8 + Layout::WithPadByte(uiSize);
    }

    uint32_t uiFormatSize = 0;
    uint32_t uiFormatTag = 0;
    uint32_t uiBytesPerSecond = 0;
    uint32_t uiBlockAlign = 0;
    if (ReadUInt32(uiFormatSize) < 0 || uiFormatSize < Layout::PLAIN_FORMAT_SIZE ||
        ReadUInt16(uiFormatTag) < 0 || ReadUInt16(uiChannels) < 0 || uiChannels == 0 ||
        ReadUInt32(uiRate) < 0 || uiRate == 0 || ReadUInt32(uiBytesPerSecond) < 0 ||
        ReadUInt16(uiBlockAlign) < 0 || ReadUInt16(uiBits) < 0)
    {
        return -1;
    }
    uint32_t uiFormatRead = Layout::PLAIN_FORMAT_SIZE;
    if (uiFormatTag == Layout::FORMAT_TAG_EXTENSIBLE)
    {
        // Accepted only when the samples are plain integer PCM or IEEE float; the valid-bits field
        // and the channel mask do not change how the container is decoded. The mask is kept for the
        // down-mix.
        uint32_t uiExtensionSize = 0;
        uint32_t uiValidBits = 0;
        uint32_t uiMask = 0;
        uint8_t SubFormat[16];
        if (uiFormatSize < Layout::EXTENSIBLE_FORMAT_SIZE || ReadUInt16(uiExtensionSize) < 0 ||
            ReadUInt16(uiValidBits) < 0 || ReadUInt32(uiMask) < 0 ||
            ReadBytes(SubFormat, sizeof(SubFormat)) < 0)
        {
            return -1;
        }
        if (std::memcmp(SubFormat, SUBFORMAT_FLOAT, sizeof(SubFormat)) == 0)
        {
            bFloat = 1;
        }
        else if (std::memcmp(SubFormat, SUBFORMAT_PCM, sizeof(SubFormat)) != 0)
        {
            return -1;
        }
        uiChannelMask = uiMask;
        uiFormatRead = Layout::EXTENSIBLE_FORMAT_SIZE;
    }
    else if (uiFormatTag == Layout::FORMAT_TAG_FLOAT)
    {
        bFloat = 1;
    }
    else if (uiFormatTag != Layout::FORMAT_TAG_PCM)
    {
        return -1;
    }
    const bool bWidthKnown = bFloat != 0 ? (uiBits == 32 || uiBits == 64)
                                         : (uiBits == 8 || uiBits == 16 || uiBits == 24 || uiBits == 32);
    if (!bWidthKnown)
    {
        return -1;
    }
    const uint64_t ullFrameBytes = static_cast<uint64_t>(uiBits / 8) * uiChannels;
    if (ullFrameBytes == 0 || ullFrameBytes > ullBlockSize)
    {
        return -1;
    }

    const bool bConsistent = uiBlockAlign == uiChannels * uiBits / 8 &&
                             uiBytesPerSecond == uiBlockAlign * uiRate; // 32-bit product
    const int32_t iSkip = SkipChunkBody(uiFormatSize - uiFormatRead);
    if (iSkip < 0)
    {
        return iSkip;
    }
    ullFormatBytes = Layout::WithPadByte(uiFormatSize);
    return bConsistent ? 1 : 0;
}

int32_t WaveFileReader::FindDataChunk(uint64_t& ullSkipped, uint32_t& uiDataSize)
{
    for (;;)
    {
        uint8_t Identifier[4];
        uint32_t uiSize = 0;
        if (ReadBytes(Identifier, 4) < 0 || ReadUInt32(uiSize) < 0)
        {
            return -1;
        }
        if (Layout::IsIdentifier(Identifier, "data"))
        {
            uiDataSize = uiSize;
            return 1;
        }
        if (Layout::IsIdentifier(Identifier, "fmt "))
        {
            return -1; // a second format leaves the samples ambiguous
        }
        const int32_t iSkip = SkipChunkBody(uiSize);
        if (iSkip < 0)
        {
            return iSkip;
        }
        ullSkipped += 8 + Layout::WithPadByte(uiSize);
    }
}

int32_t WaveFileReader::SetSoundExtent(uint64_t ullDeclaredSize, uint64_t& ullAvailableFrames)
{
    uint64_t ullFileSize = 0;
    const int32_t iSize = FileStream.GetSize(&ullFileSize);
    if (iSize < 0)
    {
        return iSize;
    }
    const uint64_t ullRest = ullFileSize > ullDataOffset ? ullFileSize - ullDataOffset : 0;
    const bool bPlausible = ullDeclaredSize != 0 && ullDeclaredSize <= ullRest;
    ullDataBytes = bPlausible ? ullDeclaredSize : UNTIL_END_OF_FILE;
    ullBytesToDeliver = ullDataBytes;
    ullAvailableFrames = (bPlausible ? ullDeclaredSize : ullRest) / ((uiBitCount / 8) * uiChannelCount);
    return 1;
}

int32_t WaveFileReader::ReadOpenFile(double* pdfOut, uint64_t ullWanted, uint64_t& ullDelivered)
{
    const uint64_t ullChannels = uiChannelCount;
    const uint64_t ullSampleBytes = uiBitCount / 8;
    const uint64_t ullFrameBytes = ullSampleBytes * ullChannels; // 1 ... ullBlockSize, checked by Open
    const uint64_t ullBlockFrames = ullBlockSize / ullFrameBytes;

    while (ullDelivered < ullWanted)
    {
        const uint64_t ullPassFrames =
            ullWanted - ullDelivered > ullBlockFrames ? ullBlockFrames : ullWanted - ullDelivered;
        uint64_t ullAsked = ullPassFrames * ullFrameBytes;
        if (ullDataBytes != UNTIL_END_OF_FILE)
        {
            // Whole frames only, so a partial frame at the end of the chunk is never read.
            const uint64_t ullWholeLeft = ullBytesToDeliver - ullBytesToDeliver % ullFrameBytes;
            ullAsked = ullAsked < ullWholeLeft ? ullAsked : ullWholeLeft;
        }
        uint64_t ullReceived = ullAsked;
        const int32_t iRead = ullAsked == 0 ? 1 : FileStream.Read(pBlockBuffer, ullReceived);
        if (iRead < 0)
        {
            return iRead;
        }
        if (ullDataBytes != UNTIL_END_OF_FILE)
        {
            ullBytesToDeliver -= ullReceived;
        }
        const uint64_t ullFrames = ullReceived / ullFrameBytes;
        if (ullFrames == 0)
        {
            break;
        }

        // Every decoded integer lies in -1.0 ... +1.0 by construction: code / 2^(bits - 1). Float
        // samples pass as they are: the converter and the quantiser limit what lies beyond.
        const uint8_t* pBytes = pBlockBuffer;
        double* pdfTarget = pdfOut + ullDelivered * ullChannels;
        const uint64_t ullSamples = ullFrames * ullChannels;
        if (bFloat != 0)
        {
            ConvertFloat(pBytes, ullSamples, pdfTarget);
        }
        else
        {
            ConvertInteger(pBytes, ullSamples, pdfTarget);
        }
        ullDelivered += ullFrames;
        if (ullReceived % ullFrameBytes != 0)
        {
            break; // the file ends inside a frame
        }
    }
    return 1;
}

void WaveFileReader::ConvertFloat(const uint8_t* pBytes, uint64_t ullSamples, double* pdfTarget) const
{
    if (uiBitCount == 32)
    {
        for (uint64_t i = 0; i < ullSamples; ++i, pBytes += 4)
        {
            const auto uiBits = static_cast<uint32_t>(Layout::Little(pBytes, 4));
            float fValue = 0.0F;
            std::memcpy(&fValue, &uiBits, sizeof(fValue));
            pdfTarget[i] = Finite(fValue);
        }
        return;
    }
    for (uint64_t i = 0; i < ullSamples; ++i, pBytes += 8)
    {
        const uint64_t ullBits = Layout::Little(pBytes, 8);
        double dfValue = 0.0;
        std::memcpy(&dfValue, &ullBits, sizeof(dfValue));
        pdfTarget[i] = Finite(dfValue);
    }
}

void WaveFileReader::ConvertInteger(const uint8_t* pBytes, uint64_t ullSamples, double* pdfTarget) const
{
    switch (uiBitCount / 8)
    {
    case 1:
        // 8-bit samples are unsigned with 128 as silence.
        for (uint64_t i = 0; i < ullSamples; ++i)
        {
            pdfTarget[i] = (static_cast<int32_t>(pBytes[i]) - 128) * (1.0 / 128.0);
        }
        break;
    case 2:
        for (uint64_t i = 0; i < ullSamples; ++i, pBytes += 2)
        {
            const auto sValue = static_cast<int16_t>(static_cast<uint16_t>(pBytes[0] | (pBytes[1] << 8)));
            pdfTarget[i] = sValue * (1.0 / 32768.0);
        }
        break;
    case 3:
        for (uint64_t i = 0; i < ullSamples; ++i, pBytes += 3)
        {
            const auto iValue = static_cast<int32_t>((static_cast<uint32_t>(pBytes[0]) << 8) |
                                                     (static_cast<uint32_t>(pBytes[1]) << 16) |
                                                     (static_cast<uint32_t>(pBytes[2]) << 24));
            pdfTarget[i] = iValue * (1.0 / 2147483648.0);
        }
        break;
    default:
        for (uint64_t i = 0; i < ullSamples; ++i, pBytes += 4)
        {
            const auto iValue = static_cast<int32_t>(
                static_cast<uint32_t>(pBytes[0]) | (static_cast<uint32_t>(pBytes[1]) << 8) |
                (static_cast<uint32_t>(pBytes[2]) << 16) | (static_cast<uint32_t>(pBytes[3]) << 24));
            pdfTarget[i] = iValue * (1.0 / 2147483648.0);
        }
        break;
    }
}

int32_t WaveFileReader::SeekOpenFile(uint64_t ullFrame)
{
    const uint64_t ullFrameBytes = static_cast<uint64_t>(uiBitCount / 8) * uiChannelCount;
    // Reading to the end of the file, a position past it simply reads nothing.
    uint64_t ullTarget = ullFrame;
    if (ullDataBytes != UNTIL_END_OF_FILE && ullFrameBytes != 0 && ullTarget > ullDataBytes / ullFrameBytes)
    {
        ullTarget = ullDataBytes / ullFrameBytes;
    }
    constexpr uint64_t ullLargest = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
    if (ullDataOffset > ullLargest ||
        (ullFrameBytes != 0 && ullTarget > (ullLargest - ullDataOffset) / ullFrameBytes))
    {
        return -1;
    }
    const uint64_t ullSkipped = ullTarget * ullFrameBytes;
    const int64_t llOffset = static_cast<int64_t>(ullDataOffset + ullSkipped);
    uint64_t ullPosition = 0;
    if (FileStream.Seek(&llOffset, &ullPosition, SStream::SEEK_ORIGIN_BEGIN) < 0 ||
        ullPosition != static_cast<uint64_t>(llOffset))
    {
        return -1;
    }
    ullBytesToDeliver = ullDataBytes == UNTIL_END_OF_FILE ? ullDataBytes : ullDataBytes - ullSkipped;
    return 1;
}
