#include "app/cli/CliNumbers.h"

#include <charconv>
#include <cmath>

bool ParseWhole(const std::string& Text, int64_t& llValue)
{
    const char* pEnd = Text.data() + Text.size();
    const auto Parsed = std::from_chars(Text.data(), pEnd, llValue);
    return !Text.empty() && Parsed.ec == std::errc() && Parsed.ptr == pEnd;
}

bool ParseReal(const std::string& Text, double& dfValue)
{
    const char* pEnd = Text.data() + Text.size();
    const auto Parsed = std::from_chars(Text.data(), pEnd, dfValue);
    return !Text.empty() && Parsed.ec == std::errc() && Parsed.ptr == pEnd && std::isfinite(dfValue);
}
