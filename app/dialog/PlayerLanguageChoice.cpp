#include "app/dialog/PlayerLanguageChoice.h"

#include "runtime/DesktopLanguage.h"

#include <cstdlib>

namespace PlayerLanguageChoice
{
PlayerLanguage OfDesktopLanguage(const std::string& Name)
{
    // "C", "POSIX" and "C.UTF-8" name no language at all.
    const bool bNone = Name.empty() || Name == "C" || Name == "POSIX" || Name.rfind("C.", 0) == 0;
    const bool bJapanese =
        Name.size() >= 2 && (Name[0] == 'j' || Name[0] == 'J') && (Name[1] == 'a' || Name[1] == 'A') &&
        (Name.size() == 2 || Name[2] == '_' || Name[2] == '-' || Name[2] == '.' || Name[2] == '@');
    return bNone || bJapanese ? PlayerLanguage::Japanese : PlayerLanguage::English;
}

int32_t OfOverride(const char* pValue, PlayerLanguage& Language)
{
    if (pValue == nullptr || pValue[0] == '\0')
    {
        return 0;
    }
    const std::string Value = pValue;
    if (Value == "ja")
    {
        Language = PlayerLanguage::Japanese;
        return 1;
    }
    if (Value == "en")
    {
        Language = PlayerLanguage::English;
        return 1;
    }
    return -4;
}

PlayerLanguage AtStart()
{
    PlayerLanguage Language = PlayerLanguage::Japanese;
    if (OfOverride(std::getenv("LARKSPUR_LANG"), Language) > 0)
    {
        return Language;
    }
    return OfDesktopLanguage(DesktopLanguage());
}
} // namespace PlayerLanguageChoice
