#pragma once
#include "app/dialog/DialogEvent.h"
#include "app/dialog/SDialogHost.h"
#include "app/win32/PracticeKeyFilter.h"
#include "app/win32/ProgressBarControl.h"

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>
#include <windows.h>

class SDialogHandler;

// The dialog host over the real controls of dialog 101: every operation is one or two messages to
// the control with that identifier. Owned by the UI thread that runs the dialog.
class Win32DialogHost : public SDialogHost
{
public:
    // Stands in for the common file dialog: gets the dialog's request, answers like ChooseOpenFile.
    using FileChooser =
        std::function<int32_t(const char16_t* pFilterName, const char16_t* pPattern, uint32_t uiFlags,
                              uint32_t uiNameCapacity, std::u16string& Path)>;

    Win32DialogHost() = default;

    void SetHandler(SDialogHandler* pNewHandler) { pHandler = pNewHandler; }
    SDialogHandler* GetHandler() const { return pHandler; }
    // The dialog window, from WM_INITDIALOG until the window goes; null outside. Attaching sets the
    // captions in the language chosen (the template holds the Japanese originals) and sets up the
    // progress bar's seek, marks, tooltip and menu and the practice keys; null takes them away.
    void Attach(HWND hNewDialog);
    HWND GetWindow() const { return hDialog; }
    void SetFileChooser(FileChooser Chooser) { FileChooserOverride = std::move(Chooser); }
    // Gets the first file of a drop onto the dialog.
    using DropReceiver = std::function<void(const char16_t* pPath)>;
    void SetDropReceiver(DropReceiver Receiver) { DropReceiverFunction = std::move(Receiver); }
    void DeliverDroppedFile(const char16_t* pPath)
    {
        if (DropReceiverFunction)
        {
            DropReceiverFunction(pPath);
        }
    }

    // The progress bar's menu items, from the dialog logic.
    void SetProgressMenuSource(ProgressBarControl::MenuSource Source)
    {
        MenuSourceFunction = std::move(Source);
    }
    // A request of the user's beyond the controls, for the handler: 1 taken, 0 nothing done.
    int32_t DeliverUserEvent(const DialogEvent& Event);
    int32_t DeliverPractice(PlaybackSession::Action What);

    // The dialog's dots per inch: 96 at 100 % display scaling.
    UINT GetDpi() const;
    // The two information lists' columns at that DPI: their template widths, which are for 96 DPI,
    // grow with it as the dialog and its font do (at creation and on WM_DPICHANGED).
    void ApplyDpi(UINT uiDpi);

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
    void SetProgressLoop(int32_t iId, int32_t iStart, int32_t iEnd) override;
    void SetProgressMarkers(int32_t iId, const std::vector<int32_t>& Ticks) override;
    void SetItemTooltip(int32_t iId, const char16_t* pText) override;

private:
    void ApplyCaptions();
    LRESULT Send(int32_t iId, UINT uiMessage, WPARAM wParam, LPARAM lParam);

    HWND hDialog = nullptr;
    SDialogHandler* pHandler = nullptr;
    FileChooser FileChooserOverride;
    DropReceiver DropReceiverFunction;
    ProgressBarControl::MenuSource MenuSourceFunction;
    ProgressBarControl ProgressBar;
    PracticeKeyFilter KeyFilter;
    HCURSOR hPreviousCursor = nullptr;
    // Every list column inserted, with its width at 96 DPI.
    struct ListColumn
    {
        int32_t iId;
        int32_t iColumn;
        int32_t iWidth;
    };
    std::vector<ListColumn> Columns;
};
