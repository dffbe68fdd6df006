#include "app/win32/ProgressMenu.h"

ProgressMenu::ProgressMenu(const std::vector<MainDialog::MenuItem>& Items) : hMenu(CreatePopupMenu())
{
    if (hMenu == nullptr)
    {
        return;
    }
    for (const MainDialog::MenuItem& Item : Items)
    {
        const UINT uiFlags = MF_STRING | (Item.bEnabled != 0 ? MF_ENABLED : MF_GRAYED) |
                             (Item.bChecked != 0 ? MF_CHECKED : MF_UNCHECKED);
        AppendMenuW(hMenu, uiFlags, CommandOf(Item.What),
                    reinterpret_cast<const wchar_t*>(Item.Text.c_str()));
    }
}

ProgressMenu::~ProgressMenu()
{
    if (hMenu != nullptr)
    {
        DestroyMenu(hMenu);
    }
}

UINT ProgressMenu::Track(HWND hOwner, POINT At) const
{
    if (hMenu == nullptr)
    {
        return 0;
    }
    // The owner in front, so the menu closes when the user clicks elsewhere.
    SetForegroundWindow(hOwner);
    const BOOL iChosen =
        TrackPopupMenu(hMenu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, At.x, At.y, 0, hOwner, nullptr);
    return iChosen > 0 ? static_cast<UINT>(iChosen) : 0;
}

UINT ProgressMenu::CommandOf(PlaybackSession::Action What)
{
    return FIRST_COMMAND + static_cast<UINT>(What);
}

int32_t ProgressMenu::ActionOfCommand(UINT uiCommand, PlaybackSession::Action& What)
{
    if (uiCommand < FIRST_COMMAND || uiCommand > CommandOf(PlaybackSession::Action::KeepPitch))
    {
        return 0;
    }
    What = static_cast<PlaybackSession::Action>(uiCommand - FIRST_COMMAND);
    return 1;
}
