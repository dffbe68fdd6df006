#pragma once
#include "app/dialog/SDialogHost.h"

#include <cstdint>
#include <string>

// The small control routines the controller and the dialog logic share.
namespace DialogControls
{
// e = 1, the stopped state: "...", Play, both combos, the bit-count field, the check box and the
// settings button enabled, Pause and Stop disabled; e = 0, the playing state, the other way round.
// The sliders stay enabled.
void SetControlsEnabled(SDialogHost& Host, int32_t bEnable);
// Blanks the value column of the device list's three rows.
void ClearDeviceInfo(SDialogHost& Host);
// The text of a field read as an unsigned number, as the dialog's edit fields read it: blanks
// first, then decimal digits that fit 32 bits and nothing after them. bValid 0 (result 0) for
// anything else: no digits, other characters, too large.
uint32_t ParseUnsignedField(const std::u16string& Text, int32_t& bValid);
// The volume label of slider position p (0 ... 9999): "-<p div 10>.<p mod 10> dB", cut to the buffer.
void FormatVolumeText(int32_t iPosition, char16_t* pText, uint64_t ullSizeBytes);
// A place in the file as the window shows it: "m:ss.s", from an hour on "h:mm:ss.s" (tenths cut,
// not rounded, so a place is never shown ahead of itself).
std::u16string ClockText(double dfSeconds);
// The same to the hundredth: "0:12.34".
std::u16string FineClockText(double dfSeconds);
} // namespace DialogControls
