#pragma once
#include <cstdint>

// Appends pSource to the text in pBuffer without passing ullCapacity units (terminator included).
// 1 when the whole source was appended, 0 when it was cut (or the buffer was already full),
// -1 when the buffer or the source is null or the capacity is 0.
int32_t AppendWideString(char16_t* pBuffer, uint64_t ullCapacity, const char16_t* pSource);

// Copies pSource into pBuffer of ullCapacity bytes. 1 when complete, 0 when cut or the capacity is 0,
// -1 when the buffer or the source is null.
int32_t CopyAnsiString(char* pBuffer, uint64_t ullCapacity, const char* pSource);

// Length of a zero-terminated 16-bit text.
uint64_t WideStringLength(const char16_t* pText);
