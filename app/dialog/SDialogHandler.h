#pragma once
#include "app/dialog/DialogEvent.h"
#include "runtime/CNonCopyable.h"

#include <cstdint>

// What a dialog host calls when something happens in the dialog: the dispatch of the main dialog's
// messages, written once for every front end. All calls come on the UI thread.
class SDialogHandler : private CNonCopyable
{
public:
    virtual ~SDialogHandler() = default;

    // The dialog's controls exist and are to be filled.
    virtual void OnInitDialog() = 0;
    // A button was clicked, the check box toggled, Enter or Escape pressed, or the window closed
    // (identifier 2). The notification kind does not matter.
    virtual void OnCommand(int32_t iControlId) = 0;
    // A slider moved, for every step of a drag as well.
    virtual void OnVScroll(int32_t iControlId) = 0;
    // A tick of the timer started with StartTimer.
    virtual void OnTimer(uint32_t uiTimerId) = 0;
    // Everything else the user asks for (the progress bar, practice keys, its menu, files from
    // outside, media keys). 1 when it was taken, 0 when it does nothing now.
    virtual int32_t OnUserEvent(const DialogEvent& Event) = 0;
};
