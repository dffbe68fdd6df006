#include "wave/win32/MediaFoundationFileReader.h"

#include "runtime/ResultCodes.h"
#include "wave/win32/FileSignature.h"

#include <mfapi.h>
#include <mferror.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <new>

namespace
{
constexpr DWORD AUDIO_STREAM = static_cast<DWORD>(MF_SOURCE_READER_FIRST_AUDIO_STREAM);
constexpr int64_t TICKS_PER_SECOND = 10'000'000; // Media Foundation's times are in 100 ns
// Frames a seek may ask for: their time in ticks stays far from overflowing.
constexpr uint64_t LAST_REACHABLE_FRAME = uint64_t{1} << 39;
// Reads that bring neither sound nor the end before the reader gives up on a stalled decoder.
constexpr int EMPTY_READ_LIMIT = 1000;

// The audio subtype of a wave format tag (the headers name some only for newer Windows versions).
constexpr GUID SubtypeOfTag(uint32_t uiTag)
{
    return GUID{uiTag, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
}
constexpr GUID FLAC_SUBTYPE = SubtypeOfTag(0xF1AC);
constexpr GUID ALAC_SUBTYPE = SubtypeOfTag(0x6C61);
constexpr GUID OPUS_SUBTYPE = SubtypeOfTag(0x704F);

struct Coding
{
    const GUID* pSubtype;
    const char16_t* pName;
    int32_t bLossy;
};

const Coding CODINGS[] = {
    {&MFAudioFormat_MP3, u"MP3", 1},
    {&MFAudioFormat_MPEG, u"MPEG audio", 1},
    {&MFAudioFormat_AAC, u"AAC", 1},
    {&MFAudioFormat_ADTS, u"AAC", 1},
    {&FLAC_SUBTYPE, u"FLAC", 0},
    {&ALAC_SUBTYPE, u"ALAC", 0},
    {&MFAudioFormat_WMAudioV8, u"WMA", 1},
    {&MFAudioFormat_WMAudioV9, u"WMA Pro", 1},
    {&MFAudioFormat_WMAudio_Lossless, u"WMA Lossless", 0},
    {&OPUS_SUBTYPE, u"Opus", 1},
    {&MFAudioFormat_Vorbis, u"Vorbis", 1},
    {&MFAudioFormat_Dolby_AC3, u"AC-3", 1},
    {&MFAudioFormat_AMR_NB, u"AMR", 1},
    {&MFAudioFormat_AMR_WB, u"AMR-WB", 1},
    {&MFAudioFormat_PCM, u"PCM", 0},
    {&MFAudioFormat_Float, u"PCM", 0},
};

// Lossy when unknown: no bit count is claimed for a coding we cannot name.
const Coding UNKNOWN_CODING = {&GUID_NULL, u"Audio", 1};

const Coding& FindCoding(const GUID& Subtype)
{
    for (const Coding& Entry : CODINGS)
    {
        if (IsEqualGUID(*Entry.pSubtype, Subtype))
        {
            return Entry;
        }
    }
    return UNKNOWN_CODING;
}

void CopyName(char16_t* pTarget, size_t uCapacity, const char16_t* pName)
{
    size_t i = 0;
    for (; i + 1 < uCapacity && pName[i] != u'\0'; ++i)
    {
        pTarget[i] = pName[i];
    }
    pTarget[i] = u'\0';
}

uint32_t GetUInt32(IMFMediaType* pType, const GUID& Key, uint32_t uiDefault)
{
    UINT32 uiValue = 0;
    return SUCCEEDED(pType->GetUINT32(Key, &uiValue)) ? uiValue : uiDefault;
}

// The first tick inside the frame: a source that cuts its first block at the time asked for then
// cuts it at this frame, and the block's time still rounds to it.
int64_t TicksOf(uint64_t ullFrame, uint32_t uiRate)
{
    const uint64_t ullSeconds = ullFrame / uiRate;
    const uint64_t ullRest = ullFrame % uiRate;
    return static_cast<int64_t>(ullSeconds * TICKS_PER_SECOND +
                                (ullRest * TICKS_PER_SECOND + uiRate - 1) / uiRate);
}
} // namespace

MediaFoundationFileReader::MediaFoundationFileReader()
    : pLoader([](MediaFoundationLibrary& Library) { return Library.StartSystem(); })
{
}

MediaFoundationFileReader::MediaFoundationFileReader(LibraryLoader pLoaderToUse) : pLoader(pLoaderToUse) {}

MediaFoundationFileReader::~MediaFoundationFileReader()
{
    Close();
}

int32_t MediaFoundationFileReader::Open(const char16_t* pPath)
{
    Close();
    pErrorText = u"";
    if (pPath == nullptr)
    {
        return RESULT_INVALID_ARGUMENT;
    }
    if (StartLibrary() < 0)
    {
        pErrorText = u"only WAV files can be played here: this Windows has no Media Foundation (Windows N "
                     u"editions need the Media Feature Pack to decode other files)";
        return RESULT_DECODER_UNAVAILABLE;
    }
    Path = pPath;
    int32_t iResult = CreateSourceReader(1);
    if (iResult >= 0)
    {
        ReadLength();
        iResult = LearnTimes();
    }
    if (iResult < 0)
    {
        Close();
        pErrorText = u"not a sound file that Windows can decode (or it is damaged)";
        return RESULT_FAILED;
    }
    bOpened = 1;
    return RESULT_SUCCESS;
}

int32_t MediaFoundationFileReader::CreateSourceReader(int32_t bNameCoding)
{
    ReleaseBlock();
    pSourceReader.Reset();
    bEnded = 0;
    bPlaceFromTime = 0;
    ullBlockFrame = 0;
    if (FAILED(pLibrary->pCreateSourceReader(reinterpret_cast<const wchar_t*>(Path.c_str()), nullptr,
                                             pSourceReader.Receive())) ||
        ChooseOutput(bNameCoding) < 0)
    {
        pSourceReader.Reset();
        return RESULT_FAILED;
    }
    return RESULT_SUCCESS;
}

int32_t MediaFoundationFileReader::LearnTimes()
{
    // A file that decodes to nothing at all is refused here; the first block's time is frame 0.
    if (FetchBlock() < 0)
    {
        return RESULT_FAILED;
    }
    llFirstTime = llBlockTime;
    llFrameOffset = 0;
    bCoarseTimes = 0;
    uint64_t ullGrid = ullBlockFrames;
    uint64_t ullLargestMiss = 0;
    // The next blocks say how their times relate to the frames counted before them: by a constant
    // offset (a first block of its own length), or not exactly at all (times in milliseconds).
    for (int iBlock = 0; iBlock < 4 && FetchBlock() > 0; ++iBlock)
    {
        const int64_t llOffset =
            static_cast<int64_t>(ullBlockFrame) - static_cast<int64_t>(FrameAt(llBlockTime));
        bCoarseTimes = (iBlock > 0 && llOffset != llFrameOffset) ? 1 : bCoarseTimes;
        llFrameOffset = llOffset;
        const uint64_t ullMiss = static_cast<uint64_t>(llOffset < 0 ? -llOffset : llOffset);
        ullLargestMiss = std::max(ullLargestMiss, ullMiss);
        ullGrid = ullBlockFrames == ullGrid ? ullGrid : 0;
    }
    // Rounded times of blocks that all have one length and lie on its multiples still name their
    // block exactly: the nearest multiple.
    ullGridFrames = (bCoarseTimes != 0 && ullLargestMiss < ullGrid / 4) ? ullGrid : 0;
    llFrameOffset = bCoarseTimes != 0 ? 0 : llFrameOffset;
    return Restart();
}

int32_t MediaFoundationFileReader::Restart()
{
    const AudioFileFormat Before = Format;
    const uint32_t uiFrameBefore = uiFrameBytes;
    if (CreateSourceReader(0) < 0 || Format.uiSamplingFrequency != Before.uiSamplingFrequency ||
        Format.uiChannelCount != Before.uiChannelCount || uiFrameBytes != uiFrameBefore)
    {
        bEnded = 1;
        return RESULT_FAILED;
    }
    return FetchBlock() < 0 ? RESULT_FAILED : RESULT_SUCCESS;
}

int32_t MediaFoundationFileReader::StartLibrary()
{
    if (pLibrary != nullptr && pLibrary->IsStarted() != 0)
    {
        return RESULT_SUCCESS;
    }
    pLibrary.reset(new (std::nothrow) MediaFoundationLibrary());
    if (pLibrary == nullptr || pLoader == nullptr || pLoader(*pLibrary) < 0 || pLibrary->IsStarted() == 0)
    {
        pLibrary.reset();
        return RESULT_FAILED;
    }
    return RESULT_SUCCESS;
}

int32_t MediaFoundationFileReader::ChooseOutput(int32_t bNameCoding)
{
    pSourceReader->SetStreamSelection(static_cast<DWORD>(MF_SOURCE_READER_ALL_STREAMS), FALSE);
    ComPointer<IMFMediaType> pNative;
    GUID Subtype = GUID_NULL;
    if (FAILED(pSourceReader->SetStreamSelection(AUDIO_STREAM, TRUE)) ||
        FAILED(pSourceReader->GetNativeMediaType(AUDIO_STREAM, 0, pNative.Receive())) ||
        FAILED(pNative->GetGUID(MF_MT_SUBTYPE, &Subtype)))
    {
        return RESULT_FAILED;
    }
    if (bNameCoding != 0)
    {
        NameCoding(pNative.Get(), Subtype);
    }

    // Float keeps every bit of a 24-bit file; integer output is the fallback for decoders without it.
    for (const GUID* pOutput : {&MFAudioFormat_Float, &MFAudioFormat_PCM})
    {
        ComPointer<IMFMediaType> pWanted;
        if (SUCCEEDED(pLibrary->pCreateMediaType(pWanted.Receive())) &&
            SUCCEEDED(pWanted->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio)) &&
            SUCCEEDED(pWanted->SetGUID(MF_MT_SUBTYPE, *pOutput)) &&
            SUCCEEDED(pSourceReader->SetCurrentMediaType(AUDIO_STREAM, nullptr, pWanted.Get())) &&
            ReadOutputFormat() >= 0)
        {
            return RESULT_SUCCESS;
        }
    }
    return RESULT_FAILED;
}

void MediaFoundationFileReader::NameCoding(IMFMediaType* pNative, const GUID& Subtype)
{
    const Coding& FileCoding = FindCoding(Subtype);
    CopyName(Format.szCodingName, std::size(Format.szCodingName), FileCoding.pName);
    bLossy = FileCoding.bLossy;
    Format.uiBitCount = bLossy != 0 ? 0 : GetUInt32(pNative, MF_MT_AUDIO_BITS_PER_SAMPLE, 0);
    Format.bFloatSamples = IsEqualGUID(Subtype, MFAudioFormat_Float) ? 1 : 0;
    if (IsEqualGUID(Subtype, MFAudioFormat_PCM) || IsEqualGUID(Subtype, MFAudioFormat_Float))
    {
        // A source that describes only its decoded samples: the file's own bytes name the coding,
        // and what they do not name claims no bits.
        FileSignature Signature;
        Signature.Read(Path.c_str());
        CopyName(Format.szCodingName, std::size(Format.szCodingName), Signature.pCodingName);
        bLossy = Signature.bLossy;
        Format.uiBitCount = Signature.uiBitCount;
        Format.bFloatSamples = 0;
    }
}

int32_t MediaFoundationFileReader::ReadOutputFormat()
{
    ComPointer<IMFMediaType> pType;
    GUID Subtype = GUID_NULL;
    if (FAILED(pSourceReader->GetCurrentMediaType(AUDIO_STREAM, pType.Receive())) ||
        FAILED(pType->GetGUID(MF_MT_SUBTYPE, &Subtype)))
    {
        return RESULT_FAILED;
    }
    const uint32_t uiChannels = GetUInt32(pType.Get(), MF_MT_AUDIO_NUM_CHANNELS, 0);
    const uint32_t uiRate = GetUInt32(pType.Get(), MF_MT_AUDIO_SAMPLES_PER_SECOND, 0);
    const uint32_t uiBits = GetUInt32(pType.Get(), MF_MT_AUDIO_BITS_PER_SAMPLE, 0);
    const int32_t bFloat = IsEqualGUID(Subtype, MFAudioFormat_Float) ? 1 : 0;
    const bool bKnownSamples = bFloat != 0 ? (uiBits == 32 || uiBits == 64)
                                           : (IsEqualGUID(Subtype, MFAudioFormat_PCM) &&
                                              (uiBits == 8 || uiBits == 16 || uiBits == 24 || uiBits == 32));
    const uint32_t uiFrame = uiChannels * (uiBits / 8);
    if (!bKnownSamples || uiChannels == 0 || uiChannels > 64 || uiRate == 0 ||
        GetUInt32(pType.Get(), MF_MT_AUDIO_BLOCK_ALIGNMENT, uiFrame) != uiFrame)
    {
        return RESULT_FAILED;
    }
    Format.uiSamplingFrequency = uiRate;
    Format.uiChannelCount = uiChannels;
    Format.uiChannelMask = GetUInt32(pType.Get(), MF_MT_AUDIO_CHANNEL_MASK, 0);
    bFloatOutput = bFloat;
    uiSampleBytes = uiBits / 8;
    uiFrameBytes = uiFrame;
    return RESULT_SUCCESS;
}

void MediaFoundationFileReader::ReadLength()
{
    PROPVARIANT Duration;
    PropVariantInit(&Duration);
    const bool bStated = SUCCEEDED(pSourceReader->GetPresentationAttribute(
                             static_cast<DWORD>(MF_SOURCE_READER_MEDIASOURCE), MF_PD_DURATION, &Duration)) &&
                         Duration.vt == VT_UI8;
    const uint64_t ullTicks = bStated ? Duration.uhVal.QuadPart : 0;
    PropVariantClear(&Duration);
    const uint64_t ullRate = Format.uiSamplingFrequency;
    Format.ullFrameCount =
        (ullTicks / TICKS_PER_SECOND) * ullRate +
        ((ullTicks % TICKS_PER_SECOND) * ullRate + TICKS_PER_SECOND / 2) / TICKS_PER_SECOND;
    // A lossless container counts its frames; a lossy file's length moves with the decoder's
    // trimming of the encoder delay and padding, and some (MP3 without a frame count) only estimate it.
    Format.bFrameCountEstimated = (!bStated || bLossy != 0) ? 1 : 0;
}

int32_t MediaFoundationFileReader::ReadOpenFile(double* pdfOut, uint64_t ullWanted, uint64_t& ullDelivered)
{
    while (ullDelivered < ullWanted)
    {
        if (ullBlockFramesUsed >= ullBlockFrames && FetchBlock() <= 0)
        {
            break;
        }
        const uint64_t ullCount = std::min(ullWanted - ullDelivered, ullBlockFrames - ullBlockFramesUsed);
        Convert(Block.GetBytes() + ullBlockFramesUsed * uiFrameBytes, ullCount,
                pdfOut + ullDelivered * Format.uiChannelCount);
        ullBlockFramesUsed += ullCount;
        ullDelivered += ullCount;
    }
    return RESULT_SUCCESS;
}

int32_t MediaFoundationFileReader::FetchBlock()
{
    const uint64_t ullNextFrame = ullBlockFrame + ullBlockFrames;
    ReleaseBlock();
    if (bEnded != 0)
    {
        return 0;
    }
    for (int iRead = 0; iRead < EMPTY_READ_LIMIT; ++iRead)
    {
        DWORD dwStream = 0;
        DWORD dwFlags = 0;
        LONGLONG llTime = 0;
        ComPointer<IMFSample> pSample;
        const HRESULT hResult =
            pSourceReader->ReadSample(AUDIO_STREAM, 0, &dwStream, &dwFlags, &llTime, pSample.Receive());
        // A damaged file plays up to the damage and ends there, as a cut-short WAV file does.
        if (FAILED(hResult) || (dwFlags & MF_SOURCE_READERF_ERROR) != 0 ||
            ((dwFlags & MF_SOURCE_READERF_CURRENTMEDIATYPECHANGED) != 0 && !SameOutputFormat()))
        {
            bEnded = 1;
            return RESULT_FAILED;
        }
        if (pSample && Block.Lock(pSample.Get()) < 0)
        {
            bEnded = 1;
            return RESULT_FAILED;
        }
        const uint64_t ullFrames = Block.GetByteCount() / uiFrameBytes;
        if (ullFrames > 0)
        {
            ullBlockFrames = ullFrames;
            ullBlockFramesUsed = 0;
            llBlockTime = llTime;
            ullBlockFrame = bPlaceFromTime != 0 ? FrameAt(llTime) : ullNextFrame;
            bPlaceFromTime = 0;
            return 1;
        }
        Block.Release();
        if ((dwFlags & MF_SOURCE_READERF_ENDOFSTREAM) != 0)
        {
            bEnded = 1;
            return 0;
        }
    }
    bEnded = 1;
    return 0;
}

bool MediaFoundationFileReader::SameOutputFormat()
{
    const AudioFileFormat Before = Format;
    const uint32_t uiFrameBefore = uiFrameBytes;
    const int32_t bFloatBefore = bFloatOutput;
    return ReadOutputFormat() >= 0 && Format.uiSamplingFrequency == Before.uiSamplingFrequency &&
           Format.uiChannelCount == Before.uiChannelCount && uiFrameBytes == uiFrameBefore &&
           bFloatOutput == bFloatBefore;
}

uint64_t MediaFoundationFileReader::FrameAt(int64_t llTime) const
{
    const uint64_t ullRate = Format.uiSamplingFrequency;
    const uint64_t ullTicks = llTime > llFirstTime ? static_cast<uint64_t>(llTime - llFirstTime) : 0;
    const int64_t llFrame =
        static_cast<int64_t>((ullTicks / TICKS_PER_SECOND) * ullRate +
                             ((ullTicks % TICKS_PER_SECOND) * ullRate + TICKS_PER_SECOND / 2) /
                                 TICKS_PER_SECOND) +
        llFrameOffset;
    return llFrame > 0 ? static_cast<uint64_t>(llFrame) : 0;
}

int32_t MediaFoundationFileReader::SeekOpenFile(uint64_t ullFrame)
{
    ullFrame = std::min(ullFrame, LAST_REACHABLE_FRAME);
    if (Format.bFrameCountEstimated == 0)
    {
        ullFrame = std::min(ullFrame, Format.ullFrameCount);
    }
    // A short step forward is decoded through rather than sought.
    const uint64_t ullHere = ullBlockFrame + ullBlockFramesUsed;
    if (ullFrame >= ullHere && ullFrame - ullHere <= Format.uiSamplingFrequency)
    {
        return DropUntil(ullFrame);
    }
    // From the first frame the decoder starts afresh, as the straight read did; a file whose times do
    // not give the frame exactly is decoded from there up to it.
    if (ullFrame == 0 || (bCoarseTimes != 0 && ullGridFrames == 0))
    {
        return Restart() < 0 ? RESULT_FAILED : DropUntil(ullFrame);
    }
    // A lossy decoder needs the blocks before the frame to decode it as a straight read does; each
    // lossless block stands alone.
    uint64_t ullLeadIn = bLossy != 0 ? Format.uiSamplingFrequency / 4 : 0;
    for (int iTry = 0; iTry < 3 && ullFrame > ullLeadIn; ++iTry)
    {
        if (SetPosition(ullFrame - ullLeadIn) < 0)
        {
            return RESULT_FAILED;
        }
        if (bEnded != 0 || ullBlockFrame <= ullFrame)
        {
            return DropUntil(ullFrame);
        }
        // The source landed after the frame: start further back.
        ullLeadIn = (ullLeadIn + Format.uiSamplingFrequency) * 4;
    }
    return Restart() < 0 ? RESULT_FAILED : DropUntil(ullFrame);
}

int32_t MediaFoundationFileReader::SetPosition(uint64_t ullFrame)
{
    ReleaseBlock();
    ullBlockFrame = 0;
    bEnded = 0;
    PROPVARIANT Position;
    PropVariantInit(&Position);
    Position.vt = VT_I8;
    const int64_t llTimeFrame = static_cast<int64_t>(ullFrame) - llFrameOffset;
    Position.hVal.QuadPart = llFirstTime + TicksOf(llTimeFrame > 0 ? static_cast<uint64_t>(llTimeFrame) : 0,
                                                   Format.uiSamplingFrequency);
    const HRESULT hResult = pSourceReader->SetCurrentPosition(GUID_NULL, Position);
    PropVariantClear(&Position);
    if (FAILED(hResult))
    {
        bEnded = 1;
        return RESULT_FAILED;
    }
    bPlaceFromTime = 1;
    FetchBlock();
    if (ullGridFrames != 0)
    {
        // A block cut at the time asked for is passed over; a whole one is put on the grid.
        for (int iBlock = 0; iBlock < EMPTY_READ_LIMIT && bEnded == 0 && ullBlockFrames != ullGridFrames;
             ++iBlock)
        {
            bPlaceFromTime = 1;
            FetchBlock();
        }
        ullBlockFrame = (ullBlockFrame + ullGridFrames / 2) / ullGridFrames * ullGridFrames;
    }
    return RESULT_SUCCESS;
}

int32_t MediaFoundationFileReader::DropUntil(uint64_t ullFrame)
{
    while (bEnded == 0 || ullBlockFramesUsed < ullBlockFrames)
    {
        if (ullFrame < ullBlockFrame + ullBlockFrames)
        {
            ullBlockFramesUsed = ullFrame > ullBlockFrame ? ullFrame - ullBlockFrame : 0;
            return RESULT_SUCCESS;
        }
        ullBlockFramesUsed = ullBlockFrames;
        if (FetchBlock() <= 0)
        {
            break;
        }
    }
    return RESULT_SUCCESS;
}

void MediaFoundationFileReader::Convert(const uint8_t* pbBytes, uint64_t ullFrames, double* pdfOut) const
{
    const uint64_t ullSamples = ullFrames * Format.uiChannelCount;
    for (uint64_t i = 0; i < ullSamples; ++i, pbBytes += uiSampleBytes)
    {
        double dfValue = 0.0;
        if (bFloatOutput != 0 && uiSampleBytes == 4)
        {
            float fValue = 0.0f;
            std::memcpy(&fValue, pbBytes, sizeof fValue);
            dfValue = fValue;
        }
        else if (bFloatOutput != 0)
        {
            std::memcpy(&dfValue, pbBytes, sizeof dfValue);
        }
        else if (uiSampleBytes == 1)
        {
            dfValue = (static_cast<int32_t>(pbBytes[0]) - 128) / 128.0;
        }
        else
        {
            // The bytes at the top of a 32-bit word, so every width scales by 2^-31.
            uint32_t uiWord = 0;
            for (uint32_t uiByte = 0; uiByte < uiSampleBytes; ++uiByte)
            {
                uiWord |= static_cast<uint32_t>(pbBytes[uiByte]) << (8 * (4 - uiSampleBytes + uiByte));
            }
            dfValue = static_cast<int32_t>(uiWord) / 2147483648.0;
        }
        pdfOut[i] = std::isfinite(dfValue) ? dfValue : 0.0;
    }
}

void MediaFoundationFileReader::ReleaseBlock()
{
    Block.Release();
    ullBlockFrames = 0;
    ullBlockFramesUsed = 0;
}

int32_t MediaFoundationFileReader::Close()
{
    const int32_t bWasOpen = bOpened;
    ReleaseBlock();
    pSourceReader.Reset();
    Format = AudioFileFormat{};
    uiSampleBytes = 0;
    uiFrameBytes = 0;
    bFloatOutput = 0;
    bLossy = 0;
    llFirstTime = 0;
    llBlockTime = 0;
    llFrameOffset = 0;
    bCoarseTimes = 0;
    ullGridFrames = 0;
    ullBlockFrame = 0;
    bPlaceFromTime = 0;
    bEnded = 0;
    bOpened = 0;
    return bWasOpen != 0 ? RESULT_SUCCESS : RESULT_NOTHING_DONE;
}
