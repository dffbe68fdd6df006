#include "app/cli/ConsoleDialogHost.h"

#include "app/dialog/DialogControlIds.h"
#include "app/dialog/MainDialogLayout.h"
#include "runtime/TextConversion.h"

#include <algorithm>

ConsoleDialogHost::ConsoleDialogHost(std::ostream& Messages) : Messages(Messages)
{
    // The controls as the dialog template creates them, before the logic fills them.
    const MainDialogLayout::Control* pControls = MainDialogLayout::Controls();
    for (int32_t i = 0; i < MainDialogLayout::CONTROL_COUNT; ++i)
    {
        if (pControls[i].iId == MainDialogLayout::NO_ID)
        {
            continue;
        }
        Control& Item = Controls[pControls[i].iId];
        Item.Text = pControls[i].pCaption != nullptr ? pControls[i].pCaption : u"";
        Item.bEnabled = pControls[i].bInitiallyDisabled != 0 ? 0 : 1;
    }
}

bool ConsoleDialogHost::Click(int32_t iId)
{
    const bool bAlways = iId == DialogControlIds::ID_OK || iId == DialogControlIds::ID_CANCEL;
    if (pHandler == nullptr || (!bAlways && Controls[iId].bEnabled == 0))
    {
        return false;
    }
    pHandler->OnCommand(iId);
    return true;
}

bool ConsoleDialogHost::MoveSlider(int32_t iId, int32_t iPosition)
{
    Control& Slider = Controls[iId];
    const int32_t iClamped =
        std::clamp(iPosition, Slider.iMinimum, std::max(Slider.iMinimum, Slider.iMaximum));
    if (iClamped == Slider.iPosition)
    {
        return false;
    }
    Slider.iPosition = iClamped;
    if (pHandler != nullptr)
    {
        pHandler->OnVScroll(iId);
    }
    return true;
}

void ConsoleDialogHost::TypeText(int32_t iId, const std::u16string& Text)
{
    Controls[iId].Text = Text;
}

void ConsoleDialogHost::SelectEntry(int32_t iId, int32_t iIndex)
{
    Controls[iId].iSelection = iIndex;
}

void ConsoleDialogHost::SetChecked(int32_t iId, int32_t bChecked)
{
    Controls[iId].bChecked = bChecked != 0 ? 1 : 0;
}

std::u16string ConsoleDialogHost::Cell(int32_t iList, int32_t iRow, int32_t iColumn)
{
    const Control& List = Controls[iList];
    if (iRow < 0 || static_cast<size_t>(iRow) >= List.Rows.size() || iColumn < 0 ||
        static_cast<size_t>(iColumn) >= List.Rows[iRow].size())
    {
        return std::u16string();
    }
    return List.Rows[iRow][iColumn];
}

void ConsoleDialogHost::SetWindowTitle(const char16_t* pText)
{
    WindowTitle = pText != nullptr ? pText : u"";
}

void ConsoleDialogHost::SetItemText(int32_t iId, const char16_t* pText)
{
    Controls[iId].Text = pText != nullptr ? pText : u"";
}

std::u16string ConsoleDialogHost::GetItemText(int32_t iId)
{
    return Controls[iId].Text;
}

uint32_t ConsoleDialogHost::GetItemUnsigned(int32_t iId, int32_t& bValid)
{
    // As an edit field reads: optional blanks, then decimal digits that fit 32 bits, nothing after.
    const std::u16string& Text = Controls[iId].Text;
    size_t i = 0;
    while (i < Text.size() && Text[i] == u' ')
    {
        ++i;
    }
    uint64_t ullValue = 0;
    size_t uDigits = 0;
    for (; i < Text.size() && Text[i] >= u'0' && Text[i] <= u'9'; ++i, ++uDigits)
    {
        ullValue = ullValue * 10 + static_cast<uint64_t>(Text[i] - u'0');
        if (ullValue > UINT32_MAX)
        {
            bValid = 0;
            return 0;
        }
    }
    bValid = uDigits > 0 && i == Text.size() ? 1 : 0;
    return bValid != 0 ? static_cast<uint32_t>(ullValue) : 0;
}

void ConsoleDialogHost::SetItemUnsigned(int32_t iId, uint32_t uiValue)
{
    const std::string Digits = std::to_string(uiValue);
    Controls[iId].Text.assign(Digits.begin(), Digits.end());
}

void ConsoleDialogHost::EnableItem(int32_t iId, int32_t bEnable)
{
    Controls[iId].bEnabled = bEnable != 0 ? 1 : 0;
}

void ConsoleDialogHost::AddComboEntry(int32_t iId, const char16_t* pText)
{
    Controls[iId].Entries.emplace_back(pText != nullptr ? pText : u"");
}

void ConsoleDialogHost::SelectComboEntry(int32_t iId, int32_t iIndex)
{
    Control& Combo = Controls[iId];
    Combo.iSelection = iIndex >= 0 && static_cast<size_t>(iIndex) < Combo.Entries.size() ? iIndex : -1;
}

int32_t ConsoleDialogHost::GetComboSelection(int32_t iId)
{
    return Controls[iId].iSelection;
}

void ConsoleDialogHost::SetSliderRange(int32_t iId, int32_t iMinimum, int32_t iMaximum)
{
    Controls[iId].iMinimum = iMinimum;
    Controls[iId].iMaximum = iMaximum;
}

void ConsoleDialogHost::SetSliderPosition(int32_t iId, int32_t iPosition)
{
    Control& Slider = Controls[iId];
    Slider.iPosition = std::clamp(iPosition, Slider.iMinimum, std::max(Slider.iMinimum, Slider.iMaximum));
}

int32_t ConsoleDialogHost::GetSliderPosition(int32_t iId)
{
    return Controls[iId].iPosition;
}

void ConsoleDialogHost::SetProgressRange(int32_t iId, int32_t iMinimum, int32_t iMaximum)
{
    SetSliderRange(iId, iMinimum, iMaximum);
}

void ConsoleDialogHost::SetProgressPosition(int32_t iId, int32_t iPosition)
{
    SetSliderPosition(iId, iPosition);
}

void ConsoleDialogHost::InsertListRow(int32_t iId, int32_t iRow, const char16_t* pItemText)
{
    auto& Rows = Controls[iId].Rows;
    const size_t uAt = std::min(static_cast<size_t>(std::max(iRow, 0)), Rows.size());
    Rows.insert(Rows.begin() + static_cast<std::ptrdiff_t>(uAt),
                std::vector<std::u16string>{pItemText != nullptr ? pItemText : u"", u""});
}

void ConsoleDialogHost::SetListCell(int32_t iId, int32_t iRow, int32_t iColumn, const char16_t* pText)
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

int32_t ConsoleDialogHost::GetCheck(int32_t iId)
{
    return Controls[iId].bChecked;
}

void ConsoleDialogHost::SetCheck(int32_t iId, int32_t bChecked)
{
    Controls[iId].bChecked = bChecked != 0 ? 1 : 0;
}

void ConsoleDialogHost::StartTimer(uint32_t uiTimerId, uint32_t)
{
    Timers.insert(uiTimerId);
}

void ConsoleDialogHost::KillTimer(uint32_t uiTimerId)
{
    Timers.erase(uiTimerId);
}

void ConsoleDialogHost::ShowErrorMessage(const char16_t* pText, const char16_t* pCaption)
{
    ++uiMessages;
    if (BeforeMessage)
    {
        BeforeMessage();
    }
    Messages << WideToUtf8(pCaption != nullptr ? pCaption : u"") << ": "
             << WideToUtf8(pText != nullptr ? pText : u"") << std::endl;
}

void ConsoleDialogHost::DefaultBeep()
{
    Messages << '\a' << std::flush;
}

int32_t ConsoleDialogHost::ChooseOpenFile(const char16_t*, const char16_t*, uint32_t, uint32_t,
                                          std::u16string& Path)
{
    Path = FileChoice;
    return FileChoice.empty() ? 0 : 1;
}

void ConsoleDialogHost::EndDialog(int32_t iResult)
{
    bEnded = 1;
    iEndResult = iResult;
}

void ConsoleDialogHost::SendCommand(int32_t iId)
{
    if (pHandler != nullptr)
    {
        pHandler->OnCommand(iId);
    }
}
