#include "app/win32/PracticeKeyFilter.h"

#include "app/dialog/DialogControlIds.h"

#include <utility>

thread_local PracticeKeyFilter* PracticeKeyFilter::pThreadFilter = nullptr;

int32_t PracticeKeyFilter::Install(HWND hNewDialog, KeyReceiver NewReceiver)
{
    Remove();
    if (pThreadFilter != nullptr)
    {
        return -1;
    }
    hHook = SetWindowsHookExW(WH_MSGFILTER, FilterProc, nullptr, GetCurrentThreadId());
    if (hHook == nullptr)
    {
        return -1;
    }
    hDialog = hNewDialog;
    Receiver = std::move(NewReceiver);
    pThreadFilter = this;
    return 1;
}

void PracticeKeyFilter::Remove()
{
    if (hHook != nullptr)
    {
        UnhookWindowsHookEx(hHook);
        hHook = nullptr;
    }
    if (pThreadFilter == this)
    {
        pThreadFilter = nullptr;
    }
    hDialog = nullptr;
    Receiver = nullptr;
}

LRESULT CALLBACK PracticeKeyFilter::FilterProc(int iCode, WPARAM wParam, LPARAM lParam)
{
    if (iCode == MSGF_DIALOGBOX && lParam != 0 && pThreadFilter != nullptr &&
        pThreadFilter->Take(*reinterpret_cast<const MSG*>(lParam)) != 0)
    {
        return TRUE;
    }
    return CallNextHookEx(nullptr, iCode, wParam, lParam);
}

int32_t PracticeKeyFilter::Take(const MSG& Message)
{
    if (Message.message != WM_CHAR || !Receiver || hDialog == nullptr || Message.hwnd == nullptr)
    {
        return 0;
    }
    // Only this dialog's keys: a message box's loop runs the same filter.
    if (Message.hwnd != hDialog && !IsChild(hDialog, Message.hwnd))
    {
        return 0;
    }
    if (Message.hwnd == GetDlgItem(hDialog, DialogControlIds::ID_BIT_FIELD))
    {
        return 0;
    }
    return Receiver(static_cast<char16_t>(Message.wParam));
}
