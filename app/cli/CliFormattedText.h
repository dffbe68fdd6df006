#pragma once
#include "runtime/FormatText.h"
#include "runtime/TextConversion.h"

#include <cstddef>
#include <ostream>
#include <string>

// The commands' texts made by FormatText from the player's 16-bit formats and written as UTF-8.

// pFormat with its arguments, cut to UNITS - 1 units as FormatText cuts, as UTF-8.
template <size_t UNITS, typename... Values>
std::string FormattedUtf8(const char16_t* pFormat, Values... Arguments)
{
    char16_t Text[UNITS];
    FormatText(Text, sizeof(Text), pFormat, Arguments...);
    return WideToUtf8(Text);
}

// One line of output: pFormat with its arguments (at most 127 units).
template <typename... Values> void PutLine(std::ostream& Out, const char16_t* pFormat, Values... Arguments)
{
    Out << FormattedUtf8<128>(pFormat, Arguments...) << '\n';
}
