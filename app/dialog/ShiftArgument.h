#pragma once
#include <cstdint>

// The shift number of the command line: an optional leading '-', then decimal digits in which ','
// is skipped; reading stops at the first other character. Wraps like a 32-bit integer. No text, or
// no digits, gives 0 ("1,000" 1000, "-3" -3, "12ab" 12, "-" 0, ",,5" 5).
int32_t ParseShiftArgument(const char16_t* pText);
