#pragma once
#include "app/dialog/MainDialog.h"
#include "runtime/CNonCopyable.h"

#include <cstdint>
#include <vector>
#include <windows.h>

// The progress bar's context menu: a popup menu with the dialog's practice items (grayed or checked
// as the dialog says), destroyed with this object. Each item's command is its action's, so a choice
// reaches the dialog the same way whether TrackPopupMenu returns it or it comes as WM_COMMAND.
class ProgressMenu : private CNonCopyable
{
public:
    // Far above the template's control identifiers.
    static constexpr UINT FIRST_COMMAND = 40001;

    explicit ProgressMenu(const std::vector<MainDialog::MenuItem>& Items);
    ~ProgressMenu();

    // Null when the menu could not be created.
    HMENU GetHandle() const { return hMenu; }
    // Shows the menu at a screen point and waits for the user: the chosen command, 0 for none.
    UINT Track(HWND hOwner, POINT At) const;

    static UINT CommandOf(PlaybackSession::Action What);
    // 1 with What when uiCommand is a menu command, 0 otherwise.
    static int32_t ActionOfCommand(UINT uiCommand, PlaybackSession::Action& What);

private:
    HMENU hMenu = nullptr;
};
