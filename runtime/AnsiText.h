#pragma once
#include <string>

// The text in the system's narrow encoding: the ANSI code page on Windows, UTF-8 elsewhere.
// An empty result when the text cannot be converted.
std::string WideToAnsiText(const char16_t* pText);
