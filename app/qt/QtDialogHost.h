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

    SDIALOGHOST_OVERRIDES

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
