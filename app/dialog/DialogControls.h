#pragma once
#include "app/dialog/SDialogHost.h"

#include <cstdint>

// The small control routines the controller and the dialog logic share.
namespace DialogControls
{
// e = 1, the stopped state: "...", Play, both combos, the bit-count field, the check box and the
// settings button enabled, Pause and Stop disabled; e = 0, the playing state, the other way round.
// The sliders stay enabled.
void SetControlsEnabled(SDialogHost& Host, int32_t bEnable);
// Blanks the value column of the device list's three rows.
void ClearDeviceInfo(SDialogHost& Host);
// The volume label of slider position p (0 ... 9999): "-<p div 10>.<p mod 10> dB", cut to the buffer.
void FormatVolumeText(int32_t iPosition, char16_t* pText, uint64_t ullSizeBytes);
} // namespace DialogControls
