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

RecordingDialogHost::RecordingDialogHost()
{
    // As the dialog template has them.
    for (const int32_t iId : {ID_PLAY, ID_STOP, ID_PAUSE})
    {
        Controls[iId].bEnabled = 0;
    }
}

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
    if (iId != ID_OK && iId != ID_CANCEL && Controls[iId].bEnabled == 0)
    {
        Record("user: click " + Name(iId) + " (disabled, nothing happens)");
        return false;
    }
    Record("user: click " + Name(iId));
    if (pHandler != nullptr)
    {
        pHandler->OnCommand(iId);
    }
    return true;
}

void RecordingDialogHost::MoveSlider(int32_t iId, int32_t iPosition)
{
    Control& Slider = Controls[iId];
    Slider.iPosition = std::clamp(iPosition, Slider.iMinimum, std::max(Slider.iMinimum, Slider.iMaximum));
    Record("user: move " + Name(iId) + " to " + std::to_string(Slider.iPosition));
    if (pHandler != nullptr)
    {
        pHandler->OnVScroll(iId);
    }
}

void RecordingDialogHost::TypeText(int32_t iId, const std::u16string& Text)
{
    Record("user: type " + Quote(Text.c_str()) + " into " + Name(iId));
    Controls[iId].Text = Text;
}

void RecordingDialogHost::SelectEntry(int32_t iId, int32_t iIndex)
{
    Record("user: select entry " + std::to_string(iIndex) + " of " + Name(iId));
    Controls[iId].iSelection = iIndex;
}

void RecordingDialogHost::SetChecked(int32_t iId, int32_t bChecked)
{
    Record("user: " + std::string(bChecked != 0 ? "tick " : "untick ") + Name(iId));
    Controls[iId].bChecked = bChecked;
    if (pHandler != nullptr)
    {
        pHandler->OnCommand(iId);
    }
}

bool RecordingDialogHost::FireTimer(uint32_t uiTimerId)
{
    if (Timers.count(uiTimerId) == 0)
    {
        return false;
    }
    if (pHandler != nullptr)
    {
        pHandler->OnTimer(uiTimerId);
    }
    return true;
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

std::u16string RecordingDialogHost::Cell(int32_t iList, int32_t iRow, int32_t iColumn)
{
    const Control& List = Controls[iList];
    if (iRow < 0 || static_cast<size_t>(iRow) >= List.Rows.size() || iColumn < 0 ||
        static_cast<size_t>(iColumn) >= List.Rows[iRow].size())
    {
        return u"";
    }
    return List.Rows[iRow][iColumn];
}

std::u16string RecordingDialogHost::SelectedText(int32_t iCombo)
{
    const Control& Combo = Controls[iCombo];
    if (Combo.iSelection < 0 || static_cast<size_t>(Combo.iSelection) >= Combo.Entries.size())
    {
        return u"";
    }
    return Combo.Entries[Combo.iSelection];
}

void RecordingDialogHost::SetWindowTitle(const char16_t* pText)
{
    Record("title " + Quote(pText));
    WindowTitle = pText;
}

void RecordingDialogHost::SetItemText(int32_t iId, const char16_t* pText)
{
    Record("text of " + Name(iId) + " = " + Quote(pText));
    Controls[iId].Text = pText;
}

std::u16string RecordingDialogHost::GetItemText(int32_t iId)
{
    return Controls[iId].Text;
}

uint32_t RecordingDialogHost::GetItemUnsigned(int32_t iId, int32_t& bValid)
{
    // As an unsigned read of a dialog field: leading blanks skipped, then digits only, within 32 bits.
    const std::u16string& Text = Controls[iId].Text;
    size_t i = 0;
    while (i < Text.size() && Text[i] == u' ')
    {
        ++i;
    }
    uint64_t ullValue = 0;
    bValid = i < Text.size() ? 1 : 0;
    for (; i < Text.size() && bValid != 0; ++i)
    {
        if (Text[i] < u'0' || Text[i] > u'9')
        {
            bValid = 0;
            break;
        }
        ullValue = ullValue * 10 + static_cast<uint64_t>(Text[i] - u'0');
        if (ullValue > 0xFFFFFFFFu)
        {
            bValid = 0;
        }
    }
    Record("read " + Name(iId) + (bValid != 0 ? " as " + std::to_string(ullValue) : " (no number)"));
    return bValid != 0 ? static_cast<uint32_t>(ullValue) : 0;
}

void RecordingDialogHost::SetItemUnsigned(int32_t iId, uint32_t uiValue)
{
    Record("number of " + Name(iId) + " = " + std::to_string(uiValue));
    Controls[iId].Text = Utf8ToWide(std::to_string(uiValue));
}

void RecordingDialogHost::EnableItem(int32_t iId, int32_t bEnable)
{
    Record(std::string(bEnable != 0 ? "enable " : "disable ") + Name(iId));
    Controls[iId].bEnabled = bEnable != 0 ? 1 : 0;
}

void RecordingDialogHost::FocusItem(int32_t iId)
{
    Record("focus " + Name(iId));
    iFocus = iId;
}

void RecordingDialogHost::PutCaretAfterText(int32_t iId)
{
    Record("caret after the text of " + Name(iId));
    iCaretControl = iId;
}

void RecordingDialogHost::AddComboEntry(int32_t iId, const char16_t* pText)
{
    Record("add " + Quote(pText) + " to " + Name(iId));
    Controls[iId].Entries.emplace_back(pText);
}

void RecordingDialogHost::SelectComboEntry(int32_t iId, int32_t iIndex)
{
    Control& Combo = Controls[iId];
    Combo.iSelection = iIndex >= 0 && static_cast<size_t>(iIndex) < Combo.Entries.size() ? iIndex : -1;
    Record("select entry " + std::to_string(iIndex) + " of " + Name(iId) + " (" +
           WideToUtf8(SelectedText(iId)) + ")");
}

int32_t RecordingDialogHost::GetComboSelection(int32_t iId)
{
    return Controls[iId].iSelection;
}

void RecordingDialogHost::SetSliderRange(int32_t iId, int32_t iMinimum, int32_t iMaximum)
{
    Record("range of " + Name(iId) + " = " + std::to_string(iMinimum) + " ... " + std::to_string(iMaximum));
    Controls[iId].iMinimum = iMinimum;
    Controls[iId].iMaximum = iMaximum;
}

void RecordingDialogHost::SetSliderTickFrequency(int32_t iId, int32_t iFrequency)
{
    Record("ticks of " + Name(iId) + " every " + std::to_string(iFrequency));
    Controls[iId].iTickFrequency = iFrequency;
}

void RecordingDialogHost::SetSliderPageSize(int32_t iId, int32_t iPageSize)
{
    Record("page size of " + Name(iId) + " = " + std::to_string(iPageSize));
    Controls[iId].iPageSize = iPageSize;
}

void RecordingDialogHost::SetSliderPosition(int32_t iId, int32_t iPosition)
{
    Record("position of " + Name(iId) + " = " + std::to_string(iPosition));
    Controls[iId].iPosition = iPosition;
}

int32_t RecordingDialogHost::GetSliderPosition(int32_t iId)
{
    return Controls[iId].iPosition;
}

void RecordingDialogHost::SetProgressRange(int32_t iId, int32_t iMinimum, int32_t iMaximum)
{
    Record("range of " + Name(iId) + " = " + std::to_string(iMinimum) + " ... " + std::to_string(iMaximum));
    Controls[iId].iMinimum = iMinimum;
    Controls[iId].iMaximum = iMaximum;
}

void RecordingDialogHost::SetProgressPosition(int32_t iId, int32_t iPosition)
{
    // The timer moves it every 10 ms; only changes go into the transcript.
    if (Controls[iId].iPosition != iPosition)
    {
        Record("position of " + Name(iId) + " = " + std::to_string(iPosition));
    }
    Controls[iId].iPosition = iPosition;
}

void RecordingDialogHost::InsertListRow(int32_t iId, int32_t iRow, const char16_t* pItemText)
{
    Record("row " + std::to_string(iRow) + " of " + Name(iId) + " = " + Quote(pItemText));
    auto& Rows = Controls[iId].Rows;
    const size_t ullAt = std::min(static_cast<size_t>(std::max(iRow, 0)), Rows.size());
    Rows.insert(Rows.begin() + static_cast<std::ptrdiff_t>(ullAt), std::vector<std::u16string>{pItemText});
}

void RecordingDialogHost::InsertListColumn(int32_t iId, int32_t iColumn, const char16_t* pTitle,
                                           int32_t iWidth, int32_t bLeftAligned)
{
    Record("column " + std::to_string(iColumn) + " of " + Name(iId) + " = " + Quote(pTitle) + ", " +
           std::to_string(iWidth) + " px" + (bLeftAligned != 0 ? ", left-aligned" : ""));
    auto& Columns = Controls[iId].Columns;
    const size_t ullAt = std::min(static_cast<size_t>(std::max(iColumn, 0)), Columns.size());
    Columns.insert(Columns.begin() + static_cast<std::ptrdiff_t>(ullAt), pTitle);
}

void RecordingDialogHost::SetListCell(int32_t iId, int32_t iRow, int32_t iColumn, const char16_t* pText)
{
    Record("cell " + std::to_string(iRow) + "," + std::to_string(iColumn) + " of " + Name(iId) + " = " +
           Quote(pText));
    auto& Rows = Controls[iId].Rows;
    if (iRow < 0 || static_cast<size_t>(iRow) >= Rows.size() || iColumn < 0)
    {
        return;
    }
    if (Rows[iRow].size() <= static_cast<size_t>(iColumn))
    {
        Rows[iRow].resize(static_cast<size_t>(iColumn) + 1);
    }
    Rows[iRow][iColumn] = pText;
}

int32_t RecordingDialogHost::GetCheck(int32_t iId)
{
    return Controls[iId].bChecked;
}

void RecordingDialogHost::SetCheck(int32_t iId, int32_t bChecked)
{
    Record(std::string(bChecked != 0 ? "tick " : "untick ") + Name(iId));
    Controls[iId].bChecked = bChecked != 0 ? 1 : 0;
}

void RecordingDialogHost::StartTimer(uint32_t uiTimerId, uint32_t uiMilliseconds)
{
    Record("start timer " + std::to_string(uiTimerId) + " every " + std::to_string(uiMilliseconds) + " ms");
    Timers.insert(uiTimerId);
}

void RecordingDialogHost::KillTimer(uint32_t uiTimerId)
{
    Record("kill timer " + std::to_string(uiTimerId));
    Timers.erase(uiTimerId);
}

void RecordingDialogHost::ShowErrorMessage(const char16_t* pText, const char16_t* pCaption)
{
    Record("message " + Quote(pText) + " caption " + Quote(pCaption) + " (error icon; answered OK)");
    MessageLog.push_back({pText, pCaption});
}

void RecordingDialogHost::DefaultBeep()
{
    Record("beep");
    ++uiBeeps;
}

int32_t RecordingDialogHost::ChooseOpenFile(const char16_t* pFilterName, const char16_t* pPattern,
                                            uint32_t uiFlags, uint32_t uiCapacity, std::u16string& Path)
{
    FilterName = pFilterName;
    Pattern = pPattern;
    uiFileFlags = uiFlags;
    uiNameCapacity = uiCapacity;
    std::optional<std::u16string> Choice;
    if (!FileChoices.empty())
    {
        Choice = FileChoices.front();
        FileChoices.pop_front();
    }
    Record("file dialog " + Quote(pFilterName) + " " + Quote(pPattern) + ": " +
           (Choice.has_value() ? "chose " + Quote(Choice->c_str()) : std::string("cancelled")));
    if (!Choice.has_value())
    {
        return 0;
    }
    Path = *Choice;
    return 1;
}

void RecordingDialogHost::ShowWaitCursor(int32_t bWait)
{
    Record(bWait != 0 ? "wait cursor on" : "wait cursor off");
    iWaitCursor += bWait != 0 ? 1 : -1;
    iMaximumWaitCursor = std::max(iMaximumWaitCursor, iWaitCursor);
}

void RecordingDialogHost::EndDialog(int32_t iResult)
{
    Record("end dialog with " + std::to_string(iResult));
    bEnded = true;
    iEndResult = iResult;
}

void RecordingDialogHost::SendCommand(int32_t iId)
{
    Record("command " + Name(iId) + " sent");
    if (pHandler != nullptr)
    {
        pHandler->OnCommand(iId);
    }
}
