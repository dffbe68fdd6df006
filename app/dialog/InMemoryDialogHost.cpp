#include "app/dialog/InMemoryDialogHost.h"

#include "app/dialog/DialogControlIds.h"
#include "app/dialog/DialogControls.h"
#include "app/dialog/MainDialogLayout.h"

#include <algorithm>
#include <string>

InMemoryDialogHost::InMemoryDialogHost()
{
    const MainDialogLayout::Control* pControls = MainDialogLayout::Controls();
    for (int32_t i = 0; i < MainDialogLayout::CONTROL_COUNT; ++i)
    {
        if (pControls[i].iId == MainDialogLayout::NO_ID)
        {
            continue;
        }
        Control& Item = Controls[pControls[i].iId];
        Item.Text = pControls[i].pCaption != nullptr ? MainDialogLayout::CaptionOf(pControls[i]) : u"";
        Item.bEnabled = pControls[i].bInitiallyDisabled != 0 ? 0 : 1;
    }
}

bool InMemoryDialogHost::Click(int32_t iId)
{
    const bool bAlways = iId == DialogControlIds::ID_OK || iId == DialogControlIds::ID_CANCEL;
    if (!bAlways && Controls[iId].bEnabled == 0)
    {
        return false;
    }
    NotifyCommand(iId);
    return true;
}

void InMemoryDialogHost::TypeText(int32_t iId, const std::u16string& Text)
{
    Controls[iId].Text = Text;
}

void InMemoryDialogHost::SelectEntry(int32_t iId, int32_t iIndex)
{
    Controls[iId].iSelection = iIndex;
}

bool InMemoryDialogHost::FireTimer(uint32_t uiTimerId)
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

bool InMemoryDialogHost::PlaceSlider(int32_t iId, int32_t iPosition)
{
    Control& Slider = Controls[iId];
    const int32_t iClamped =
        std::clamp(iPosition, Slider.iMinimum, std::max(Slider.iMinimum, Slider.iMaximum));
    const bool bChanged = iClamped != Slider.iPosition;
    Slider.iPosition = iClamped;
    return bChanged;
}

void InMemoryDialogHost::NotifyScroll(int32_t iId)
{
    if (pHandler != nullptr)
    {
        pHandler->OnVScroll(iId);
    }
}

void InMemoryDialogHost::NotifyCommand(int32_t iId)
{
    if (pHandler != nullptr)
    {
        pHandler->OnCommand(iId);
    }
}

std::u16string InMemoryDialogHost::Cell(int32_t iList, int32_t iRow, int32_t iColumn)
{
    const Control& List = Controls[iList];
    if (iRow < 0 || static_cast<size_t>(iRow) >= List.Rows.size() || iColumn < 0 ||
        static_cast<size_t>(iColumn) >= List.Rows[iRow].size())
    {
        return std::u16string();
    }
    return List.Rows[iRow][iColumn];
}

std::u16string InMemoryDialogHost::SelectedText(int32_t iCombo)
{
    const Control& Combo = Controls[iCombo];
    if (Combo.iSelection < 0 || static_cast<size_t>(Combo.iSelection) >= Combo.Entries.size())
    {
        return std::u16string();
    }
    return Combo.Entries[Combo.iSelection];
}

void InMemoryDialogHost::SetWindowTitle(const char16_t* pText)
{
    WindowTitle = pText != nullptr ? pText : u"";
}

void InMemoryDialogHost::SetItemText(int32_t iId, const char16_t* pText)
{
    Controls[iId].Text = pText != nullptr ? pText : u"";
}

std::u16string InMemoryDialogHost::GetItemText(int32_t iId)
{
    return Controls[iId].Text;
}

uint32_t InMemoryDialogHost::GetItemUnsigned(int32_t iId, int32_t& bValid)
{
    return DialogControls::ParseUnsignedField(Controls[iId].Text, bValid);
}

void InMemoryDialogHost::SetItemUnsigned(int32_t iId, uint32_t uiValue)
{
    const std::string Digits = std::to_string(uiValue);
    Controls[iId].Text.assign(Digits.begin(), Digits.end());
}

void InMemoryDialogHost::EnableItem(int32_t iId, int32_t bEnable)
{
    Controls[iId].bEnabled = bEnable != 0 ? 1 : 0;
}

void InMemoryDialogHost::FocusItem(int32_t iId)
{
    iFocus = iId;
}

void InMemoryDialogHost::PutCaretAfterText(int32_t iId)
{
    iCaretControl = iId;
}

void InMemoryDialogHost::AddComboEntry(int32_t iId, const char16_t* pText)
{
    Controls[iId].Entries.emplace_back(pText != nullptr ? pText : u"");
}

void InMemoryDialogHost::SelectComboEntry(int32_t iId, int32_t iIndex)
{
    Control& Combo = Controls[iId];
    Combo.iSelection = iIndex >= 0 && static_cast<size_t>(iIndex) < Combo.Entries.size() ? iIndex : -1;
}

int32_t InMemoryDialogHost::GetComboSelection(int32_t iId)
{
    return Controls[iId].iSelection;
}

void InMemoryDialogHost::SetSliderRange(int32_t iId, int32_t iMinimum, int32_t iMaximum)
{
    Controls[iId].iMinimum = iMinimum;
    Controls[iId].iMaximum = iMaximum;
}

void InMemoryDialogHost::SetSliderTickFrequency(int32_t iId, int32_t iFrequency)
{
    Controls[iId].iTickFrequency = iFrequency;
}

void InMemoryDialogHost::SetSliderPageSize(int32_t iId, int32_t iPageSize)
{
    Controls[iId].iPageSize = iPageSize;
}

void InMemoryDialogHost::SetSliderPosition(int32_t iId, int32_t iPosition)
{
    Controls[iId].iPosition = iPosition;
}

int32_t InMemoryDialogHost::GetSliderPosition(int32_t iId)
{
    return Controls[iId].iPosition;
}

void InMemoryDialogHost::SetProgressRange(int32_t iId, int32_t iMinimum, int32_t iMaximum)
{
    SetSliderRange(iId, iMinimum, iMaximum);
}

void InMemoryDialogHost::SetProgressPosition(int32_t iId, int32_t iPosition)
{
    Controls[iId].iPosition = iPosition;
}

void InMemoryDialogHost::InsertListRow(int32_t iId, int32_t iRow, const char16_t* pItemText)
{
    auto& Rows = Controls[iId].Rows;
    const size_t uAt = std::min(static_cast<size_t>(std::max(iRow, 0)), Rows.size());
    Rows.insert(Rows.begin() + static_cast<std::ptrdiff_t>(uAt),
                std::vector<std::u16string>{pItemText != nullptr ? pItemText : u""});
}

void InMemoryDialogHost::InsertListColumn(int32_t iId, int32_t iColumn, const char16_t* pTitle, int32_t,
                                          int32_t)
{
    auto& Columns = Controls[iId].Columns;
    const size_t uAt = std::min(static_cast<size_t>(std::max(iColumn, 0)), Columns.size());
    Columns.insert(Columns.begin() + static_cast<std::ptrdiff_t>(uAt), pTitle != nullptr ? pTitle : u"");
}

void InMemoryDialogHost::SetListCell(int32_t iId, int32_t iRow, int32_t iColumn, const char16_t* pText)
{
    auto& Rows = Controls[iId].Rows;
    if (iRow < 0 || static_cast<size_t>(iRow) >= Rows.size() || iColumn < 0)
    {
        return;
    }
    if (Rows[iRow].size() <= static_cast<size_t>(iColumn))
    {
        Rows[iRow].resize(static_cast<size_t>(iColumn) + 1);
    }
    Rows[iRow][iColumn] = pText != nullptr ? pText : u"";
}

int32_t InMemoryDialogHost::GetCheck(int32_t iId)
{
    return Controls[iId].bChecked;
}

void InMemoryDialogHost::SetCheck(int32_t iId, int32_t bChecked)
{
    Controls[iId].bChecked = bChecked != 0 ? 1 : 0;
}

void InMemoryDialogHost::StartTimer(uint32_t uiTimerId, uint32_t)
{
    Timers.insert(uiTimerId);
}

void InMemoryDialogHost::KillTimer(uint32_t uiTimerId)
{
    Timers.erase(uiTimerId);
}

void InMemoryDialogHost::ShowErrorMessage(const char16_t*, const char16_t*)
{
    ++uiMessages;
}

void InMemoryDialogHost::DefaultBeep()
{
    ++uiBeeps;
}

int32_t InMemoryDialogHost::ChooseOpenFile(const char16_t*, const char16_t*, uint32_t, uint32_t,
                                           std::u16string& Path)
{
    std::optional<std::u16string> Choice;
    if (!FileChoices.empty())
    {
        Choice = FileChoices.front();
        FileChoices.pop_front();
    }
    if (!Choice.has_value())
    {
        return 0;
    }
    Path = *Choice;
    return 1;
}

void InMemoryDialogHost::ShowWaitCursor(int32_t bWait)
{
    iWaitCursor += bWait != 0 ? 1 : -1;
    iMaximumWaitCursor = std::max(iMaximumWaitCursor, iWaitCursor);
}

void InMemoryDialogHost::EndDialog(int32_t iResult)
{
    bEnded = true;
    iEndResult = iResult;
}

void InMemoryDialogHost::SendCommand(int32_t iId)
{
    NotifyCommand(iId);
}

void InMemoryDialogHost::SetProgressLoop(int32_t iId, int32_t iStart, int32_t iEnd)
{
    Controls[iId].iLoopStart = iStart;
    Controls[iId].iLoopEnd = iEnd;
}

void InMemoryDialogHost::SetProgressMarkers(int32_t iId, const std::vector<int32_t>& Ticks)
{
    Controls[iId].MarkerTicks = Ticks;
}

void InMemoryDialogHost::SetItemTooltip(int32_t iId, const char16_t* pText)
{
    Controls[iId].Tooltip = pText != nullptr ? pText : u"";
}
