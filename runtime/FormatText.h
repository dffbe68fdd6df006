#pragma once
#include <cstdarg>
#include <cstdint>

// Bounded printf-style formatting into 16-bit text, identical on every platform and in every locale.
// ullSizeBytes is the buffer size in bytes: at most ullSizeBytes / 2 - 1 units are written and the
// text is always terminated (an over-long result is cut). "%s" takes a 16-bit string ("%hs" an 8-bit
// one); numbers follow the C conventions with '.' as the decimal point.
// Returns 0 on success, -1 when the text was cut, -4 for a null buffer or format or a size below 2 units.
int32_t FormatText(char16_t* pBuffer, uint64_t ullSizeBytes, const char16_t* pFormat, ...);
int32_t FormatTextV(char16_t* pBuffer, uint64_t ullSizeBytes, const char16_t* pFormat, va_list Arguments);
