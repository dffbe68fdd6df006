#pragma once
#include <cstdint>
#include <string>

// Why a file is not one the WAV reader opens, in terms a user can act on: it is missing, a folder,
// cut short, of a float width or a coding the reader does not take, and so on. Meant for a file the reader
// has refused; it walks the chunks up to the sound data the way the reader does but does not repeat every
// rule of the reader.
class WaveFileDiagnosis
{
public:
    enum class Problem : uint32_t
    {
        None = 0,      // nothing found up to the sound data
        Missing,       // no such file (or its folder is missing)
        Folder,        // a folder
        NotRegular,    // a device, pipe or socket
        Unreadable,    // exists but cannot be opened for reading
        Empty,         // 0 bytes
        NotWave,       // does not begin with a RIFF or RF64 WAVE header
        Truncated,     // the header ends before the sound data begins
        FloatSamples,  // floating-point samples of a width other than 32 or 64 bits (uiBitCount)
        OtherEncoding, // a format tag other than integer PCM or float (uiFormatTag): for a decoder
        SampleWidth,   // integer samples of a width other than 8, 16, 24 or 32 bits (uiBitCount)
        FrameTooLarge, // uiChannelCount channels of uiBitCount bits: more than a read block holds
        Damaged,       // anything else the reader refuses
    };

    // Looks at the file at pPath (UTF-16).
    void Examine(const char16_t* pPath);
    // What was found, phrased to follow the file's name and a colon: "cut short: its WAV header
    // ends before the sound data". Empty for None.
    std::u16string Reason() const;

    Problem Found = Problem::None;
    uint32_t uiFormatTag = 0;
    uint32_t uiBitCount = 0;
    uint32_t uiChannelCount = 0;
    // The reader's block: a frame must fit in it.
    static constexpr uint64_t BLOCK_BYTES = 4096;
};
