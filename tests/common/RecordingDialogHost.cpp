#include "tests/common/RecordingDialogHost.h"

#include "app/dialog/DialogControlIds.h"
#include "runtime/TextConversion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <thread>

using namespace DialogControlIds;

namespace
{
std::string Name(int32_t iId)
{
    switch (iId)
    {
    case ID_OK:
        return "Enter";
    case ID_CANCEL:
        return "Cancel";
    case ID_SPEED_SLIDER:
        return "speed slider";
    case ID_VOLUME_SLIDER:
        return "volume slider";
    case ID_PLAY:
        return "Play";
    case ID_STOP:
        return "Stop";
    case ID_PAUSE:
        return "Pause";
    case ID_PATH_FIELD:
        return "path field";
    case ID_CHOOSE_FILE:
        return "\"...\"";
    case ID_FILE_LIST:
        return "file list";
    case ID_DEVICE_COMBO:
        return "device combo";
    case ID_RATE_COMBO:
        return "rate combo";
    case ID_ENHANCER_CHECK:
        return "enhancer check box";
    case ID_BIT_FIELD:
        return "bit field";
    case ID_SPEED_LABEL:
        return "speed label";
    case ID_DEVICE_LIST:
        return "device list";
    case ID_VOLUME_LABEL:
        return "volume label";
    case ID_PROGRESS:
        return "progress bar";
    case ID_SETTINGS:
        return "settings button";
    default:
        return "control " + std::to_string(iId);
    }
}

std::string Quote(const char16_t* pText)
{
    // Appended piece by piece: MinGW's g++ 12 at -O3 takes "..." + std::string for an overlapping
    // copy (-Werror=restrict).
    std::string Quoted(1, '"');
    Quoted += WideToUtf8(pText != nullptr ? pText : u"");
    Quoted += '"';
    return Quoted;
}
} // namespace

RecordingDialogHost::~RecordingDialogHost()
{
    if (::testing::Test::HasFailure())
    {
        std::cerr << "Dialog transcript:\n" << TranscriptText();
    }
}

std::string RecordingDialogHost::TranscriptText() const
{
    std::string Text;
    for (const std::string& Line : Lines)
    {
        Text += "  " + Line + "\n";
    }
    return Text;
}

void RecordingDialogHost::Record(const std::string& Line)
{
    Lines.push_back(Line);
}

void RecordingDialogHost::Open()
{
    Record("user: open the dialog");
    if (pHandler != nullptr)
    {
        pHandler->OnInitDialog();
    }
}

bool RecordingDialogHost::Click(int32_t iId)
{
    if (iId != ID_OK && iId != ID_CANCEL && !IsEnabled(iId))
    {
        Record("user: click " + Name(iId) + " (disabled, nothing happens)");
        return false;
    }
    Record("user: click " + Name(iId));
    return InMemoryDialogHost::Click(iId);
}

void RecordingDialogHost::MoveSlider(int32_t iId, int32_t iPosition)
{
    PlaceSlider(iId, iPosition);
    Record("user: move " + Name(iId) + " to " + std::to_string(Item(iId).iPosition));
    NotifyScroll(iId);
}

void RecordingDialogHost::TypeText(int32_t iId, const std::u16string& Text)
{
    Record("user: type " + Quote(Text.c_str()) + " into " + Name(iId));
    InMemoryDialogHost::TypeText(iId, Text);
}

void RecordingDialogHost::SelectEntry(int32_t iId, int32_t iIndex)
{
    Record("user: select entry " + std::to_string(iIndex) + " of " + Name(iId));
    InMemoryDialogHost::SelectEntry(iId, iIndex);
}

void RecordingDialogHost::SetChecked(int32_t iId, int32_t bChecked)
{
    Record("user: " + std::string(bChecked != 0 ? "tick " : "untick ") + Name(iId));
    Item(iId).bChecked = bChecked;
    NotifyCommand(iId);
}

bool RecordingDialogHost::FireTimerUntilStopped(std::chrono::milliseconds Limit,
                                                std::chrono::steady_clock::duration& Longest)
{
    using Clock = std::chrono::steady_clock;
    const auto Deadline = Clock::now() + Limit;
    Longest = Clock::duration{};
    for (;;)
    {
        const auto Before = Clock::now();
        if (!FireTimer())
        {
            return true;
        }
        Longest = std::max(Longest, Clock::now() - Before);
        if (Clock::now() > Deadline)
        {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void RecordingDialogHost::SetWindowTitle(const char16_t* pText)
{
    Record("title " + Quote(pText));
    InMemoryDialogHost::SetWindowTitle(pText);
}

void RecordingDialogHost::SetItemText(int32_t iId, const char16_t* pText)
{
    Record("text of " + Name(iId) + " = " + Quote(pText));
    InMemoryDialogHost::SetItemText(iId, pText);
}

uint32_t RecordingDialogHost::GetItemUnsigned(int32_t iId, int32_t& bValid)
{
    const uint32_t uiValue = InMemoryDialogHost::GetItemUnsigned(iId, bValid);
    Record("read " + Name(iId) + (bValid != 0 ? " as " + std::to_string(uiValue) : " (no number)"));
    return uiValue;
}

void RecordingDialogHost::SetItemUnsigned(int32_t iId, uint32_t uiValue)
{
    Record("number of " + Name(iId) + " = " + std::to_string(uiValue));
    InMemoryDialogHost::SetItemUnsigned(iId, uiValue);
}

void RecordingDialogHost::EnableItem(int32_t iId, int32_t bEnable)
{
    Record(std::string(bEnable != 0 ? "enable " : "disable ") + Name(iId));
    InMemoryDialogHost::EnableItem(iId, bEnable);
}

void RecordingDialogHost::FocusItem(int32_t iId)
{
    Record("focus " + Name(iId));
    InMemoryDialogHost::FocusItem(iId);
}

void RecordingDialogHost::PutCaretAfterText(int32_t iId)
{
    Record("caret after the text of " + Name(iId));
    InMemoryDialogHost::PutCaretAfterText(iId);
}

void RecordingDialogHost::AddComboEntry(int32_t iId, const char16_t* pText)
{
    Record("add " + Quote(pText) + " to " + Name(iId));
    InMemoryDialogHost::AddComboEntry(iId, pText);
}

void RecordingDialogHost::SelectComboEntry(int32_t iId, int32_t iIndex)
{
    InMemoryDialogHost::SelectComboEntry(iId, iIndex);
    Record("select entry " + std::to_string(iIndex) + " of " + Name(iId) + " (" +
           WideToUtf8(SelectedText(iId)) + ")");
}

void RecordingDialogHost::SetSliderRange(int32_t iId, int32_t iMinimum, int32_t iMaximum)
{
    Record("range of " + Name(iId) + " = " + std::to_string(iMinimum) + " ... " + std::to_string(iMaximum));
    InMemoryDialogHost::SetSliderRange(iId, iMinimum, iMaximum);
}

void RecordingDialogHost::SetSliderTickFrequency(int32_t iId, int32_t iFrequency)
{
    Record("ticks of " + Name(iId) + " every " + std::to_string(iFrequency));
    InMemoryDialogHost::SetSliderTickFrequency(iId, iFrequency);
}

void RecordingDialogHost::SetSliderPageSize(int32_t iId, int32_t iPageSize)
{
    Record("page size of " + Name(iId) + " = " + std::to_string(iPageSize));
    InMemoryDialogHost::SetSliderPageSize(iId, iPageSize);
}

void RecordingDialogHost::SetSliderPosition(int32_t iId, int32_t iPosition)
{
    Record("position of " + Name(iId) + " = " + std::to_string(iPosition));
    InMemoryDialogHost::SetSliderPosition(iId, iPosition);
}

void RecordingDialogHost::SetProgressRange(int32_t iId, int32_t iMinimum, int32_t iMaximum)
{
    Record("range of " + Name(iId) + " = " + std::to_string(iMinimum) + " ... " + std::to_string(iMaximum));
    InMemoryDialogHost::SetProgressRange(iId, iMinimum, iMaximum);
}

void RecordingDialogHost::SetProgressPosition(int32_t iId, int32_t iPosition)
{
    // The timer moves it every 10 ms; only changes go into the transcript.
    if (Item(iId).iPosition != iPosition)
    {
        Record("position of " + Name(iId) + " = " + std::to_string(iPosition));
    }
    InMemoryDialogHost::SetProgressPosition(iId, iPosition);
}

void RecordingDialogHost::InsertListRow(int32_t iId, int32_t iRow, const char16_t* pItemText)
{
    Record("row " + std::to_string(iRow) + " of " + Name(iId) + " = " + Quote(pItemText));
    InMemoryDialogHost::InsertListRow(iId, iRow, pItemText);
}

void RecordingDialogHost::InsertListColumn(int32_t iId, int32_t iColumn, const char16_t* pTitle,
                                           int32_t iWidth, int32_t bLeftAligned)
{
    Record("column " + std::to_string(iColumn) + " of " + Name(iId) + " = " + Quote(pTitle) + ", " +
           std::to_string(iWidth) + " px" + (bLeftAligned != 0 ? ", left-aligned" : ""));
    InMemoryDialogHost::InsertListColumn(iId, iColumn, pTitle, iWidth, bLeftAligned);
}

void RecordingDialogHost::SetListCell(int32_t iId, int32_t iRow, int32_t iColumn, const char16_t* pText)
{
    Record("cell " + std::to_string(iRow) + "," + std::to_string(iColumn) + " of " + Name(iId) + " = " +
           Quote(pText));
    InMemoryDialogHost::SetListCell(iId, iRow, iColumn, pText);
}

void RecordingDialogHost::SetCheck(int32_t iId, int32_t bChecked)
{
    Record(std::string(bChecked != 0 ? "tick " : "untick ") + Name(iId));
    InMemoryDialogHost::SetCheck(iId, bChecked);
}

void RecordingDialogHost::StartTimer(uint32_t uiTimerId, uint32_t uiMilliseconds)
{
    Record("start timer " + std::to_string(uiTimerId) + " every " + std::to_string(uiMilliseconds) + " ms");
    InMemoryDialogHost::StartTimer(uiTimerId, uiMilliseconds);
}

void RecordingDialogHost::KillTimer(uint32_t uiTimerId)
{
    Record("kill timer " + std::to_string(uiTimerId));
    InMemoryDialogHost::KillTimer(uiTimerId);
}

void RecordingDialogHost::ShowErrorMessage(const char16_t* pText, const char16_t* pCaption)
{
    Record("message " + Quote(pText) + " caption " + Quote(pCaption) + " (error icon; answered OK)");
    MessageLog.push_back({pText, pCaption});
    if (OnMessage)
    {
        OnMessage();
    }
    InMemoryDialogHost::ShowErrorMessage(pText, pCaption);
}

void RecordingDialogHost::DefaultBeep()
{
    Record("beep");
    InMemoryDialogHost::DefaultBeep();
}

int32_t RecordingDialogHost::ChooseOpenFile(const char16_t* pFilterName, const char16_t* pPattern,
                                            uint32_t uiFlags, uint32_t uiCapacity, std::u16string& Path)
{
    FilterName = pFilterName;
    Pattern = pPattern;
    uiFileFlags = uiFlags;
    uiNameCapacity = uiCapacity;
    const int32_t iChosen =
        InMemoryDialogHost::ChooseOpenFile(pFilterName, pPattern, uiFlags, uiCapacity, Path);
    Record("file dialog " + Quote(pFilterName) + " " + Quote(pPattern) + ": " +
           (iChosen > 0 ? "chose " + Quote(Path.c_str()) : std::string("cancelled")));
    return iChosen;
}

void RecordingDialogHost::ShowWaitCursor(int32_t bWait)
{
    Record(bWait != 0 ? "wait cursor on" : "wait cursor off");
    InMemoryDialogHost::ShowWaitCursor(bWait);
}

void RecordingDialogHost::EndDialog(int32_t iResult)
{
    Record("end dialog with " + std::to_string(iResult));
    InMemoryDialogHost::EndDialog(iResult);
}

void RecordingDialogHost::SendCommand(int32_t iId)
{
    Record("command " + Name(iId) + " sent");
    InMemoryDialogHost::SendCommand(iId);
}
