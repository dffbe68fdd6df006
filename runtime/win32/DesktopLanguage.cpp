#include "runtime/DesktopLanguage.h"

#include <windows.h>

std::string DesktopLanguage()
{
    const LANGID uiLanguage = GetUserDefaultUILanguage();
    wchar_t Name[LOCALE_NAME_MAX_LENGTH] = {};
    if (LCIDToLocaleName(MAKELCID(uiLanguage, SORT_DEFAULT), Name, LOCALE_NAME_MAX_LENGTH, 0) > 0)
    {
        std::string Text;
        for (const wchar_t* p = Name; *p != L'\0'; ++p)
        {
            // Locale names are ASCII.
            Text += static_cast<char>(*p < 0x80 ? *p : L'?');
        }
        return Text;
    }
    // A language without a locale name still has its primary language.
    return PRIMARYLANGID(uiLanguage) == LANG_JAPANESE ? "ja" : "en";
}
