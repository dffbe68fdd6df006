#pragma once
#include "app/dialog/SDialogHandler.h"
#include "app/dialog/SDialogHost.h"

#include <cstdint>
#include <functional>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <vector>

// The main dialog's controls kept in memory (created as the dialog template creates them), for the terminal
// player: the dialog logic writes them as it would write a window, the player reads them back for its status
// line and acts on them as a user would (Click, MoveSlider, ...). Messages are printed on the error stream,
// caption first. The file dialog answers with the path given in advance. Timers are only recorded: the
// player's loop ticks the running ones.
class ConsoleDialogHost : public SDialogHost
{
public:
    struct Control
    {
        std::u16string Text;
        int32_t bEnabled = 1;
        std::vector<std::u16string> Entries;
        int32_t iSelection = -1;
        int32_t iMinimum = 0;
        int32_t iMaximum = 0;
        int32_t iPosition = 0;
        int32_t bChecked = 0;
        // Report lists: the cells of each row, column 0 first.
        std::vector<std::vector<std::u16string>> Rows;
    };

    explicit ConsoleDialogHost(std::ostream& Messages);

    void SetHandler(SDialogHandler* pNewHandler) { pHandler = pNewHandler; }

    // What a user does. Click delivers the command only when the control is enabled (identifiers 1
    // and 2 always) and tells whether it did; MoveSlider clamps to the slider's range and notifies
    // the handler only when the position changed.
    bool Click(int32_t iId);
    bool MoveSlider(int32_t iId, int32_t iPosition);
    void TypeText(int32_t iId, const std::u16string& Text);
    void SelectEntry(int32_t iId, int32_t iIndex);
    void SetChecked(int32_t iId, int32_t bChecked);
    // Called before a message is printed (the player ends its status line there first).
    void SetBeforeMessage(std::function<void()> Function) { BeforeMessage = std::move(Function); }
    // The file dialog's next answer; an empty path cancels it.
    void SetFileChoice(const std::u16string& Path) { FileChoice = Path; }

    const Control& Item(int32_t iId) { return Controls[iId]; }
    std::u16string Cell(int32_t iList, int32_t iRow, int32_t iColumn);
    bool IsTimerRunning(uint32_t uiTimerId) const { return Timers.count(uiTimerId) != 0; }
    bool HasEnded() const { return bEnded != 0; }
    int32_t EndResult() const { return iEndResult; }
    uint32_t MessageCount() const { return uiMessages; }
    std::u16string Title() const { return WindowTitle; }

    // SDialogHost.
    void SetWindowTitle(const char16_t* pText) override;
    void SetItemText(int32_t iId, const char16_t* pText) override;
    std::u16string GetItemText(int32_t iId) override;
    uint32_t GetItemUnsigned(int32_t iId, int32_t& bValid) override;
    void SetItemUnsigned(int32_t iId, uint32_t uiValue) override;
    void EnableItem(int32_t iId, int32_t bEnable) override;
    void FocusItem(int32_t) override {}
    void PutCaretAfterText(int32_t) override {}
    void AddComboEntry(int32_t iId, const char16_t* pText) override;
    void SelectComboEntry(int32_t iId, int32_t iIndex) override;
    int32_t GetComboSelection(int32_t iId) override;
    void SetSliderRange(int32_t iId, int32_t iMinimum, int32_t iMaximum) override;
    void SetSliderTickFrequency(int32_t, int32_t) override {}
    void SetSliderPageSize(int32_t, int32_t) override {}
    void SetSliderPosition(int32_t iId, int32_t iPosition) override;
    int32_t GetSliderPosition(int32_t iId) override;
    void SetProgressRange(int32_t iId, int32_t iMinimum, int32_t iMaximum) override;
    void SetProgressPosition(int32_t iId, int32_t iPosition) override;
    void InsertListRow(int32_t iId, int32_t iRow, const char16_t* pItemText) override;
    void InsertListColumn(int32_t, int32_t, const char16_t*, int32_t, int32_t) override {}
    void SetListCell(int32_t iId, int32_t iRow, int32_t iColumn, const char16_t* pText) override;
    int32_t GetCheck(int32_t iId) override;
    void SetCheck(int32_t iId, int32_t bChecked) override;
    void StartTimer(uint32_t uiTimerId, uint32_t uiMilliseconds) override;
    void KillTimer(uint32_t uiTimerId) override;
    void ShowErrorMessage(const char16_t* pText, const char16_t* pCaption) override;
    void DefaultBeep() override;
    int32_t ChooseOpenFile(const char16_t* pFilterName, const char16_t* pPattern, uint32_t uiFlags,
                           uint32_t uiNameCapacity, std::u16string& Path) override;
    void ShowWaitCursor(int32_t) override {}
    void EndDialog(int32_t iResult) override;
    void SendCommand(int32_t iId) override;

private:
    std::ostream& Messages;
    SDialogHandler* pHandler = nullptr;
    std::map<int32_t, Control> Controls;
    std::set<uint32_t> Timers;
    std::u16string WindowTitle;
    std::u16string FileChoice;
    std::function<void()> BeforeMessage;
    int32_t bEnded = 0;
    int32_t iEndResult = 0;
    uint32_t uiMessages = 0;
};
