#include "runtime/AnsiText.h"

#include <windows.h>

std::string WideToAnsiText(const char16_t* pText)
{
    if (pText == nullptr)
    {
        return {};
    }
    const auto* pWide = reinterpret_cast<const wchar_t*>(pText);
    // The size asked for first includes the terminator.
    const int iBytes = WideCharToMultiByte(CP_ACP, 0, pWide, -1, nullptr, 0, nullptr, nullptr);
    if (iBytes <= 0)
    {
        return {};
    }
    std::string Out(static_cast<size_t>(iBytes), '\0');
    if (WideCharToMultiByte(CP_ACP, 0, pWide, -1, Out.data(), iBytes, nullptr, nullptr) <= 0)
    {
        return {};
    }
    Out.resize(static_cast<size_t>(iBytes) - 1);
    return Out;
}
