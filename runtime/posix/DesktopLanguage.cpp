#include "runtime/DesktopLanguage.h"

#include <cstdlib>

std::string DesktopLanguage()
{
    // The order in which messages look for their language.
    for (const char* pName : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"})
    {
        const char* pValue = std::getenv(pName);
        if (pValue == nullptr || pValue[0] == '\0')
        {
            continue;
        }
        std::string Value = pValue;
        // LANGUAGE is a list of preferences, the first the most wanted.
        Value = Value.substr(0, Value.find(':'));
        if (!Value.empty())
        {
            return Value;
        }
    }
    return {};
}
