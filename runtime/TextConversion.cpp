#include "runtime/TextConversion.h"

namespace
{
void AppendUtf8(std::string& Out, char32_t c)
{
    if (c < 0x80)
    {
        Out.push_back(static_cast<char>(c));
    }
    else if (c < 0x800)
    {
        Out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        Out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
    else if (c < 0x10000)
    {
        Out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        Out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        Out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
    else
    {
        Out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        Out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        Out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        Out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

void AppendUtf16(std::u16string& Out, char32_t c)
{
    if (c < 0x10000)
    {
        Out.push_back(static_cast<char16_t>(c));
    }
    else
    {
        c -= 0x10000;
        Out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
        Out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    }
}
} // namespace

std::string WideToUtf8(const char16_t* pText)
{
    std::string Out;
    if (pText == nullptr)
    {
        return Out;
    }
    for (size_t i = 0; pText[i] != 0; ++i)
    {
        char32_t c = pText[i];
        if (c >= 0xD800 && c < 0xDC00 && pText[i + 1] >= 0xDC00 && pText[i + 1] < 0xE000)
        {
            c = 0x10000 + ((c - 0xD800) << 10) + (pText[i + 1] - 0xDC00);
            ++i;
        }
        else if (c >= 0xD800 && c < 0xE000)
        {
            c = 0xFFFD;
        }
        AppendUtf8(Out, c);
    }
    return Out;
}

std::string WideToUtf8(const std::u16string& Text)
{
    return WideToUtf8(Text.c_str());
}

std::u16string Utf8ToWide(const char* pText)
{
    std::u16string Out;
    if (pText == nullptr)
    {
        return Out;
    }
    const auto* p = reinterpret_cast<const unsigned char*>(pText);
    while (*p != 0)
    {
        const unsigned char b = *p;
        int iMore = 0;
        char32_t c;
        if (b < 0x80)
        {
            c = b;
        }
        else if ((b & 0xE0) == 0xC0)
        {
            c = b & 0x1F;
            iMore = 1;
        }
        else if ((b & 0xF0) == 0xE0)
        {
            c = b & 0x0F;
            iMore = 2;
        }
        else if ((b & 0xF8) == 0xF0)
        {
            c = b & 0x07;
            iMore = 3;
        }
        else
        {
            AppendUtf16(Out, 0xFFFD);
            ++p;
            continue;
        }
        ++p;
        bool bValid = true;
        for (int k = 0; k < iMore; ++k)
        {
            if ((*p & 0xC0) != 0x80)
            {
                bValid = false;
                break;
            }
            c = (c << 6) | (*p & 0x3F);
            ++p;
        }
        const char32_t cMinimum[] = {0, 0x80, 0x800, 0x10000};
        if (!bValid || c < cMinimum[iMore] || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000))
        {
            c = 0xFFFD;
        }
        AppendUtf16(Out, c);
    }
    return Out;
}

std::u16string Utf8ToWide(const std::string& Text)
{
    return Utf8ToWide(Text.c_str());
}
