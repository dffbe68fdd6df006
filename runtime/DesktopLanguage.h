#pragma once
#include <string>

// The language the user's desktop speaks, as the system names it: on Windows the user's interface
// language ("ja-JP", "en-US"); elsewhere the first of LANGUAGE (its first entry), LC_ALL,
// LC_MESSAGES and LANG that is set and not empty ("ja_JP.UTF-8", "C"). Empty when none is set.
std::string DesktopLanguage();
