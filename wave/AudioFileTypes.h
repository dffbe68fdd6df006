#pragma once
#include <cstdint>
#include <string>

// The kinds of sound file the player takes, kept in this one list: the file dialog's filter, drag
// and drop, the command line and the desktop entry's MIME types follow it. WAV comes first (our own
// reader); the others go to the platform's decoder.
class AudioFileTypes
{
public:
    struct Type
    {
        const char16_t* pExtension; // lower case, without the dot
        const char* pMimeType;
    };

    // The list and its length.
    static const Type* List(uint32_t& uiCount);
    // true when pPath ends in one of the extensions (any case).
    static bool IsSupported(const char16_t* pPath);
    // Every extension as a file dialog pattern: "*.wav;*.flac;...".
    static std::u16string DialogPattern();
};
