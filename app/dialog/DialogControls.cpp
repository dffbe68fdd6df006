#include "app/dialog/DialogControls.h"

#include "app/dialog/DialogControlIds.h"
#include "app/dialog/PlayerTexts.h"
#include "runtime/FormatText.h"

#include <cmath>

using namespace DialogControlIds;

namespace DialogControls
{
void SetControlsEnabled(SDialogHost& Host, int32_t bEnable)
{
    const int32_t bStopped = bEnable != 0 ? 1 : 0;
    for (const int32_t iId : {ID_CHOOSE_FILE, ID_PLAY, ID_DEVICE_COMBO, ID_RATE_COMBO, ID_BIT_FIELD,
                              ID_ENHANCER_CHECK, ID_SETTINGS})
    {
        Host.EnableItem(iId, bStopped);
    }
    Host.EnableItem(ID_PAUSE, 1 - bStopped);
    Host.EnableItem(ID_STOP, 1 - bStopped);
}

void ClearDeviceInfo(SDialogHost& Host)
{
    for (int32_t iRow = 0; iRow < 3; ++iRow)
    {
        Host.SetListCell(ID_DEVICE_LIST, iRow, 1, u"");
    }
}

uint32_t ParseUnsignedField(const std::u16string& Text, int32_t& bValid)
{
    size_t i = 0;
    while (i < Text.size() && Text[i] == u' ')
    {
        ++i;
    }
    bValid = i < Text.size() ? 1 : 0;
    uint64_t ullValue = 0;
    for (; i < Text.size() && bValid != 0; ++i)
    {
        if (Text[i] < u'0' || Text[i] > u'9')
        {
            bValid = 0;
            break;
        }
        ullValue = ullValue * 10 + static_cast<uint64_t>(Text[i] - u'0');
        if (ullValue > 0xFFFFFFFFu)
        {
            bValid = 0;
        }
    }
    return bValid != 0 ? static_cast<uint32_t>(ullValue) : 0;
}

void FormatVolumeText(int32_t iPosition, char16_t* pText, uint64_t ullSizeBytes)
{
    FormatText(pText, ullSizeBytes, PlayerTexts::VOLUME_LABEL_FORMAT, iPosition / 10, iPosition % 10);
}

namespace
{
// dfSeconds in units of 1/uiPerSecond (10 or 100), the fraction with as many digits.
std::u16string ClockIn(double dfSeconds, uint32_t uiPerSecond)
{
    // A hair over the unit, so a place that is a whole unit in frames shows as that unit.
    const uint64_t ullUnits = dfSeconds > 0.0 && std::isfinite(dfSeconds)
                                  ? static_cast<uint64_t>(std::floor(dfSeconds * uiPerSecond + 1e-6))
                                  : 0;
    const uint64_t ullSeconds = ullUnits / uiPerSecond;
    const unsigned uFraction = static_cast<unsigned>(ullUnits % uiPerSecond);
    const char16_t* pFraction = uiPerSecond == 100 ? u"%02u" : u"%u";
    char16_t Fraction[8];
    FormatText(Fraction, sizeof(Fraction), pFraction, uFraction);
    char16_t Text[40];
    if (ullSeconds >= 3600)
    {
        FormatText(Text, sizeof(Text), u"%u:%02u:%02u.%s", static_cast<unsigned>(ullSeconds / 3600),
                   static_cast<unsigned>(ullSeconds / 60 % 60), static_cast<unsigned>(ullSeconds % 60),
                   Fraction);
    }
    else
    {
        FormatText(Text, sizeof(Text), u"%u:%02u.%s", static_cast<unsigned>(ullSeconds / 60),
                   static_cast<unsigned>(ullSeconds % 60), Fraction);
    }
    return Text;
}
} // namespace

std::u16string ClockText(double dfSeconds)
{
    return ClockIn(dfSeconds, 10);
}

std::u16string FineClockText(double dfSeconds)
{
    return ClockIn(dfSeconds, 100);
}
} // namespace DialogControls
