#include "app/dialog/ShiftArgument.h"

int32_t ParseShiftArgument(const char16_t* pText)
{
    if (pText == nullptr)
    {
        return 0;
    }
    const bool bNegative = *pText == u'-';
    if (bNegative)
    {
        ++pText;
    }
    uint32_t uiValue = 0;
    for (; *pText != u'\0'; ++pText)
    {
        if (*pText == u',')
        {
            continue;
        }
        if (*pText < u'0' || *pText > u'9')
        {
            break;
        }
        uiValue = uiValue * 10u + static_cast<uint32_t>(*pText - u'0');
    }
    if (bNegative)
    {
        uiValue = 0u - uiValue;
    }
    return static_cast<int32_t>(uiValue);
}
