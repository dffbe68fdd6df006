#include "app/cli/CliNumbers.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace
{
constexpr char UNICODE_MINUS[] = "\xE2\x88\x92";

// The number as from_chars reads it: U+2212 made a hyphen, a leading plus dropped. Built afresh
// rather than replaced in place, which trips a false overlap warning of GCC 12 at -O3.
std::string Plain(const std::string& Text)
{
    const std::string Minus(UNICODE_MINUS);
    std::string Result;
    for (size_t i = 0; i < Text.size();)
    {
        if (Text.compare(i, Minus.size(), Minus) == 0)
        {
            Result += '-';
            i += Minus.size();
        }
        else
        {
            Result += Text[i++];
        }
    }
    if (Result.size() > 1 && Result[0] == '+' && Result[1] != '-' && Result[1] != '+')
    {
        return Result.substr(1);
    }
    return Result;
}
} // namespace

bool ParseWhole(const std::string& Text, int64_t& llValue)
{
    const std::string Number = Plain(Text);
    const char* pEnd = Number.data() + Number.size();
    const auto Parsed = std::from_chars(Number.data(), pEnd, llValue);
    return !Number.empty() && Parsed.ec == std::errc() && Parsed.ptr == pEnd;
}

bool ParseReal(const std::string& Text, double& dfValue)
{
    const std::string Number = Plain(Text);
    const char* pEnd = Number.data() + Number.size();
    const auto Parsed = std::from_chars(Number.data(), pEnd, dfValue);
    return !Number.empty() && Parsed.ec == std::errc() && Parsed.ptr == pEnd && std::isfinite(dfValue);
}

int64_t TenthsOf(double dfSeconds)
{
    return std::isfinite(dfSeconds) && dfSeconds > 0.0
               ? static_cast<int64_t>(std::floor(dfSeconds * 10.0 + 1e-9))
               : 0;
}

std::string ClockText(double dfSeconds, uint32_t uiMinuteDigits)
{
    const long long llTenths = TenthsOf(dfSeconds);
    const long long llMinutes = llTenths / 600;
    char Text[48];
    if (llMinutes >= 60)
    {
        std::snprintf(Text, sizeof(Text), "%lld:%02lld:%02lld.%lld", llMinutes / 60, llMinutes % 60,
                      (llTenths / 10) % 60, llTenths % 10);
    }
    else
    {
        std::snprintf(Text, sizeof(Text), "%0*lld:%02lld.%lld", static_cast<int>(uiMinuteDigits), llMinutes,
                      (llTenths / 10) % 60, llTenths % 10);
    }
    return Text;
}
