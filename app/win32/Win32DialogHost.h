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

    SDIALOGHOST_OVERRIDES

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
