#pragma once
#include "app/dialog/SDialogHandler.h"
#include "app/dialog/SDialogHost.h"

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

// The main dialog's controls kept in memory, created as the dialog template creates them: the
// dialog logic writes them as it writes a window, and a caller reads them back and acts on them as a
// user would (Click, TypeText, ...). File dialogs take the answers given in advance, message boxes
// are answered at once, timers are only recorded (the owner ticks the running ones). The terminal
// player and the tests' recording host build on it; each adds what its messages, beeps and slider
// moves do. Everything happens on one thread, which plays the UI thread.
class InMemoryDialogHost : public SDialogHost
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
        int32_t iTickFrequency = 0;
        int32_t iPageSize = 0;
        int32_t iPosition = 0;
        int32_t bChecked = 0;
        // Report lists: the cells of each row, column 0 first, and the column titles.
        std::vector<std::vector<std::u16string>> Rows;
        std::vector<std::u16string> Columns;
        // The progress bar's loop marks and the tooltip.
        int32_t iLoopStart = -1;
        int32_t iLoopEnd = -1;
        std::vector<int32_t> MarkerTicks;
        std::u16string Tooltip;
    };

    InMemoryDialogHost();

    // The handler that gets the commands, slider moves and timer ticks.
    void SetHandler(SDialogHandler* pNewHandler) { pHandler = pNewHandler; }

    // What a user does. Click delivers the command only when the control is enabled (identifiers 1
    // and 2 always) and tells whether it did.
    bool Click(int32_t iId);
    void TypeText(int32_t iId, const std::u16string& Text);
    void SelectEntry(int32_t iId, int32_t iIndex);
    // Fires a running timer once; false when it is not running.
    bool FireTimer(uint32_t uiTimerId = 0);
    // The next file dialogs' answers, in order: a path, or nullopt for Cancel. Without one left the
    // dialog is cancelled.
    void ScriptFileChoice(std::optional<std::u16string> Path) { FileChoices.push_back(std::move(Path)); }

    // Observation.
    Control& Item(int32_t iId) { return Controls[iId]; }
    std::u16string Cell(int32_t iList, int32_t iRow, int32_t iColumn);
    std::u16string SelectedText(int32_t iCombo);
    bool IsEnabled(int32_t iId) { return Controls[iId].bEnabled != 0; }
    bool IsTimerRunning(uint32_t uiTimerId = 0) const { return Timers.count(uiTimerId) != 0; }
    std::u16string Title() const { return WindowTitle; }
    bool HasEnded() const { return bEnded; }
    int32_t EndResult() const { return iEndResult; }
    uint32_t MessageCount() const { return uiMessages; }
    uint32_t BeepCount() const { return uiBeeps; }
    int32_t WaitCursorDepth() const { return iWaitCursor; }
    int32_t MaximumWaitCursorDepth() const { return iMaximumWaitCursor; }

    // SDialogHost. ShowErrorMessage only counts the message (the derived host shows it);
    // ChooseOpenFile takes the next scripted answer.
    SDIALOGHOST_OVERRIDES

    // The control with the focus, and the edit field whose caret was put after its text (0 none).
    int32_t iFocus = 0;
    int32_t iCaretControl = 0;

protected:
    // A slider moved to iPosition, clamped to its range: true when its position changed.
    bool PlaceSlider(int32_t iId, int32_t iPosition);
    // The handler's slider and command notifications.
    void NotifyScroll(int32_t iId);
    void NotifyCommand(int32_t iId);

    SDialogHandler* pHandler = nullptr;
    std::map<int32_t, Control> Controls;

private:
    std::set<uint32_t> Timers;
    std::deque<std::optional<std::u16string>> FileChoices;
    std::u16string WindowTitle;
    bool bEnded = false;
    int32_t iEndResult = -1;
    uint32_t uiMessages = 0;
    uint32_t uiBeeps = 0;
    int32_t iWaitCursor = 0;
    int32_t iMaximumWaitCursor = 0;
};
