#pragma once
#include "runtime/CNonCopyable.h"
#include <cstdint>
#include <string>
#include <vector>

// The main dialog's controls as the dialog logic and the playback controller use them, keyed by the
// identifiers of DialogControlIds. One operation per control operation the player needs, so a front
// end (Win32 dialog, Qt dialog, console, the recording host of the tests) stays thin. Every call is
// made on the UI thread; texts are 16-bit units and null-terminated.
class SDialogHost : private CNonCopyable
{
public:
    // Flags of ChooseOpenFile, with the values the Win32 file dialog gives them.
    static constexpr uint32_t FILE_DIALOG_PATH_MUST_EXIST = 0x00000800;
    static constexpr uint32_t FILE_DIALOG_FILE_MUST_EXIST = 0x00001000;
    static constexpr uint32_t FILE_DIALOG_EXPLORER = 0x00080000;

    virtual ~SDialogHost() = default;

    virtual void SetWindowTitle(const char16_t* pText) = 0;

    // Edit fields, labels and buttons.
    virtual void SetItemText(int32_t iId, const char16_t* pText) = 0;
    virtual std::u16string GetItemText(int32_t iId) = 0;
    // The field's text as an unsigned decimal number; bValid 0 when it is none (empty, letters, out of
    // range), and the result 0 then.
    virtual uint32_t GetItemUnsigned(int32_t iId, int32_t& bValid) = 0;
    virtual void SetItemUnsigned(int32_t iId, uint32_t uiValue) = 0;
    virtual void EnableItem(int32_t iId, int32_t bEnable) = 0;
    virtual void FocusItem(int32_t iId) = 0;
    // Puts the caret of an edit field after its last character.
    virtual void PutCaretAfterText(int32_t iId) = 0;

    // Drop-down lists.
    virtual void AddComboEntry(int32_t iId, const char16_t* pText) = 0;
    virtual void SelectComboEntry(int32_t iId, int32_t iIndex) = 0;
    // -1 when nothing is selected.
    virtual int32_t GetComboSelection(int32_t iId) = 0;

    // Sliders (vertical, position 0 at the top).
    virtual void SetSliderRange(int32_t iId, int32_t iMinimum, int32_t iMaximum) = 0;
    virtual void SetSliderTickFrequency(int32_t iId, int32_t iFrequency) = 0;
    virtual void SetSliderPageSize(int32_t iId, int32_t iPageSize) = 0;
    virtual void SetSliderPosition(int32_t iId, int32_t iPosition) = 0;
    virtual int32_t GetSliderPosition(int32_t iId) = 0;

    // The progress bar.
    virtual void SetProgressRange(int32_t iId, int32_t iMinimum, int32_t iMaximum) = 0;
    virtual void SetProgressPosition(int32_t iId, int32_t iPosition) = 0;

    // Report lists: a row with the text of its first column, a column with its title and width in
    // pixels, the text of one cell.
    virtual void InsertListRow(int32_t iId, int32_t iRow, const char16_t* pItemText) = 0;
    virtual void InsertListColumn(int32_t iId, int32_t iColumn, const char16_t* pTitle, int32_t iWidth,
                                  int32_t bLeftAligned) = 0;
    virtual void SetListCell(int32_t iId, int32_t iRow, int32_t iColumn, const char16_t* pText) = 0;

    // The check box.
    virtual int32_t GetCheck(int32_t iId) = 0;
    virtual void SetCheck(int32_t iId, int32_t bChecked) = 0;

    // A periodic timer; on every tick the host calls its handler's OnTimer with uiTimerId.
    virtual void StartTimer(uint32_t uiTimerId, uint32_t uiMilliseconds) = 0;
    virtual void KillTimer(uint32_t uiTimerId) = 0;

    // A modal message owned by the dialog, with the error icon; returns when the user closed it.
    virtual void ShowErrorMessage(const char16_t* pText, const char16_t* pCaption) = 0;
    virtual void DefaultBeep() = 0;

    // The file-open dialog with its filters, an empty name buffer of uiNameCapacity units and the
    // given flags. pFilterName and pPattern are parallel lists, one entry per filter, entries
    // separated by '\n' (FileDialogFilters makes them); the first filter is chosen at the start.
    // 1 with the chosen path, 0 when cancelled.
    virtual int32_t ChooseOpenFile(const char16_t* pFilterName, const char16_t* pPattern, uint32_t uiFlags,
                                   uint32_t uiNameCapacity, std::u16string& Path) = 0;

    // The wait cursor on, and the previous cursor back.
    virtual void ShowWaitCursor(int32_t bWait) = 0;

    // Ends the modal dialog; the program's exit code becomes iResult.
    virtual void EndDialog(int32_t iResult) = 0;
    // Delivers a command to the handler at once, as if the control had been clicked.
    virtual void SendCommand(int32_t iId) = 0;

    // The progress bar's practice marks, in the bar's range: the loop's band [iStart, iEnd), or with
    // iEnd below 0 a start marked alone, nothing with iStart below 0. Hosts that draw none ignore it.
    virtual void SetProgressLoop(int32_t iId, int32_t iStart, int32_t iEnd)
    {
        (void)iId;
        (void)iStart;
        (void)iEnd;
    }
    // The progress bar's markers as ticks, in the bar's range, ascending. Hosts that draw none
    // ignore them.
    virtual void SetProgressMarkers(int32_t iId, const std::vector<int32_t>& Ticks)
    {
        (void)iId;
        (void)Ticks;
    }
    // The tooltip of a control (the progress bar's says the place and the loop).
    virtual void SetItemTooltip(int32_t iId, const char16_t* pText)
    {
        (void)iId;
        (void)pText;
    }
};

// Every operation of SDialogHost declared as an override, for a host that does them all (the Win32,
// Qt and in-memory hosts): its class names this instead of repeating the list.
#define SDIALOGHOST_OVERRIDES                                                                                \
    void SetWindowTitle(const char16_t* pText) override;                                                     \
    void SetItemText(int32_t iId, const char16_t* pText) override;                                           \
    std::u16string GetItemText(int32_t iId) override;                                                        \
    uint32_t GetItemUnsigned(int32_t iId, int32_t& bValid) override;                                         \
    void SetItemUnsigned(int32_t iId, uint32_t uiValue) override;                                            \
    void EnableItem(int32_t iId, int32_t bEnable) override;                                                  \
    void FocusItem(int32_t iId) override;                                                                    \
    void PutCaretAfterText(int32_t iId) override;                                                            \
    void AddComboEntry(int32_t iId, const char16_t* pText) override;                                         \
    void SelectComboEntry(int32_t iId, int32_t iIndex) override;                                             \
    int32_t GetComboSelection(int32_t iId) override;                                                         \
    void SetSliderRange(int32_t iId, int32_t iMinimum, int32_t iMaximum) override;                           \
    void SetSliderTickFrequency(int32_t iId, int32_t iFrequency) override;                                   \
    void SetSliderPageSize(int32_t iId, int32_t iPageSize) override;                                         \
    void SetSliderPosition(int32_t iId, int32_t iPosition) override;                                         \
    int32_t GetSliderPosition(int32_t iId) override;                                                         \
    void SetProgressRange(int32_t iId, int32_t iMinimum, int32_t iMaximum) override;                         \
    void SetProgressPosition(int32_t iId, int32_t iPosition) override;                                       \
    void InsertListRow(int32_t iId, int32_t iRow, const char16_t* pItemText) override;                       \
    void InsertListColumn(int32_t iId, int32_t iColumn, const char16_t* pTitle, int32_t iWidth,              \
                          int32_t bLeftAligned) override;                                                    \
    void SetListCell(int32_t iId, int32_t iRow, int32_t iColumn, const char16_t* pText) override;            \
    int32_t GetCheck(int32_t iId) override;                                                                  \
    void SetCheck(int32_t iId, int32_t bChecked) override;                                                   \
    void StartTimer(uint32_t uiTimerId, uint32_t uiMilliseconds) override;                                   \
    void KillTimer(uint32_t uiTimerId) override;                                                             \
    void ShowErrorMessage(const char16_t* pText, const char16_t* pCaption) override;                         \
    void DefaultBeep() override;                                                                             \
    int32_t ChooseOpenFile(const char16_t* pFilterName, const char16_t* pPattern, uint32_t uiFlags,          \
                           uint32_t uiNameCapacity, std::u16string& Path) override;                          \
    void ShowWaitCursor(int32_t bWait) override;                                                             \
    void EndDialog(int32_t iResult) override;                                                                \
    void SendCommand(int32_t iId) override;                                                                  \
    void SetProgressLoop(int32_t iId, int32_t iStart, int32_t iEnd) override;                                \
    void SetProgressMarkers(int32_t iId, const std::vector<int32_t>& Ticks) override;                        \
    void SetItemTooltip(int32_t iId, const char16_t* pText) override;
