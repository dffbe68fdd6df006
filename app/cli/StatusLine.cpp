#include "app/cli/StatusLine.h"

#include "app/cli/CliNumbers.h"
#include "app/cli/DisplayColumns.h"
#include "app/dialog/DialogControlIds.h"
#include "app/dialog/PlayerTexts.h"
#include "app/player/PlayerScales.h"
#include "runtime/TextConversion.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace
{
// The file list's row that holds the length in seconds.
constexpr int32_t LENGTH_ROW = 3;
constexpr int32_t RATE_ROW = 0;
constexpr int32_t MODE_ROW = 2;
} // namespace

StatusLine StatusLine::Of(ConsoleDialogHost& Host)
{
    using namespace DialogControlIds;
    StatusLine Line;
    const std::string Length = WideToUtf8(Host.Cell(ID_FILE_LIST, LENGTH_ROW, 1));
    Line.dfLengthSeconds = Length.empty() ? 0.0 : std::strtod(Length.c_str(), nullptr);
    const ConsoleDialogHost::Control& Progress = Host.Item(ID_PROGRESS);
    const double dfRatio =
        Progress.iMaximum > 0 ? static_cast<double>(Progress.iPosition) / Progress.iMaximum : 0.0;
    Line.dfPositionSeconds = dfRatio * Line.dfLengthSeconds;
    Line.SpeedText = Host.Item(ID_SPEED_LABEL).Text;
    Line.VolumeText = Host.Item(ID_VOLUME_LABEL).Text;
    Line.DeviceRateText = Host.Cell(ID_DEVICE_LIST, RATE_ROW, 1);
    Line.BitText = Host.Item(ID_BIT_FIELD).Text;
    Line.ModeText = Host.Cell(ID_DEVICE_LIST, MODE_ROW, 1);
    // Stop is enabled exactly while a playback runs; Play besides it means paused.
    Line.bPlaying = Host.Item(ID_STOP).bEnabled != 0;
    Line.bPaused = Line.bPlaying && Host.Item(ID_PLAY).bEnabled != 0;
    return Line;
}

std::string StatusLine::FormatTime(double dfSeconds)
{
    const long long llTenths = TenthsOf(dfSeconds);
    char Text[32];
    std::snprintf(Text, sizeof(Text), "%02lld:%02lld.%lld", llTenths / 600, (llTenths / 10) % 60,
                  llTenths % 10);
    return Text;
}

std::string StatusLine::Format(uint32_t uiBarWidth) const
{
    return Compose(uiBarWidth, true, true);
}

std::string StatusLine::Fit(uint32_t uiColumns) const
{
    if (uiColumns == 0)
    {
        return Format();
    }
    // Measured with the widest state word, so that pausing and resuming keep the layout.
    StatusLine Widest = *this;
    Widest.bPlaying = true;
    Widest.bPaused = true;
    const size_t ullRoom = uiColumns - 1;
    for (uint32_t uiBar = FULL_BAR; uiBar >= SHORTEST_BAR; --uiBar)
    {
        if (DisplayColumns(Widest.Compose(uiBar, true, true)) <= ullRoom)
        {
            return Compose(uiBar, true, true);
        }
    }
    for (const auto& [bDevice, bMode] :
         {std::pair{true, true}, std::pair{true, false}, std::pair{false, false}})
    {
        if (DisplayColumns(Widest.Compose(0, bDevice, bMode)) <= ullRoom)
        {
            return Compose(0, bDevice, bMode);
        }
    }
    return CutToColumns(Compose(0, false, false), ullRoom);
}

std::string StatusLine::Compose(uint32_t uiBarWidth, bool bDevice, bool bMode) const
{
    const double dfRatio =
        dfLengthSeconds > 0.0 ? std::clamp(dfPositionSeconds / dfLengthSeconds, 0.0, 1.0) : 0.0;
    const uint32_t uiFilled = static_cast<uint32_t>(std::floor(dfRatio * uiBarWidth + 1e-9));
    // Appended piece by piece: chains of temporaries trip a false overlap warning of GCC 12 at -O3.
    std::string Text = FormatTime(dfPositionSeconds);
    Text += " / ";
    Text += FormatTime(dfLengthSeconds);
    if (uiBarWidth > 0)
    {
        Text += " [";
        Text.append(uiFilled, '#');
        Text.append(uiBarWidth - std::min(uiFilled, uiBarWidth), '-');
        Text += "]";
    }
    Text += ' ';
    Text += WideToUtf8(SpeedText);
    Text += ' ';
    Text += WideToUtf8(VolumeText);
    if (!PracticeText.empty())
    {
        Text += ' ';
        Text += PracticeText;
    }
    if (bDevice && !DeviceRateText.empty())
    {
        Text += ' ';
        Text += WideToUtf8(DeviceRateText);
        Text += " Hz ";
        Text += WideToUtf8(BitText);
        Text += " bit";
        if (bMode)
        {
            Text += ' ';
            Text += WideToUtf8(ModeText);
        }
    }
    Text += ' ';
    Text += WideToUtf8(!bPlaying ? PlayerTexts::STOP : bPaused ? PlayerTexts::PAUSE : PlayerTexts::PLAY);
    return Text;
}
