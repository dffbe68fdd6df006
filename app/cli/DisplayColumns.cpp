#include "app/cli/DisplayColumns.h"

#include <cstdint>

namespace
{
// One character of UTF-8 text from At, advancing At; malformed bytes count as one character each.
uint32_t NextCharacter(const std::string& Text, size_t& ullAt)
{
    const auto Byte = [&Text](size_t i) { return static_cast<uint8_t>(Text[i]); };
    const uint8_t ucLead = Byte(ullAt);
    size_t ullLength = ucLead < 0x80           ? 1
                       : (ucLead >> 5) == 0x6  ? 2
                       : (ucLead >> 4) == 0xE  ? 3
                       : (ucLead >> 3) == 0x1E ? 4
                                               : 1;
    if (ullAt + ullLength > Text.size())
    {
        ullLength = 1;
    }
    uint32_t uiCode = ullLength == 1 ? ucLead : ucLead & (0x7F >> ullLength);
    for (size_t i = 1; i < ullLength; ++i)
    {
        if ((Byte(ullAt + i) & 0xC0) != 0x80)
        {
            ++ullAt;
            return 0xFFFD;
        }
        uiCode = (uiCode << 6) | (Byte(ullAt + i) & 0x3F);
    }
    ullAt += ullLength;
    return uiCode;
}

size_t ColumnsOf(uint32_t uiCode)
{
    // Combining marks and zero-width characters.
    if ((uiCode >= 0x0300 && uiCode <= 0x036F) || (uiCode >= 0x200B && uiCode <= 0x200F) ||
        (uiCode >= 0xFE00 && uiCode <= 0xFE0F) || uiCode == 0x3099 || uiCode == 0x309A)
    {
        return 0;
    }
    // East Asian wide and full-width ranges.
    if ((uiCode >= 0x1100 && uiCode <= 0x115F) || (uiCode >= 0x2E80 && uiCode <= 0x303E) ||
        (uiCode >= 0x3041 && uiCode <= 0x33FF) || (uiCode >= 0x3400 && uiCode <= 0x4DBF) ||
        (uiCode >= 0x4E00 && uiCode <= 0x9FFF) || (uiCode >= 0xA000 && uiCode <= 0xA4CF) ||
        (uiCode >= 0xAC00 && uiCode <= 0xD7A3) || (uiCode >= 0xF900 && uiCode <= 0xFAFF) ||
        (uiCode >= 0xFE30 && uiCode <= 0xFE4F) || (uiCode >= 0xFF00 && uiCode <= 0xFF60) ||
        (uiCode >= 0xFFE0 && uiCode <= 0xFFE6) || (uiCode >= 0x1F300 && uiCode <= 0x1F64F) ||
        (uiCode >= 0x1F900 && uiCode <= 0x1F9FF) || (uiCode >= 0x20000 && uiCode <= 0x3FFFD))
    {
        return 2;
    }
    return 1;
}
} // namespace

size_t DisplayColumns(const std::string& Text)
{
    size_t ullColumns = 0;
    for (size_t ullAt = 0; ullAt < Text.size();)
    {
        ullColumns += ColumnsOf(NextCharacter(Text, ullAt));
    }
    return ullColumns;
}

std::string CutToColumns(const std::string& Text, size_t ullColumns)
{
    size_t ullUsed = 0;
    size_t ullAt = 0;
    while (ullAt < Text.size())
    {
        size_t ullNext = ullAt;
        const size_t ullWidth = ColumnsOf(NextCharacter(Text, ullNext));
        if (ullUsed + ullWidth > ullColumns)
        {
            break;
        }
        ullUsed += ullWidth;
        ullAt = ullNext;
    }
    return Text.substr(0, ullAt);
}

std::string PadToColumns(const std::string& Text, size_t ullColumns)
{
    const size_t ullShown = DisplayColumns(Text);
    return Text + std::string(ullShown < ullColumns ? ullColumns - ullShown : 0, ' ');
}
