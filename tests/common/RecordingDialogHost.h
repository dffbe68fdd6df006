#pragma once
#include "app/dialog/SDialogHandler.h"
#include "app/dialog/SDialogHost.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

// A dialog host for tests: keeps the state of every control the logic touched, records every call
// in a transcript, answers message boxes at once (recording them), hands out scripted file-dialog
// choices, and lets the test click buttons, move sliders and fire the timer. Everything happens on
// the test's thread, which plays the UI thread. When the running test has failed, the destructor
// prints the transcript.
class RecordingDialogHost : public SDialogHost
{
public:
    struct Message
    {
        std::u16string Text;
        std::u16string Caption;
    };
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
        // List rows: the cells of each row, column 0 first.
        std::vector<std::vector<std::u16string>> Rows;
        std::vector<std::u16string> Columns;
    };

    RecordingDialogHost();
    ~RecordingDialogHost() override;

    // The handler that gets the commands, slider moves and timer ticks.
    void SetHandler(SDialogHandler* pNewHandler) { pHandler = pNewHandler; }
    // OnInitDialog through the handler.
    void Open();

    // User actions. Click delivers the command only when the control is enabled (identifiers 1 and
    // 2 always) and tells whether it did.
    bool Click(int32_t iId);
    // Moves a slider (clamped to its range) and notifies the handler.
    void MoveSlider(int32_t iId, int32_t iPosition);
    void TypeText(int32_t iId, const std::u16string& Text);
    void SelectEntry(int32_t iId, int32_t iIndex);
    void SetChecked(int32_t iId, int32_t bChecked);
    // Fires a running timer once; false when it is not running.
    bool FireTimer(uint32_t uiTimerId = 0);
    // Fires the progress timer every millisecond, as the real one would, until the player stops it:
    // false when it still runs after Limit. Longest: the longest single tick.
    bool FireTimerUntilStopped(std::chrono::milliseconds Limit, std::chrono::steady_clock::duration& Longest);
    bool IsTimerRunning(uint32_t uiTimerId = 0) const { return Timers.count(uiTimerId) != 0; }
    // The next file dialogs' answers, in order: a path, or nullopt for Cancel. Without one left the
    // dialog is cancelled.
    void ScriptFileChoice(std::optional<std::u16string> Path) { FileChoices.push_back(std::move(Path)); }

    // Observation.
    Control& Item(int32_t iId) { return Controls[iId]; }
    const std::vector<Message>& Messages() const { return MessageLog; }
    std::u16string Cell(int32_t iList, int32_t iRow, int32_t iColumn);
    std::u16string SelectedText(int32_t iCombo);
    bool IsEnabled(int32_t iId) { return Controls[iId].bEnabled != 0; }
    std::u16string Title() const { return WindowTitle; }
    uint32_t BeepCount() const { return uiBeeps; }
    int32_t WaitCursorDepth() const { return iWaitCursor; }
    int32_t MaximumWaitCursorDepth() const { return iMaximumWaitCursor; }
    bool HasEnded() const { return bEnded; }
    int32_t EndResult() const { return iEndResult; }
    // The last file dialog's request.
    std::u16string LastFilterName() const { return FilterName; }
    std::u16string LastPattern() const { return Pattern; }
    uint32_t LastFileFlags() const { return uiFileFlags; }
    uint32_t LastNameCapacity() const { return uiNameCapacity; }
    const std::vector<std::string>& Transcript() const { return Lines; }
    std::string TranscriptText() const;
    // Forgets the transcript and the messages shown so far (a long run would otherwise grow them).
    void ClearTranscript()
    {
        Lines.clear();
        MessageLog.clear();
    }

    // SDialogHost.
    void SetWindowTitle(const char16_t* pText) override;
    void SetItemText(int32_t iId, const char16_t* pText) override;
    std::u16string GetItemText(int32_t iId) override;
    uint32_t GetItemUnsigned(int32_t iId, int32_t& bValid) override;
    void SetItemUnsigned(int32_t iId, uint32_t uiValue) override;
    void EnableItem(int32_t iId, int32_t bEnable) override;
    void FocusItem(int32_t iId) override;
    void PutCaretAfterText(int32_t iId) override;
    void AddComboEntry(int32_t iId, const char16_t* pText) override;
    void SelectComboEntry(int32_t iId, int32_t iIndex) override;
    int32_t GetComboSelection(int32_t iId) override;
    void SetSliderRange(int32_t iId, int32_t iMinimum, int32_t iMaximum) override;
    void SetSliderTickFrequency(int32_t iId, int32_t iFrequency) override;
    void SetSliderPageSize(int32_t iId, int32_t iPageSize) override;
    void SetSliderPosition(int32_t iId, int32_t iPosition) override;
    int32_t GetSliderPosition(int32_t iId) override;
    void SetProgressRange(int32_t iId, int32_t iMinimum, int32_t iMaximum) override;
    void SetProgressPosition(int32_t iId, int32_t iPosition) override;
    void InsertListRow(int32_t iId, int32_t iRow, const char16_t* pItemText) override;
    void InsertListColumn(int32_t iId, int32_t iColumn, const char16_t* pTitle, int32_t iWidth,
                          int32_t bLeftAligned) override;
    void SetListCell(int32_t iId, int32_t iRow, int32_t iColumn, const char16_t* pText) override;
    int32_t GetCheck(int32_t iId) override;
    void SetCheck(int32_t iId, int32_t bChecked) override;
    void StartTimer(uint32_t uiTimerId, uint32_t uiMilliseconds) override;
    void KillTimer(uint32_t uiTimerId) override;
    void ShowErrorMessage(const char16_t* pText, const char16_t* pCaption) override;
    void DefaultBeep() override;
    int32_t ChooseOpenFile(const char16_t* pFilterName, const char16_t* pPattern, uint32_t uiFlags,
                           uint32_t uiNameCapacity, std::u16string& Path) override;
    void ShowWaitCursor(int32_t bWait) override;
    void EndDialog(int32_t iResult) override;
    void SendCommand(int32_t iId) override;

    int32_t iFocus = 0;
    int32_t iCaretControl = 0;

private:
    void Record(const std::string& Line);

    SDialogHandler* pHandler = nullptr;
    std::map<int32_t, Control> Controls;
    std::set<uint32_t> Timers;
    std::deque<std::optional<std::u16string>> FileChoices;
    std::vector<Message> MessageLog;
    std::vector<std::string> Lines;
    std::u16string WindowTitle;
    std::u16string FilterName;
    std::u16string Pattern;
    uint32_t uiFileFlags = 0;
    uint32_t uiNameCapacity = 0;
    uint32_t uiBeeps = 0;
    int32_t iWaitCursor = 0;
    int32_t iMaximumWaitCursor = 0;
    bool bEnded = false;
    int32_t iEndResult = -1;
};
