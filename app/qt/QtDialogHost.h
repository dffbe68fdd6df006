#pragma once
#include "app/dialog/SDialogHost.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

class QTimer;
class QWidget;
class QtMainDialogWindow;
class SDialogHandler;

// The dialog host over the Qt window: every control operation of the logic on the widget with that
// identifier. Setting a slider or the check box from the logic notifies nobody, as on Windows; only
// the user's moves and clicks reach the handler.
class QtDialogHost : public SDialogHost
{
public:
    // Answers the file dialog: 1 with the chosen path, 0 when cancelled. The default one shows the
    // Qt file dialog; tests put their own answer here.
    using FileChooser = std::function<int32_t(const QString& Filter, QString& Path)>;

    explicit QtDialogHost(QtMainDialogWindow& Window);
    ~QtDialogHost() override;

    void SetFileChooser(FileChooser NewChooser) { Chooser = std::move(NewChooser); }
    // The dialog's start without the modal loop: the handler becomes the window's and fills the
    // controls, then the window shows.
    void Open(SDialogHandler& Handler);
    // The modal dialog: Open, then run until EndDialog; its result.
    int32_t Run(SDialogHandler& Handler);

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

    // The field's text read as an unsigned number the way a Windows dialog reads it
    // (DialogControls::ParseUnsignedField).
    static uint32_t ParseUnsigned(const std::u16string& Text, int32_t& bValid);

private:
    template <typename Widget> Widget* Find(int32_t iId) const;

    QtMainDialogWindow& Window;
    std::map<uint32_t, std::unique_ptr<QTimer>> Timers;
    FileChooser Chooser;
    int32_t iWaitCursorDepth = 0;
};
