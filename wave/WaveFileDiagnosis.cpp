#include "wave/WaveFileDiagnosis.h"

#include "runtime/TextConversion.h"
#include "wave/WaveFileLayout.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

namespace
{
using Layout = WaveFileLayout;
// Where the sub-format's tag lies in an extensible fmt chunk's body.
constexpr size_t SUBFORMAT_OFFSET = 24;

// At most four bytes: every field the diagnosis reads fits 32 bits.
uint32_t Little(const uint8_t* pBytes, uint32_t uiCount)
{
    return static_cast<uint32_t>(Layout::Little(pBytes, uiCount));
}

// Reads exactly ullCount bytes; false at the end of the file.
bool ReadExactly(std::ifstream& File, uint8_t* pBytes, uint64_t ullCount)
{
    File.read(reinterpret_cast<char*>(pBytes), static_cast<std::streamsize>(ullCount));
    return static_cast<uint64_t>(File.gcount()) == ullCount;
}

// Skips a chunk body and its pad byte; false when the file ends before it does.
bool Skip(std::ifstream& File, uint64_t ullSize, uint64_t ullFileSize)
{
    const uint64_t ullAt = static_cast<uint64_t>(File.tellg());
    const uint64_t ullEnd = ullAt + Layout::WithPadByte(ullSize);
    if (ullEnd > ullFileSize)
    {
        return false;
    }
    File.seekg(static_cast<std::streamoff>(ullEnd));
    return true;
}
} // namespace

void WaveFileDiagnosis::Examine(const char16_t* pPath)
{
    Found = Problem::None;
    uiFormatTag = 0;
    uiBitCount = 0;
    uiChannelCount = 0;
    if (pPath == nullptr)
    {
        Found = Problem::Missing;
        return;
    }
    const std::filesystem::path Path{std::u16string(pPath)};
    std::error_code Error;
    const std::filesystem::file_status Status = std::filesystem::status(Path, Error);
    if (!std::filesystem::exists(Status))
    {
        Found = Problem::Missing;
        return;
    }
    if (std::filesystem::is_directory(Status))
    {
        Found = Problem::Folder;
        return;
    }
    if (!std::filesystem::is_regular_file(Status))
    {
        Found = Problem::NotRegular;
        return;
    }
    const uint64_t ullFileSize = std::filesystem::file_size(Path, Error);
    std::ifstream File(Path, std::ios::binary);
    if (Error || !File.is_open())
    {
        Found = Problem::Unreadable;
        return;
    }
    if (ullFileSize == 0)
    {
        Found = Problem::Empty;
        return;
    }

    uint8_t Header[12] = {};
    if (!ReadExactly(File, Header, sizeof(Header)))
    {
        // A beginning of a WAV header that stops early is a cut file, anything else no WAV file.
        const size_t ullGot = static_cast<size_t>(ullFileSize);
        const bool bRiffStart = std::memcmp(Header, "RIFF", std::min<size_t>(ullGot, 4)) == 0 ||
                                std::memcmp(Header, "RF64", std::min<size_t>(ullGot, 4)) == 0;
        const bool bWaveStart = ullGot <= 8 || std::memcmp(Header + 8, "WAVE", ullGot - 8) == 0;
        Found = bRiffStart && bWaveStart ? Problem::Truncated : Problem::NotWave;
        return;
    }
    const bool bRf64 = Layout::IsIdentifier(Header, "RF64");
    if ((!Layout::IsIdentifier(Header, "RIFF") && !bRf64) || !Layout::IsIdentifier(Header + 8, "WAVE"))
    {
        Found = Problem::NotWave;
        return;
    }
    bool bFormatSeen = false;
    bool bFirstChunk = true;
    for (;;)
    {
        uint8_t Chunk[8];
        if (!ReadExactly(File, Chunk, sizeof(Chunk)))
        {
            Found = Problem::Truncated;
            return;
        }
        const uint32_t uiSize = Little(Chunk + 4, 4);
        if (bRf64 && bFirstChunk && !Layout::IsIdentifier(Chunk, "ds64"))
        {
            Found = Problem::Damaged;
            return;
        }
        bFirstChunk = false;
        if (Layout::IsIdentifier(Chunk, "data"))
        {
            // Sound data before its format is refused; after it, the header looks readable.
            Found = bFormatSeen ? Problem::None : Problem::Damaged;
            return;
        }
        if (!Layout::IsIdentifier(Chunk, "fmt "))
        {
            if (!Skip(File, uiSize, ullFileSize))
            {
                Found = Problem::Truncated;
                return;
            }
            continue;
        }
        if (bFormatSeen)
        {
            Found = Problem::Damaged;
            return;
        }
        bFormatSeen = true;
        uint8_t Format[Layout::EXTENSIBLE_FORMAT_SIZE] = {};
        const uint32_t uiRead =
            uiSize < Layout::EXTENSIBLE_FORMAT_SIZE ? uiSize : Layout::EXTENSIBLE_FORMAT_SIZE;
        if (uiSize < Layout::PLAIN_FORMAT_SIZE)
        {
            Found = Problem::Damaged;
            return;
        }
        if (!ReadExactly(File, Format, uiRead) || !Skip(File, uiSize - uiRead, ullFileSize))
        {
            Found = Problem::Truncated;
            return;
        }
        uiFormatTag = Little(Format, 2);
        uiChannelCount = Little(Format + 2, 2);
        uiBitCount = Little(Format + 14, 2);
        const uint32_t uiRate = Little(Format + 4, 4);
        uint32_t uiEncoding = uiFormatTag;
        if (uiFormatTag == Layout::FORMAT_TAG_EXTENSIBLE && uiSize >= Layout::EXTENSIBLE_FORMAT_SIZE)
        {
            uiEncoding = Little(Format + SUBFORMAT_OFFSET, 2);
        }
        const bool bFloat = uiEncoding == Layout::FORMAT_TAG_FLOAT;
        if (bFloat && uiBitCount != 32 && uiBitCount != 64)
        {
            Found = Problem::FloatSamples;
            return;
        }
        if (!bFloat && uiEncoding != Layout::FORMAT_TAG_PCM)
        {
            Found = Problem::OtherEncoding;
            return;
        }
        if (uiChannelCount == 0 || uiRate == 0)
        {
            Found = Problem::Damaged;
            return;
        }
        if (!bFloat && uiBitCount != 8 && uiBitCount != 16 && uiBitCount != 24 && uiBitCount != 32)
        {
            Found = Problem::SampleWidth;
            return;
        }
        if (static_cast<uint64_t>(uiBitCount / 8) * uiChannelCount > BLOCK_BYTES)
        {
            Found = Problem::FrameTooLarge;
            return;
        }
    }
}

std::u16string WaveFileDiagnosis::Reason() const
{
    const std::string Bits = std::to_string(uiBitCount);
    switch (Found)
    {
    case Problem::None:
        return u"";
    case Problem::Missing:
        return u"no such file";
    case Problem::Folder:
        return u"a folder, not a sound file";
    case Problem::NotRegular:
        return u"not a regular file (a device, pipe or socket)";
    case Problem::Unreadable:
        return u"cannot be opened for reading (no permission?)";
    case Problem::Empty:
        return u"empty (0 bytes)";
    case Problem::NotWave:
        return u"not a WAV file (it does not begin with a RIFF or RF64 WAVE header)";
    case Problem::Truncated:
        return u"cut short: its WAV header ends before the sound data";
    case Problem::FloatSamples:
        return Utf8ToWide(Bits +
                          "-bit float samples are not supported; 32- or 64-bit float or integer PCM only");
    case Problem::OtherEncoding:
    {
        char Tag[16];
        std::snprintf(Tag, sizeof(Tag), "0x%04X", uiFormatTag);
        return Utf8ToWide(std::string("samples of a coding (format tag ") + Tag + ") no decoder here takes");
    }
    case Problem::SampleWidth:
        return Utf8ToWide(Bits + "-bit samples are not supported; 8, 16, 24 or 32 bits only");
    case Problem::FrameTooLarge:
        return Utf8ToWide(std::to_string(uiChannelCount) + " channels of " + Bits +
                          " bits make frames larger than the 4096 bytes the player reads at a time");
    case Problem::Damaged:
        break;
    }
    return u"a damaged or unusual WAV header";
}
