#include "wave/AudioFileTypes.h"

#include <cstring>

namespace
{
const AudioFileTypes::Type TYPES[] = {
    {u"wav", "audio/x-wav"},    {u"wave", "audio/vnd.wave"},    {u"flac", "audio/flac"},
    {u"mp3", "audio/mpeg"},     {u"m4a", "audio/mp4"},          {u"aac", "audio/aac"},
    {u"ogg", "audio/ogg"},      {u"oga", "audio/x-vorbis+ogg"}, {u"opus", "audio/x-opus+ogg"},
    {u"aif", "audio/x-aiff"},   {u"aiff", "audio/aiff"},        {u"aifc", "audio/x-aifc"},
    {u"wv", "audio/x-wavpack"}, {u"wma", "audio/x-ms-wma"},
};

char16_t Lower(char16_t cUnit)
{
    return cUnit >= u'A' && cUnit <= u'Z' ? static_cast<char16_t>(cUnit - u'A' + u'a') : cUnit;
}
} // namespace

const AudioFileTypes::Type* AudioFileTypes::List(uint32_t& uiCount)
{
    uiCount = static_cast<uint32_t>(sizeof(TYPES) / sizeof(TYPES[0]));
    return TYPES;
}

bool AudioFileTypes::IsSupported(const char16_t* pPath)
{
    if (pPath == nullptr)
    {
        return false;
    }
    const std::u16string Path(pPath);
    const size_t ullDot = Path.find_last_of(u'.');
    const size_t ullSeparator = Path.find_last_of(u"/\\");
    if (ullDot == std::u16string::npos || (ullSeparator != std::u16string::npos && ullSeparator > ullDot))
    {
        return false;
    }
    std::u16string Extension = Path.substr(ullDot + 1);
    for (char16_t& cUnit : Extension)
    {
        cUnit = Lower(cUnit);
    }
    for (const Type& Entry : TYPES)
    {
        if (Extension == Entry.pExtension)
        {
            return true;
        }
    }
    return false;
}

std::u16string AudioFileTypes::DialogPattern()
{
    std::u16string Pattern;
    for (const Type& Entry : TYPES)
    {
        if (!Pattern.empty())
        {
            Pattern += u';';
        }
        Pattern += u"*.";
        Pattern += Entry.pExtension;
    }
    return Pattern;
}
