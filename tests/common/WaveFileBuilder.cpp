#include "tests/common/WaveFileBuilder.h"

#include <cmath>
#include <fstream>

const WaveFileBuilder::Guid WaveFileBuilder::SUBFORMAT_PCM = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                                              0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
const WaveFileBuilder::Guid WaveFileBuilder::SUBFORMAT_IEEE_FLOAT = {
    0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

namespace
{
constexpr uint32_t FOUR_BYTE_PLACEHOLDER = 0xFFFFFFFF;

void PutUInt16(WaveFileBuilder::Bytes& Out, uint32_t uiValue)
{
    Out.push_back(static_cast<uint8_t>(uiValue));
    Out.push_back(static_cast<uint8_t>(uiValue >> 8));
}

void PutUInt32(WaveFileBuilder::Bytes& Out, uint32_t uiValue)
{
    for (int i = 0; i < 4; ++i)
    {
        Out.push_back(static_cast<uint8_t>(uiValue >> (8 * i)));
    }
}

void PutUInt64(WaveFileBuilder::Bytes& Out, uint64_t ullValue)
{
    PutUInt32(Out, static_cast<uint32_t>(ullValue));
    PutUInt32(Out, static_cast<uint32_t>(ullValue >> 32));
}

// Exactly four bytes: shorter identifiers are padded with spaces, longer ones cut.
void PutIdentifier(WaveFileBuilder::Bytes& Out, const std::string& Identifier)
{
    for (size_t i = 0; i < 4; ++i)
    {
        Out.push_back(static_cast<uint8_t>(i < Identifier.size() ? Identifier[i] : ' '));
    }
}

void SetUInt32At(WaveFileBuilder::Bytes& Out, size_t uOffset, uint32_t uiValue)
{
    for (size_t i = 0; i < 4; ++i)
    {
        Out[uOffset + i] = static_cast<uint8_t>(uiValue >> (8 * i));
    }
}

uint32_t ContainerBytes(uint32_t uiBits)
{
    return (uiBits + 7) / 8;
}
} // namespace

WaveFileBuilder& WaveFileBuilder::Pcm(uint32_t uiChannels, uint32_t uiRate, uint32_t uiBits)
{
    usFormatTag = 1;
    uiFormatSize = 16;
    uiChannelCount = uiChannels;
    uiSamplingFrequency = uiRate;
    uiBitCount = uiBits;
    return *this;
}

WaveFileBuilder& WaveFileBuilder::FormatTag(uint16_t usTag)
{
    usFormatTag = usTag;
    return *this;
}

WaveFileBuilder& WaveFileBuilder::FormatSize(uint32_t uiSize)
{
    uiFormatSize = uiSize;
    return *this;
}

WaveFileBuilder& WaveFileBuilder::Extensible(const Guid& NewSubFormat, uint32_t uiNewValidBits,
                                             uint32_t uiNewChannelMask)
{
    usFormatTag = 0xFFFE;
    uiFormatSize = 40;
    SubFormat = NewSubFormat;
    uiValidBits = uiNewValidBits;
    uiChannelMask = uiNewChannelMask;
    return *this;
}

WaveFileBuilder& WaveFileBuilder::BlockAlign(uint16_t usValue)
{
    BlockAlignOverride = usValue;
    return *this;
}

WaveFileBuilder& WaveFileBuilder::BytesPerSecond(uint32_t uiValue)
{
    BytesPerSecondOverride = uiValue;
    return *this;
}

WaveFileBuilder& WaveFileBuilder::Rf64(bool bEnabled)
{
    bRf64 = bEnabled;
    return *this;
}

WaveFileBuilder& WaveFileBuilder::Ds64Sizes(std::optional<uint64_t> RiffSize,
                                            std::optional<uint64_t> DataSize,
                                            std::optional<uint64_t> SampleCount)
{
    Ds64RiffSize = RiffSize;
    Ds64DataSize = DataSize;
    Ds64SampleCount = SampleCount;
    return *this;
}

WaveFileBuilder& WaveFileBuilder::Ds64Table(uint32_t uiEntries, uint32_t uiExtraBytes)
{
    uiDs64Entries = uiEntries;
    uiDs64ExtraBytes = uiExtraBytes;
    return *this;
}

WaveFileBuilder& WaveFileBuilder::RiffIdentifier(const std::string& Identifier)
{
    RiffId = Identifier;
    return *this;
}

WaveFileBuilder& WaveFileBuilder::FormType(const std::string& Identifier)
{
    FormId = Identifier;
    return *this;
}

WaveFileBuilder& WaveFileBuilder::ChunkBeforeFormat(const Chunk& Extra)
{
    BeforeFormat.push_back(Extra);
    return *this;
}

WaveFileBuilder& WaveFileBuilder::ChunkBeforeFormat(const std::string& Identifier, const Bytes& Payload)
{
    return ChunkBeforeFormat(Chunk{Identifier, Payload, true, std::nullopt});
}

WaveFileBuilder& WaveFileBuilder::ChunkBeforeData(const Chunk& Extra)
{
    BeforeData.push_back(Extra);
    return *this;
}

WaveFileBuilder& WaveFileBuilder::ChunkBeforeData(const std::string& Identifier, const Bytes& Payload)
{
    return ChunkBeforeData(Chunk{Identifier, Payload, true, std::nullopt});
}

WaveFileBuilder& WaveFileBuilder::ChunkAfterData(const Chunk& Extra)
{
    AfterData.push_back(Extra);
    return *this;
}

WaveFileBuilder& WaveFileBuilder::ChunkAfterData(const std::string& Identifier, const Bytes& Payload)
{
    return ChunkAfterData(Chunk{Identifier, Payload, true, std::nullopt});
}

WaveFileBuilder& WaveFileBuilder::Samples(const std::vector<double>& Interleaved)
{
    SampleData = EncodeSamples(Interleaved, uiBitCount);
    return *this;
}

WaveFileBuilder& WaveFileBuilder::Data(const Bytes& Raw)
{
    SampleData = Raw;
    return *this;
}

WaveFileBuilder& WaveFileBuilder::DataSizeField(uint32_t uiValue)
{
    DataSizeOverride = uiValue;
    return *this;
}

WaveFileBuilder& WaveFileBuilder::RiffSizeField(uint32_t uiValue)
{
    RiffSizeOverride = uiValue;
    return *this;
}

WaveFileBuilder& WaveFileBuilder::DataPadByte(bool bEnabled)
{
    bDataPadByte = bEnabled;
    return *this;
}

void WaveFileBuilder::PutChunk(Bytes& Out, const Chunk& Item)
{
    PutIdentifier(Out, Item.Identifier);
    PutUInt32(Out, Item.DeclaredSize.value_or(static_cast<uint32_t>(Item.Payload.size())));
    Out.insert(Out.end(), Item.Payload.begin(), Item.Payload.end());
    if (Item.bPadByte && Item.Payload.size() % 2 != 0)
    {
        Out.push_back(0);
    }
}

WaveFileBuilder::Bytes WaveFileBuilder::FormatPayload() const
{
    const uint32_t uiAlign = BlockAlignOverride.value_or(uiChannelCount * ContainerBytes(uiBitCount));
    Bytes Payload;
    PutUInt16(Payload, usFormatTag);
    PutUInt16(Payload, uiChannelCount);
    PutUInt32(Payload, uiSamplingFrequency);
    PutUInt32(Payload, BytesPerSecondOverride.value_or(uiAlign * uiSamplingFrequency));
    PutUInt16(Payload, uiAlign);
    PutUInt16(Payload, uiBitCount);
    if (uiFormatSize >= 18)
    {
        PutUInt16(Payload, usFormatTag == 0xFFFE ? 22 : uiFormatSize - 18);
    }
    if (usFormatTag == 0xFFFE && uiFormatSize >= 40)
    {
        PutUInt16(Payload, uiValidBits != 0 ? uiValidBits : uiBitCount);
        PutUInt32(Payload, uiChannelMask);
        Payload.insert(Payload.end(), SubFormat.begin(), SubFormat.end());
    }
    Payload.resize(uiFormatSize, 0);
    return Payload;
}

WaveFileBuilder::Bytes WaveFileBuilder::Build() const
{
    Bytes Out;
    PutIdentifier(Out, RiffId.value_or(bRf64 ? "RF64" : "RIFF"));
    PutUInt32(Out, 0); // patched below
    PutIdentifier(Out, FormId);

    size_t uDs64Offset = 0;
    if (bRf64)
    {
        PutIdentifier(Out, "ds64");
        PutUInt32(Out, 28 + 12 * uiDs64Entries + uiDs64ExtraBytes);
        uDs64Offset = Out.size();
        PutUInt64(Out, 0); // RIFF size, patched below
        PutUInt64(Out, 0); // data size, patched below
        PutUInt64(Out, 0); // sample count, patched below
        PutUInt32(Out, uiDs64Entries);
        Out.resize(Out.size() + 12 * uiDs64Entries + uiDs64ExtraBytes, 0);
        if (uiDs64ExtraBytes % 2 != 0)
        {
            Out.push_back(0);
        }
    }
    for (const Chunk& Item : BeforeFormat)
    {
        PutChunk(Out, Item);
    }
    PutChunk(Out, Chunk{"fmt ", FormatPayload(), true, std::nullopt});
    for (const Chunk& Item : BeforeData)
    {
        PutChunk(Out, Item);
    }
    const uint32_t uiTrueDataSize = static_cast<uint32_t>(SampleData.size());
    const uint32_t uiDefaultDataSize = bRf64 ? FOUR_BYTE_PLACEHOLDER : uiTrueDataSize;
    PutChunk(Out, Chunk{"data", SampleData, bDataPadByte, DataSizeOverride.value_or(uiDefaultDataSize)});
    for (const Chunk& Item : AfterData)
    {
        PutChunk(Out, Item);
    }

    const uint64_t ullTrueRiffSize = Out.size() - 8;
    SetUInt32At(
        Out, 4,
        RiffSizeOverride.value_or(bRf64 ? FOUR_BYTE_PLACEHOLDER : static_cast<uint32_t>(ullTrueRiffSize)));
    if (bRf64)
    {
        const uint32_t uiFrameBytes = uiChannelCount * ContainerBytes(uiBitCount);
        const uint64_t ullFrames = uiFrameBytes != 0 ? SampleData.size() / uiFrameBytes : 0;
        const uint64_t Values[3] = {Ds64RiffSize.value_or(ullTrueRiffSize),
                                    Ds64DataSize.value_or(SampleData.size()),
                                    Ds64SampleCount.value_or(ullFrames)};
        for (size_t i = 0; i < 3; ++i)
        {
            SetUInt32At(Out, uDs64Offset + 8 * i, static_cast<uint32_t>(Values[i]));
            SetUInt32At(Out, uDs64Offset + 8 * i + 4, static_cast<uint32_t>(Values[i] >> 32));
        }
    }
    return Out;
}

bool WaveFileBuilder::WriteFile(const std::filesystem::path& Path) const
{
    const Bytes Image = Build();
    std::ofstream File(Path, std::ios::binary | std::ios::trunc);
    File.write(reinterpret_cast<const char*>(Image.data()), static_cast<std::streamsize>(Image.size()));
    return static_cast<bool>(File);
}

WaveFileBuilder::Bytes WaveFileBuilder::EncodeSamples(const std::vector<double>& Interleaved, uint32_t uiBits)
{
    Bytes Out;
    if (uiBits == 0 || uiBits > 32)
    {
        return Out;
    }
    const uint32_t uiBytes = ContainerBytes(uiBits);
    const double dfScale = std::ldexp(1.0, static_cast<int>(uiBits) - 1);
    Out.reserve(Interleaved.size() * uiBytes);
    for (double dfValue : Interleaved)
    {
        double dfCode = std::isnan(dfValue) ? 0.0 : std::nearbyint(dfValue * dfScale);
        dfCode = dfCode < -dfScale ? -dfScale : (dfCode > dfScale - 1.0 ? dfScale - 1.0 : dfCode);
        int64_t llCode = static_cast<int64_t>(dfCode);
        if (uiBits <= 8)
        {
            llCode += static_cast<int64_t>(dfScale); // offset binary
        }
        // Left-justified in the container, little-endian.
        const uint64_t ullStored = static_cast<uint64_t>(llCode) << (uiBytes * 8 - uiBits);
        for (uint32_t i = 0; i < uiBytes; ++i)
        {
            Out.push_back(static_cast<uint8_t>(ullStored >> (8 * i)));
        }
    }
    return Out;
}

WaveFileBuilder::Bytes WaveFileBuilder::PcmWave(const std::vector<double>& Interleaved, uint32_t uiChannels,
                                                uint32_t uiRate, uint32_t uiBits)
{
    return WaveFileBuilder().Pcm(uiChannels, uiRate, uiBits).Samples(Interleaved).Build();
}

WaveFileBuilder::Bytes WaveFileBuilder::FactPayload(uint32_t uiSampleCount)
{
    Bytes Payload;
    PutUInt32(Payload, uiSampleCount);
    return Payload;
}

WaveFileBuilder::Bytes WaveFileBuilder::ListInfoPayload(const std::string& Tag, const std::string& Text)
{
    Bytes Payload;
    PutIdentifier(Payload, "INFO");
    Chunk Entry{Tag, Bytes(Text.begin(), Text.end()), true, std::nullopt};
    Entry.Payload.push_back(0); // INFO texts are zero-terminated
    PutChunk(Payload, Entry);
    return Payload;
}
