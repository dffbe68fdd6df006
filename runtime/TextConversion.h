#pragma once
#include <string>

// UTF-8 <-> 16-bit text, used only where text crosses to the OS, a toolkit or the console.
// Malformed input becomes U+FFFD instead of being dropped silently.
std::string WideToUtf8(const char16_t* pText);
std::string WideToUtf8(const std::u16string& Text);
std::u16string Utf8ToWide(const char* pText);
std::u16string Utf8ToWide(const std::string& Text);
