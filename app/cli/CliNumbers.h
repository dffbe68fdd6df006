#pragma once
#include <cstdint>
#include <string>

// Command-line numbers: the whole text must be the number, nothing before or after it. A minus
// sign may be the ASCII hyphen or U+2212 (as typeset text has it), a plus sign may lead.
bool ParseWhole(const std::string& Text, int64_t& llValue);
// As ParseWhole, and the value must be finite.
bool ParseReal(const std::string& Text, double& dfValue);
