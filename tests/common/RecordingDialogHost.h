#pragma once
#include "app/dialog/InMemoryDialogHost.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// A dialog host for tests: the in-memory controls, and every call recorded in a transcript; message
// boxes are answered at once (and kept), file dialogs take scripted choices, and the test clicks
// buttons, moves sliders and fires the timer. Everything happens on the test's thread, which plays
// the UI thread. When the running test has failed, the destructor prints the transcript.
class RecordingDialogHost : public InMemoryDialogHost
{
public:
    struct Message
    {
        std::u16string Text;
        std::u16string Caption;
    };

    RecordingDialogHost() = default;
    ~RecordingDialogHost() override;

    // OnInitDialog through the handler.
    void Open();

    // User actions, recorded.
    bool Click(int32_t iId);
    // Moves a slider (clamped to its range) and notifies the handler.
    void MoveSlider(int32_t iId, int32_t iPosition);
    void TypeText(int32_t iId, const std::u16string& Text);
    void SelectEntry(int32_t iId, int32_t iIndex);
    // Ticks or unticks the check box and tells the handler, as a click does.
    void SetChecked(int32_t iId, int32_t bChecked);
    // Fires the progress timer every millisecond, as the real one would, until the player stops it:
    // false when it still runs after Limit. Longest: the longest single tick.
    bool FireTimerUntilStopped(std::chrono::milliseconds Limit, std::chrono::steady_clock::duration& Longest);

    // Observation.
    const std::vector<Message>& Messages() const { return MessageLog; }
    // Called while a message box is up, as a modal box's own loop runs: what the player has done
    // by then.
    std::function<void()> OnMessage;
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

    // SDialogHost, recorded.
    void SetWindowTitle(const char16_t* pText) override;
    void SetItemText(int32_t iId, const char16_t* pText) override;
    uint32_t GetItemUnsigned(int32_t iId, int32_t& bValid) override;
    void SetItemUnsigned(int32_t iId, uint32_t uiValue) override;
    void EnableItem(int32_t iId, int32_t bEnable) override;
    void FocusItem(int32_t iId) override;
    void PutCaretAfterText(int32_t iId) override;
    void AddComboEntry(int32_t iId, const char16_t* pText) override;
    void SelectComboEntry(int32_t iId, int32_t iIndex) override;
    void SetSliderRange(int32_t iId, int32_t iMinimum, int32_t iMaximum) override;
    void SetSliderTickFrequency(int32_t iId, int32_t iFrequency) override;
    void SetSliderPageSize(int32_t iId, int32_t iPageSize) override;
    void SetSliderPosition(int32_t iId, int32_t iPosition) override;
    void SetProgressRange(int32_t iId, int32_t iMinimum, int32_t iMaximum) override;
    void SetProgressPosition(int32_t iId, int32_t iPosition) override;
    void InsertListRow(int32_t iId, int32_t iRow, const char16_t* pItemText) override;
    void InsertListColumn(int32_t iId, int32_t iColumn, const char16_t* pTitle, int32_t iWidth,
                          int32_t bLeftAligned) override;
    void SetListCell(int32_t iId, int32_t iRow, int32_t iColumn, const char16_t* pText) override;
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

private:
    void Record(const std::string& Line);

    std::vector<Message> MessageLog;
    std::vector<std::string> Lines;
    std::u16string FilterName;
    std::u16string Pattern;
    uint32_t uiFileFlags = 0;
    uint32_t uiNameCapacity = 0;
};
