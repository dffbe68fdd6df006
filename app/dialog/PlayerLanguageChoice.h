#pragma once
#include "app/dialog/PlayerTexts.h"

#include <cstdint>
#include <string>

// Which language the player speaks, chosen once at the start of a front end: LARKSPUR_LANG=ja or
// en when set; otherwise the desktop's language: Japanese for Japanese, and where no language is
// set at all (none of the variables, the C or POSIX locale), since Japanese is the original;
// English for every other language.
namespace PlayerLanguageChoice
{
// The language for a name as the system gives it ("ja_JP.UTF-8", "en-US", "C", "").
PlayerLanguage OfDesktopLanguage(const std::string& Name);
// LARKSPUR_LANG's value: 1 with Language for "ja" or "en", 0 when it is not set or empty, -4 for any
// other value (which is then not taken).
int32_t OfOverride(const char* pValue, PlayerLanguage& Language);
// The override when it is valid, else the desktop's language.
PlayerLanguage AtStart();
} // namespace PlayerLanguageChoice
