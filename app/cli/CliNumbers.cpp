#include "app/cli/CliNumbers.h"

#include <charconv>
#include <cmath>

namespace
{
constexpr char UNICODE_MINUS[] = "\xE2\x88\x92";

// The number as from_chars reads it: U+2212 made a hyphen, a leading plus dropped.
std::string Plain(const std::string& Text)
{
    std::string Result = Text;
    for (size_t ullAt = Result.find(UNICODE_MINUS); ullAt != std::string::npos;
         ullAt = Result.find(UNICODE_MINUS, ullAt + 1))
    {
        Result.replace(ullAt, sizeof(UNICODE_MINUS) - 1, "-");
    }
    if (Result.size() > 1 && Result[0] == '+' && Result[1] != '-' && Result[1] != '+')
    {
        Result.erase(0, 1);
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
