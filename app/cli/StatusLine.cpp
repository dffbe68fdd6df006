#include "app/cli/StatusLine.h"

#include "app/cli/CliNumbers.h"
#include "app/cli/DisplayColumns.h"
#include "app/dialog/DialogControlIds.h"
#include "app/dialog/DialogControls.h"
#include "app/dialog/PlayerTexts.h"
#include "app/player/PlayerScales.h"
#include "app/player/PlayerState.h"
#include "runtime/TextConversion.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <utility>

StatusLine StatusLine::Of(ConsoleDialogHost& Host, const PlaybackSession& Session,
                          const PlaybackEngine::StartReport& Report)
{
    using namespace DialogControlIds;
    StatusLine Line;
    // The place heard and the length in frames of the file, exactly, so a jump's target shows as
    // itself.
    Line.dfPositionSeconds = Session.Seconds(Session.GetHeardPosition());
    Line.dfLengthSeconds = Session.Seconds(Session.GetLength());
    char Text[40];
    std::snprintf(Text, sizeof(Text), "x%.4f",
                  PlayerScales::SpeedOfPosition(Host.Item(ID_SPEED_SLIDER).iPosition));
    Line.SpeedText = Utf8ToWide(Text);
    if (Session.IsKeepPitchOn())
    {
        // The speed is a tempo then: the word goes with it.
        Line.SpeedText += u" ";
        Line.SpeedText += PlayerTexts::STATUS_KEEP_PITCH;
    }
    char16_t Volume[PlayerScales::LABEL_BYTES / 2];
    DialogControls::FormatVolumeText(Host.Item(ID_VOLUME_SLIDER).iPosition, Volume, sizeof(Volume));
    Line.VolumeText = Volume;
    Line.bPlaying = Session.IsPlaying() != 0;
    Line.bPaused = Line.bPlaying && Session.IsPaused() != 0;
    if (Line.bPlaying && Report.bDeviceOpened != 0 && Report.uiDeviceBits != 0)
    {
        std::snprintf(Text, sizeof(Text), "%.0f", Report.dfDeviceRate);
        Line.DeviceRateText = Utf8ToWide(Text);
        // The effective bits, at most the device's.
        Line.BitText = Utf8ToWide(
            std::to_string(std::min(PlayerState::Instance().uiEffectiveBitCount, Report.uiDeviceBits)));
        Line.ModeText = (Report.bShared != 0 ? PlayerTexts::MODE_SHARED : PlayerTexts::MODE_EXCLUSIVE).Get();
    }
    return Line;
}

std::string StatusLine::FormatTime(double dfSeconds)
{
    return ClockText(dfSeconds, 2);
}

std::string StatusLine::Format(uint32_t uiBarWidth) const
{
    Parts All;
    All.uiBar = uiBarWidth;
    return Compose(All);
}

std::string StatusLine::Fit(uint32_t uiColumns) const
{
    if (uiColumns == 0)
    {
        return Format();
    }
    // Measured with the widest state word, so that pausing and resuming keep the layout.
    const size_t ullPlaying = DisplayColumns(WideToUtf8(PlayerTexts::STATE_PLAYING));
    const size_t ullPaused = DisplayColumns(WideToUtf8(PlayerTexts::STATE_PAUSED));
    StatusLine Widest = *this;
    Widest.bPlaying = true;
    Widest.bPaused = ullPaused >= ullPlaying;
    const size_t ullRoom = uiColumns - 1;
    Parts Shown;
    for (uint32_t uiBar = FULL_BAR; uiBar >= SHORTEST_BAR; --uiBar)
    {
        Shown.uiBar = uiBar;
        if (DisplayColumns(Widest.Compose(Shown)) <= ullRoom)
        {
            return Compose(Shown);
        }
    }
    // Then the rest goes piece by piece, the least needed first; the loop (or a notice) and the state
    // word stay to the last.
    Shown.uiBar = 0;
    bool* const ORDER[] = {&Shown.bMode,   &Shown.bDevice, &Shown.bLength,
                           &Shown.bVolume, &Shown.bSpeed,  &Shown.bPosition};
    for (bool* pPart : ORDER)
    {
        if (DisplayColumns(Widest.Compose(Shown)) <= ullRoom)
        {
            return Compose(Shown);
        }
        *pPart = false;
    }
    if (DisplayColumns(Widest.Compose(Shown)) <= ullRoom)
    {
        return Compose(Shown);
    }
    // Still too narrow: the practice text is cut, the state word kept whole while it fits at all.
    const std::string State = StateWord();
    const size_t ullState = std::max(ullPlaying, ullPaused);
    if (PracticeText.empty() || ullRoom <= ullState + 1)
    {
        return CutToColumns(State, ullRoom);
    }
    std::string Cut = CutToColumns(PracticeText, ullRoom - ullState - 1);
    Cut.erase(Cut.find_last_not_of(' ') + 1);
    return Cut.empty() ? State : Cut + " " + State;
}

std::string StatusLine::StateWord() const
{
    return WideToUtf8(!bPlaying ? PlayerTexts::STATE_STOPPED
                      : bPaused ? PlayerTexts::STATE_PAUSED
                                : PlayerTexts::STATE_PLAYING);
}

std::string StatusLine::Compose(const Parts& Shown) const
{
    const double dfRatio =
        dfLengthSeconds > 0.0 ? std::clamp(dfPositionSeconds / dfLengthSeconds, 0.0, 1.0) : 0.0;
    const uint32_t uiFilled = static_cast<uint32_t>(std::floor(dfRatio * Shown.uiBar + 1e-9));
    // Appended piece by piece: chains of temporaries trip a false overlap warning of GCC 12 at -O3.
    std::string Text;
    const auto Separate = [&Text]
    {
        if (!Text.empty())
        {
            Text += ' ';
        }
    };
    if (Shown.bPosition)
    {
        Text += FormatTime(dfPositionSeconds);
        if (Shown.bLength)
        {
            Text += " / ";
            Text += FormatTime(dfLengthSeconds);
        }
    }
    if (Shown.uiBar > 0)
    {
        Separate();
        Text += "[";
        Text.append(uiFilled, '#');
        Text.append(Shown.uiBar - std::min(uiFilled, Shown.uiBar), '-');
        Text += "]";
    }
    if (Shown.bSpeed)
    {
        Separate();
        Text += WideToUtf8(SpeedText);
    }
    if (Shown.bVolume)
    {
        Separate();
        Text += WideToUtf8(VolumeText);
    }
    if (!PracticeText.empty())
    {
        Separate();
        Text += PracticeText;
    }
    if (Shown.bDevice && !DeviceRateText.empty())
    {
        Separate();
        Text += WideToUtf8(DeviceRateText);
        Text += " Hz ";
        Text += WideToUtf8(BitText);
        Text += " bit";
        if (Shown.bMode)
        {
            Text += ' ';
            Text += WideToUtf8(ModeText);
        }
    }
    Separate();
    Text += StateWord();
    return Text;
}
