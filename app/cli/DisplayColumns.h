#pragma once
#include <cstddef>
#include <string>

// How wide UTF-8 text is on a terminal: East Asian wide and full-width characters (the Japanese
// texts) take two columns, combining marks none, everything else one.
size_t DisplayColumns(const std::string& Text);
// Text cut to at most uiColumns columns, never inside a character.
std::string CutToColumns(const std::string& Text, size_t ullColumns);
// Text padded with spaces on the right to ullColumns columns.
std::string PadToColumns(const std::string& Text, size_t ullColumns);
