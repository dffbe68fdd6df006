#pragma once
#include "app/cli/ConsoleDialogHost.h"

#include <cstdint>
#include <string>

// The terminal player's one-line status, made from what the dialog shows: the progress bar and
// the file's length, the two slider labels, the device list and the bit-count field.
struct StatusLine
{
    double dfPositionSeconds = 0.0;
    double dfLengthSeconds = 0.0;
    std::u16string SpeedText;      // "x1.0000"
    std::u16string VolumeText;     // "-20.0 dB"
    std::u16string DeviceRateText; // "96000", empty while no device is open
    std::u16string BitText;        // "24"
    std::u16string ModeText;       // "排他モード" / "共有モード"
    bool bPlaying = false;
    bool bPaused = false;

    // Reads the dialog's controls.
    static StatusLine Of(ConsoleDialogHost& Host);
    // Seconds as mm:ss.t (tenths cut, not rounded, so the end shows only when it is reached).
    static std::string FormatTime(double dfSeconds);
    // "01:02.3 / 03:00.0 [#####---------------] x1.0000 -20.0 dB 96000 Hz 24 bit 排他モード 再生",
    // UTF-8, with a bar of uiBarWidth characters.
    std::string Format(uint32_t uiBarWidth = 20) const;
};
