#include "app/dialog/CommandLineArguments.h"

#include "app/dialog/ShiftArgument.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace
{
bool IsBlank(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}
} // namespace

std::vector<std::u16string> CommandLineArguments::Split(const char16_t* pText)
{
    std::vector<std::u16string> Arguments;
    if (pText == nullptr)
    {
        return Arguments;
    }
    const char16_t* p = pText;
    for (;;)
    {
        while (IsBlank(*p))
        {
            ++p;
        }
        if (*p == 0)
        {
            return Arguments;
        }
        std::u16string Argument;
        bool bQuoted = false;
        while (*p != 0 && (bQuoted || !IsBlank(*p)))
        {
            size_t ullBackslashes = 0;
            while (*p == u'\\')
            {
                ++ullBackslashes;
                ++p;
            }
            if (*p == u'"')
            {
                // 2n backslashes and a quote: n backslashes and the quote groups; 2n + 1: n and a
                // literal quote.
                Argument.append(ullBackslashes / 2, u'\\');
                if (ullBackslashes % 2 == 1)
                {
                    Argument += u'"';
                }
                else
                {
                    bQuoted = !bQuoted;
                }
                ++p;
            }
            else
            {
                Argument.append(ullBackslashes, u'\\');
                if (*p != 0 && (bQuoted || !IsBlank(*p)))
                {
                    Argument += *p;
                    ++p;
                }
            }
        }
        Arguments.push_back(std::move(Argument));
    }
}

std::u16string CommandLineArguments::Join(const std::vector<std::u16string>& Arguments)
{
    std::u16string Text;
    for (const std::u16string& Argument : Arguments)
    {
        if (!Text.empty())
        {
            Text += u' ';
        }
        bool bQuote = Argument.empty();
        for (const char16_t c : Argument)
        {
            bQuote = bQuote || IsBlank(c) || c == u'"';
        }
        if (!bQuote)
        {
            Text += Argument;
            continue;
        }
        Text += u'"';
        size_t ullBackslashes = 0;
        for (const char16_t c : Argument)
        {
            if (c == u'\\')
            {
                ++ullBackslashes;
                continue;
            }
            // Backslashes before a quote are doubled, and the quote escaped.
            Text.append(c == u'"' ? 2 * ullBackslashes + 1 : ullBackslashes, u'\\');
            ullBackslashes = 0;
            Text += c;
        }
        // ... and so are those before the closing quote.
        Text.append(2 * ullBackslashes, u'\\');
        Text += u'"';
    }
    return Text;
}

int32_t CommandLineArguments::NamesFile(const std::u16string& Path)
{
    if (Path.empty())
    {
        return 0;
    }
    std::error_code Error;
    const std::filesystem::path FilePath(Path);
    return std::filesystem::exists(FilePath, Error) && !std::filesystem::is_directory(FilePath, Error) ? 1
                                                                                                       : 0;
}

void CommandLineArguments::Read(const char16_t* pText, int32_t& iShift, std::u16string& FilePath)
{
    FilePath.clear();
    const std::vector<std::u16string> Arguments = Split(pText);
    const std::u16string* pShift = nullptr;
    for (const std::u16string& Argument : Arguments)
    {
        if (FilePath.empty() && NamesFile(Argument) == 1)
        {
            std::error_code Error;
            const std::filesystem::path Absolute =
                std::filesystem::absolute(std::filesystem::path(Argument), Error);
            FilePath = Error ? Argument : Absolute.u16string();
        }
        else if (pShift == nullptr)
        {
            pShift = &Argument;
        }
    }
    if (FilePath.empty())
    {
        iShift = ParseShiftArgument(pText);
        return;
    }
    iShift = pShift != nullptr ? ParseShiftArgument(pShift->c_str()) : 0;
}

bool CommandLineArguments::TakeFresh(std::u16string& Text)
{
    std::vector<std::u16string> Words = Split(Text.c_str());
    const auto Kept = std::remove(Words.begin(), Words.end(), std::u16string(FRESH));
    if (Kept == Words.end())
    {
        return false;
    }
    Words.erase(Kept, Words.end());
    Text = Join(Words);
    return true;
}
