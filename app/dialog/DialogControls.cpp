#include "app/dialog/DialogControls.h"

#include "app/dialog/DialogControlIds.h"
#include "app/dialog/PlayerTexts.h"
#include "runtime/FormatText.h"

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

void FormatVolumeText(int32_t iPosition, char16_t* pText, uint64_t ullSizeBytes)
{
    FormatText(pText, ullSizeBytes, PlayerTexts::VOLUME_LABEL_FORMAT, iPosition / 10, iPosition % 10);
}
} // namespace DialogControls
