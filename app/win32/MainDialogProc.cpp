#include "app/win32/MainDialogProc.h"

#include "app/dialog/SDialogHandler.h"
#include "app/win32/ProgressMenu.h"
#include "app/win32/Win32DialogHost.h"

#include <shellapi.h>
#include <string>

namespace
{
Win32DialogHost* HostOf(HWND hDialog)
{
    return reinterpret_cast<Win32DialogHost*>(GetWindowLongPtrW(hDialog, GWLP_USERDATA));
}

// The first file of a drop, as if it had been chosen with "...".
void DeliverDrop(Win32DialogHost& Host, HDROP hDrop)
{
    std::u16string Path;
    const UINT uiLength = DragQueryFileW(hDrop, 0, nullptr, 0);
    if (uiLength > 0)
    {
        Path.resize(uiLength + 1);
        const UINT uiCopied = DragQueryFileW(hDrop, 0, reinterpret_cast<wchar_t*>(Path.data()), uiLength + 1);
        Path.resize(uiCopied);
    }
    DragFinish(hDrop);
    if (!Path.empty())
    {
        Host.DeliverDroppedFile(Path.c_str());
    }
}

// The media keys and the media controls of the keyboard or the desktop: 1 with the request when the
// command is one of the player's.
int32_t MediaRequestOf(LPARAM lParam, DialogEvent::Kind& What)
{
    static constexpr struct
    {
        int iCommand;
        DialogEvent::Kind What;
    } REQUESTS[] = {
        {APPCOMMAND_MEDIA_PLAY_PAUSE, DialogEvent::Kind::PlayPause},
        {APPCOMMAND_MEDIA_PLAY, DialogEvent::Kind::Play},
        {APPCOMMAND_MEDIA_PAUSE, DialogEvent::Kind::Pause},
        {APPCOMMAND_MEDIA_STOP, DialogEvent::Kind::Stop},
    };
    const int iCommand = GET_APPCOMMAND_LPARAM(lParam);
    for (const auto& Request : REQUESTS)
    {
        if (Request.iCommand == iCommand)
        {
            What = Request.What;
            return 1;
        }
    }
    return 0;
}
} // namespace

INT_PTR CALLBACK MainDialogProc(HWND hDialog, UINT uiMessage, WPARAM wParam, LPARAM lParam)
{
    if (uiMessage == WM_INITDIALOG)
    {
        auto* pHost = reinterpret_cast<Win32DialogHost*>(lParam);
        SetWindowLongPtrW(hDialog, GWLP_USERDATA, lParam);
        if (pHost != nullptr)
        {
            pHost->Attach(hDialog);
            DragAcceptFiles(hDialog, TRUE);
            if (pHost->GetHandler() != nullptr)
            {
                pHost->GetHandler()->OnInitDialog();
            }
        }
        return 0;
    }
    Win32DialogHost* pHost = HostOf(hDialog);
    SDialogHandler* pHandler = pHost != nullptr ? pHost->GetHandler() : nullptr;
    switch (uiMessage)
    {
    case WM_COMMAND:
    {
        // An item of the progress bar's menu, when it arrives as a command rather than as the
        // menu's result (a tool that drives menus for the user).
        PlaybackSession::Action Practice{};
        if (pHost != nullptr && lParam == 0 && ProgressMenu::ActionOfCommand(LOWORD(wParam), Practice) != 0)
        {
            pHost->DeliverPractice(Practice);
        }
        else if (pHandler != nullptr)
        {
            pHandler->OnCommand(LOWORD(wParam));
        }
        break;
    }
    case WM_APPCOMMAND:
    {
        // Taken whether or not there is something to do now, so the desktop does not hand the key on
        // to another player while this one is in front.
        DialogEvent::Kind What{};
        if (pHost != nullptr && MediaRequestOf(lParam, What) != 0)
        {
            DialogEvent Event;
            Event.What = What;
            pHost->DeliverUserEvent(Event);
            SetWindowLongPtrW(hDialog, DWLP_MSGRESULT, TRUE);
            return TRUE;
        }
        break;
    }
    case WM_VSCROLL:
        // Every notification, thumb tracking included; the slider is the window in lParam.
        if (pHandler != nullptr && lParam != 0)
        {
            pHandler->OnVScroll(GetDlgCtrlID(reinterpret_cast<HWND>(lParam)));
        }
        break;
    case WM_DPICHANGED:
        // Moved to a screen of another scaling: the dialog manager scales the window, its controls
        // and its font; the list columns follow here. Unhandled, so that scaling still happens.
        if (pHost != nullptr)
        {
            pHost->ApplyDpi(LOWORD(wParam));
        }
        break;
    case WM_DROPFILES:
        if (pHost != nullptr)
        {
            DeliverDrop(*pHost, reinterpret_cast<HDROP>(wParam));
        }
        else
        {
            DragFinish(reinterpret_cast<HDROP>(wParam));
        }
        break;
    case WM_DESTROY:
        // The teardown after the dialog may still talk to the host; it must find no window.
        if (pHost != nullptr)
        {
            pHost->Attach(nullptr);
        }
        SetWindowLongPtrW(hDialog, GWLP_USERDATA, 0);
        break;
    default:
        break;
    }
    return 0;
}
