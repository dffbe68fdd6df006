#include "app/cli/StatusLine.h"

#include "app/dialog/DialogControlIds.h"

#include <gtest/gtest.h>

#include <sstream>

TEST(StatusLineTest, TimesAreMinutesSecondsAndCutTenths)
{
    EXPECT_EQ(StatusLine::FormatTime(0.0), "00:00.0");
    EXPECT_EQ(StatusLine::FormatTime(0.09), "00:00.0");
    EXPECT_EQ(StatusLine::FormatTime(59.99), "00:59.9");
    EXPECT_EQ(StatusLine::FormatTime(61.25), "01:01.2");
    EXPECT_EQ(StatusLine::FormatTime(20.0), "00:20.0");
    EXPECT_EQ(StatusLine::FormatTime(3600.0), "60:00.0");
    EXPECT_EQ(StatusLine::FormatTime(-1.0), "00:00.0");
}

TEST(StatusLineTest, LineAtStartMiddleAndEnd)
{
    StatusLine Line;
    Line.dfLengthSeconds = 20.0;
    Line.SpeedText = u"x1.0000";
    Line.VolumeText = u"-20.0 dB";
    Line.DeviceRateText = u"96000";
    Line.BitText = u"24";
    Line.ModeText = u"排他モード";
    Line.bPlaying = true;
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

TEST(StatusLineTest, ReadFromTheDialogsControls)
{
    using namespace DialogControlIds;
    std::ostringstream Messages;
    ConsoleDialogHost Host(Messages);
    Host.InsertListRow(ID_FILE_LIST, 0, u"a");
    Host.InsertListRow(ID_FILE_LIST, 1, u"b");
    Host.InsertListRow(ID_FILE_LIST, 2, u"c");
    Host.InsertListRow(ID_FILE_LIST, 3, u"d");
    Host.SetListCell(ID_FILE_LIST, 3, 1, u"2.000");
    for (int32_t i = 0; i < 3; ++i)
    {
        Host.InsertListRow(ID_DEVICE_LIST, i, u"");
    }
    Host.SetListCell(ID_DEVICE_LIST, 0, 1, u"48000");
    Host.SetListCell(ID_DEVICE_LIST, 2, 1, u"共有モード");
    Host.SetItemText(ID_BIT_FIELD, u"16");
    Host.SetItemText(ID_SPEED_LABEL, u"x0.5000");
    Host.SetItemText(ID_VOLUME_LABEL, u"-0.5 dB");
    Host.SetProgressRange(ID_PROGRESS, 0, 2147483647);
    Host.SetProgressPosition(ID_PROGRESS, 1073741824); // half way
    Host.EnableItem(ID_STOP, 1);
    Host.EnableItem(ID_PLAY, 0);
    EXPECT_EQ(StatusLine::Of(Host).Format(4),
              "00:01.0 / 00:02.0 [##--] x0.5000 -0.5 dB 48000 Hz 16 bit 共有モード 再生");
}
