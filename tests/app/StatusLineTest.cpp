#include "app/cli/StatusLine.h"

#include "app/cli/CliSettingValues.h"
#include "app/cli/DisplayColumns.h"
#include "app/dialog/DialogControlIds.h"
#include "app/dialog/ScopedPlayerLanguage.h"

#include <gtest/gtest.h>

#include <sstream>

namespace
{
// A 20 s file playing at the given place, in exclusive mode at 96 kHz and 24 bits.
StatusLine Playing(double dfPositionSeconds, const char16_t* pSpeed, const char16_t* pVolume)
{
    StatusLine Line;
    Line.dfLengthSeconds = 20.0;
    Line.dfPositionSeconds = dfPositionSeconds;
    Line.SpeedText = pSpeed;
    Line.VolumeText = pVolume;
    Line.DeviceRateText = u"96000";
    Line.BitText = u"24";
    Line.ModeText = u"排他モード";
    Line.bPlaying = true;
    return Line;
}
} // namespace

TEST(StatusLineTest, TimesAreMinutesSecondsAndCutTenths)
{
    EXPECT_EQ(StatusLine::FormatTime(0.0), "00:00.0");
    EXPECT_EQ(StatusLine::FormatTime(0.09), "00:00.0");
    EXPECT_EQ(StatusLine::FormatTime(59.99), "00:59.9");
    EXPECT_EQ(StatusLine::FormatTime(61.25), "01:01.2");
    EXPECT_EQ(StatusLine::FormatTime(20.0), "00:20.0");
    EXPECT_EQ(StatusLine::FormatTime(-1.0), "00:00.0");
    // From an hour on, hours, minutes and seconds.
    EXPECT_EQ(StatusLine::FormatTime(3599.99), "59:59.9");
    EXPECT_EQ(StatusLine::FormatTime(3600.0), "1:00:00.0");
    EXPECT_EQ(StatusLine::FormatTime(4350.0), "1:12:30.0");
    EXPECT_EQ(StatusLine::FormatTime(9000.0), "2:30:00.0");
    EXPECT_EQ(StatusLine::FormatTime(36000.05), "10:00:00.0");
    EXPECT_EQ(CliSettingValues::MinutesText(59.99), "0:59.9");
    EXPECT_EQ(CliSettingValues::MinutesText(754.5), "12:34.5");
    EXPECT_EQ(CliSettingValues::MinutesText(4350.0), "1:12:30.0");
    StatusLine Long;
    Long.dfLengthSeconds = 9000.0;
    Long.dfPositionSeconds = 4350.0;
    Long.SpeedText = u"x1.0000";
    Long.VolumeText = u"-20.0 dB";
    EXPECT_EQ(Long.Format(4), "1:12:30.0 / 2:30:00.0 [#---] x1.0000 -20.0 dB 停止");
}

TEST(StatusLineTest, LineAtStartMiddleAndEnd)
{
    StatusLine Line = Playing(0.0, u"x1.0000", u"-20.0 dB");
    EXPECT_EQ(Line.Format(),
              "00:00.0 / 00:20.0 [--------------------] x1.0000 -20.0 dB 96000 Hz 24 bit 排他モード 再生");
    Line.dfPositionSeconds = 10.05;
    Line.bPaused = true;
    Line.ModeText = u"共有モード";
    EXPECT_EQ(
        Line.Format(),
        "00:10.0 / 00:20.0 [##########----------] x1.0000 -20.0 dB 96000 Hz 24 bit 共有モード 一時停止");
    Line.dfPositionSeconds = 20.0;
    Line.bPlaying = false;
    Line.bPaused = false;
    Line.DeviceRateText.clear();
    EXPECT_EQ(Line.Format(10), "00:20.0 / 00:20.0 [##########] x1.0000 -20.0 dB 停止");
}

// In place the line never wraps: at 120 columns all of it, at 80 a shorter bar, at 60 no bar and
// no mode words, narrower still cut; widths in display columns (the Japanese words take two each),
// the same layout playing and paused.
TEST(StatusLineTest, FitsTheTerminalInDisplayColumns)
{
    StatusLine Line = Playing(7.3, u"x0.7492", u"-12.0 dB");
    const std::string Full =
        "00:07.3 / 00:20.0 [#######-------------] x0.7492 -12.0 dB 96000 Hz 24 bit 排他モード 再生";
    EXPECT_EQ(DisplayColumns(Full), 89u);
    EXPECT_EQ(Line.Fit(0), Full);
    EXPECT_EQ(Line.Fit(120), Full);
    EXPECT_EQ(Line.Fit(80), "00:07.3 / 00:20.0 [##----] x0.7492 -12.0 dB 96000 Hz 24 bit 排他モード 再生");
    EXPECT_EQ(Line.Fit(60), "00:07.3 / 00:20.0 x0.7492 -12.0 dB 96000 Hz 24 bit 再生");
    EXPECT_EQ(Line.Fit(40), "00:07.3 x0.7492 -12.0 dB 再生");
    Line.bPaused = true;
    EXPECT_EQ(Line.Fit(80),
              "00:07.3 / 00:20.0 [##----] x0.7492 -12.0 dB 96000 Hz 24 bit 排他モード 一時停止");
    EXPECT_EQ(Line.Fit(60), "00:07.3 / 00:20.0 x0.7492 -12.0 dB 96000 Hz 24 bit 一時停止");
    EXPECT_EQ(Line.Fit(40), "00:07.3 x0.7492 -12.0 dB 一時停止");
    for (const uint32_t uiColumns : {20u, 40u, 59u, 60u, 61u, 79u, 80u, 81u, 93u, 94u, 120u})
    {
        for (const bool bPaused : {false, true})
        {
            Line.bPaused = bPaused;
            const std::string Fitted = Line.Fit(uiColumns);
            EXPECT_LT(DisplayColumns(Fitted), uiColumns) << Fitted;
            // All of it whenever the paused line, the widest, fits.
            EXPECT_EQ(Fitted == Line.Format(), uiColumns > 93) << uiColumns;
        }
    }
    // The loop and the trainer stay; the device's figures make room for them at 80 columns.
    Line.PracticeText = "A 0:12.0 B 0:19.5 rep 12 next x0.79";
    EXPECT_EQ(Line.Fit(80),
              "00:07.3 / 00:20.0 x0.7492 -12.0 dB A 0:12.0 B 0:19.5 rep 12 next x0.79 一時停止");
    EXPECT_EQ(DisplayColumns("x\xE2\x80\x8B"
                             "ab"),
              3u);
    EXPECT_EQ(CutToColumns("ab再生", 3), "ab");
}

// A narrow terminal keeps the state word and the loop (or a notice) before everything else: the
// rest goes piece by piece, the bar first and the position last, and only then is the practice
// text cut; the state word stays whole while it fits at all.
TEST(StatusLineTest, NarrowLinesKeepTheStateWordAndTheLoop)
{
    StatusLine Line = Playing(11.9, u"x1.0000", u"-20.0 dB");
    Line.dfLengthSeconds = 60.0;
    Line.bPaused = true;
    Line.PracticeText = "not that far: the file ends at 1:00.0";
    EXPECT_EQ(Line.Fit(70), "00:11.9 x1.0000 not that far: the file ends at 1:00.0 一時停止");
    Line.PracticeText = "A 0:02.0 B 0:04.0 rep 1";
    EXPECT_EQ(Line.Fit(70), "00:11.9 / 01:00.0 x1.0000 -20.0 dB A 0:02.0 B 0:04.0 rep 1 一時停止");
    EXPECT_EQ(Line.Fit(60), "00:11.9 x1.0000 -20.0 dB A 0:02.0 B 0:04.0 rep 1 一時停止");
    EXPECT_EQ(Line.Fit(50), "00:11.9 x1.0000 A 0:02.0 B 0:04.0 rep 1 一時停止");
    EXPECT_EQ(Line.Fit(45), "00:11.9 A 0:02.0 B 0:04.0 rep 1 一時停止");
    EXPECT_EQ(Line.Fit(34), "A 0:02.0 B 0:04.0 rep 1 一時停止");
    EXPECT_EQ(Line.Fit(30), "A 0:02.0 B 0:04.0 re 一時停止");
    EXPECT_EQ(Line.Fit(12), "A 一時停止");
    EXPECT_EQ(Line.Fit(10), "一時停止");
    EXPECT_EQ(Line.Fit(6), "一時");
    Line.bPaused = false;
    EXPECT_EQ(Line.Fit(50), "00:11.9 x1.0000 A 0:02.0 B 0:04.0 rep 1 再生");
    EXPECT_EQ(Line.Fit(30), "A 0:02.0 B 0:04.0 re 再生");
    // Whatever the width, the line fits and ends with the state word while it fits at all.
    for (uint32_t uiColumns = 2; uiColumns <= 120; ++uiColumns)
    {
        for (const bool bPaused : {false, true})
        {
            Line.bPaused = bPaused;
            const std::string Fitted = Line.Fit(uiColumns);
            EXPECT_LT(DisplayColumns(Fitted), uiColumns) << Fitted;
            const std::string State = bPaused ? "一時停止" : "再生";
            if (uiColumns > 9)
            {
                EXPECT_EQ(Fitted.substr(Fitted.size() - State.size()), State) << uiColumns;
            }
            if (uiColumns > 24 + 9)
            {
                EXPECT_NE(Fitted.find("A 0:02.0 B 0:04.0 rep 1 "), std::string::npos) << uiColumns;
            }
        }
    }
    const ScopedPlayerLanguage EnglishWherePlayingIsTheWiderWord(PlayerLanguage::English);
    EXPECT_EQ(Line.Fit(31), "A 0:02.0 B 0:04.0 rep paused");
    Line.bPaused = false;
    EXPECT_EQ(Line.Fit(31), "A 0:02.0 B 0:04.0 rep playing");
}
