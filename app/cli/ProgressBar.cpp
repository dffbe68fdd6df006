#include "app/cli/ProgressBar.h"

#include "runtime/FormatText.h"
#include "runtime/TextConversion.h"

#include <algorithm>
#include <string>

namespace
{
constexpr int BAR_WIDTH = 40;
constexpr double REDRAW_SECONDS = 0.1;
} // namespace

void ProgressBar::Update(uint64_t ullDone, uint64_t ullTotal, double dfElapsedSeconds)
{
    ullLastTotal = ullTotal;
    if (dfElapsedSeconds < dfDelay || (bShown && dfElapsedSeconds - dfLastDrawn < REDRAW_SECONDS))
    {
        return;
    }
    Draw(ullDone, ullTotal, dfElapsedSeconds);
}

void ProgressBar::Finish(double dfElapsedSeconds, bool bCompleted)
{
    if (!bShown)
    {
        return;
    }
    if (bCompleted)
    {
        Draw(ullLastTotal, ullLastTotal, dfElapsedSeconds);
    }
    Out << '\n';
    Out.flush();
}

void ProgressBar::Draw(uint64_t ullDone, uint64_t ullTotal, double dfElapsedSeconds)
{
    // A header that announces fewer frames than the file holds must not push the bar past its end.
    const double dfFraction =
        ullTotal == 0 ? 1.0 : std::min(1.0, static_cast<double>(ullDone) / static_cast<double>(ullTotal));
    const int iFilled = static_cast<int>(dfFraction * BAR_WIDTH);
    std::string Bar = "\r[";
    Bar.append(static_cast<size_t>(iFilled), '#');
    Bar.append(static_cast<size_t>(BAR_WIDTH - iFilled), '.');
    // FormatText is locale-independent, so the numbers read the same everywhere.
    char16_t Numbers[64];
    FormatText(Numbers, sizeof(Numbers), u"] %3d%% %6.1lf s", static_cast<int>(dfFraction * 100.0),
               dfElapsedSeconds);
    Out << Bar << WideToUtf8(Numbers);
    Out.flush();
    bShown = true;
    dfLastDrawn = dfElapsedSeconds;
}
