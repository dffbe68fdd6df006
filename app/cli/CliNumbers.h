#pragma once
#include <cstdint>
#include <string>

// Command-line numbers: the whole text must be the number, nothing before or after it. A minus
// sign may be the ASCII hyphen or U+2212 (as typeset text has it), a plus sign may lead.
bool ParseWhole(const std::string& Text, int64_t& llValue);
// As ParseWhole, and the value must be finite.
bool ParseReal(const std::string& Text, double& dfValue);
// Whole tenths of dfSeconds, cut rather than rounded (so the end of a file shows only when it is
// reached); 0 for a negative or non-finite time.
int64_t TenthsOf(double dfSeconds);
// dfSeconds as a clock shows it, tenths cut as TenthsOf cuts them: minutes and seconds ("1:12.5";
// the minutes with at least uiMinuteDigits digits, "01:12.5" for 2) below an hour, hours, minutes
// and seconds from an hour on ("1:12:30.0").
std::string ClockText(double dfSeconds, uint32_t uiMinuteDigits);
