#pragma once
#include "app/cli/ConsoleDialogHost.h"
#include "app/dialog/PlaybackSession.h"
#include "app/player/PlaybackEngine.h"

#include <cstdint>
#include <string>

// The terminal player's one-line status, made from typed state: the place heard and the length,
// the two sliders, the device the last start opened (rate, bits, mode) and whether it plays.
struct StatusLine
{
    double dfPositionSeconds = 0.0;
    double dfLengthSeconds = 0.0;
    std::u16string SpeedText;      // "x1.0000", "x0.7492 音程保持" keeping the pitch
    std::u16string VolumeText;     // "-20.0 dB"
    std::u16string DeviceRateText; // "96000", empty while no device is open
    std::u16string BitText;        // "24"
    std::u16string ModeText;       // "排他モード" / "共有モード" (or the English)
    bool bPlaying = false;
    bool bPaused = false;
    // The loop, the trainer or a notice, after the volume ("A 0:12.0 B 0:19.5 rep 3"); UTF-8.
    std::string PracticeText;

    // The session's place and state, the sliders' positions and the last start's report.
    static StatusLine Of(ConsoleDialogHost& Host, const PlaybackSession& Session,
                         const PlaybackEngine::StartReport& Report);
    // Seconds as mm:ss.t, from an hour on h:mm:ss.t (tenths cut, not rounded, so the end shows only
    // when it is reached).
    static std::string FormatTime(double dfSeconds);
    // "01:02.3 / 03:00.0 [#####---------------] x1.0000 -20.0 dB 96000 Hz 24 bit 排他モード 再生",
    // UTF-8, with a bar of uiBarWidth characters; the practice text follows the volume.
    std::string Format(uint32_t uiBarWidth = FULL_BAR) const;
    // The line shortened to fit a terminal of uiColumns columns without wrapping (one column is
    // left free, where the cursor waits): the bar shrinks, down to SHORTEST_BAR, then goes, then the
    // mode's words, the device's rate and bits, the length, the volume, the speed and the position.
    // The practice text (the loop, a notice) and the state word stay to the last: what still does
    // not fit is cut from the practice text, the state word whole. Widths are display columns (the
    // Japanese characters take two), measured with the wider of the playing and paused words so the layout
    // stays when playback pauses. 0 columns: unknown, the full line.
    std::string Fit(uint32_t uiColumns) const;

    static constexpr uint32_t FULL_BAR = 20;
    static constexpr uint32_t SHORTEST_BAR = 5;

private:
    // What a line shows besides the practice text and the state word, which it always shows.
    struct Parts
    {
        uint32_t uiBar = FULL_BAR; // 0: none
        bool bPosition = true;
        bool bLength = true;
        bool bSpeed = true;
        bool bVolume = true;
        bool bDevice = true;
        bool bMode = true;
    };
    std::string Compose(const Parts& Shown) const;
    // 再生, 一時停止 or 停止 (playing, paused, stopped), in the language chosen.
    std::string StateWord() const;
};
