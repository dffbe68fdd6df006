#include "runtime/AnsiText.h"

#include "runtime/TextConversion.h"

std::string WideToAnsiText(const char16_t* pText)
{
    return WideToUtf8(pText);
}
