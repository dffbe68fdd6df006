#include "app/win32/Win32DialogHost.h"

#include "app/dialog/DialogControlIds.h"
#include "app/dialog/FileDialogFilters.h"
#include "app/dialog/MainDialog.h"
#include "app/dialog/MainDialogLayout.h"
#include "app/dialog/SDialogHandler.h"

#include <algorithm>
#include <commctrl.h>
#include <commdlg.h>
#include <vector>

namespace
{
const wchar_t* Wide(const char16_t* pText)
{
    return reinterpret_cast<const wchar_t*>(pText);
}

wchar_t* Wide(char16_t* pText)
{
    return reinterpret_cast<wchar_t*>(pText);
}

// The timer procedure: the host lives in the dialog's user data from WM_INITDIALOG on.
void CALLBACK TimerProc(HWND hDialog, UINT, UINT_PTR uiTimerId, DWORD)
{
    auto* pHost = reinterpret_cast<Win32DialogHost*>(GetWindowLongPtrW(hDialog, GWLP_USERDATA));
    if (pHost != nullptr && pHost->GetHandler() != nullptr)
    {
        pHost->GetHandler()->OnTimer(static_cast<uint32_t>(uiTimerId));
    }
}
int32_t ScaledToDpi(int32_t iPixels, UINT uiDpi)
{
    return MulDiv(iPixels, static_cast<int>(uiDpi), USER_DEFAULT_SCREEN_DPI);
}
} // namespace

void Win32DialogHost::Attach(HWND hNewDialog)
{
    hDialog = hNewDialog;
    if (hDialog == nullptr)
    {
        ProgressBar.Detach();
        KeyFilter.Remove();
        return;
    }
    ApplyCaptions();
    ProgressBar.Attach(
        GetDlgItem(hDialog, DialogControlIds::ID_PROGRESS), hDialog,
        [this](const DialogEvent& Event) { return DeliverUserEvent(Event); },
        [this]() { return MenuSourceFunction ? MenuSourceFunction() : std::vector<MainDialog::MenuItem>{}; });
    KeyFilter.Install(hDialog,
                      [this](char16_t cKey)
                      {
                          PlaybackSession::Action What{};
                          if (MainDialog::ActionOfKey(cKey, What) == 0)
                          {
                              return 0;
                          }
                          DeliverPractice(What);
                          return 1;
                      });
}

void Win32DialogHost::ApplyCaptions()
{
    // The template's children come in its order; each one that is the control the layout expects
    // there gets its caption (the frames and labels without an identifier are found only so).
    HWND hChild = ::GetWindow(hDialog, GW_CHILD);
    for (int32_t i = 0; i < MainDialogLayout::CONTROL_COUNT && hChild != nullptr; ++i)
    {
        const MainDialogLayout::Control& Item = MainDialogLayout::Controls()[i];
        const char16_t* pCaption = MainDialogLayout::CaptionOf(Item);
        if (pCaption != nullptr &&
            static_cast<int16_t>(GetDlgCtrlID(hChild)) == static_cast<int16_t>(Item.iId))
        {
            SetWindowTextW(hChild, Wide(pCaption));
        }
        hChild = ::GetWindow(hChild, GW_HWNDNEXT);
    }
}

int32_t Win32DialogHost::DeliverUserEvent(const DialogEvent& Event)
{
    return pHandler != nullptr ? pHandler->OnUserEvent(Event) : 0;
}

int32_t Win32DialogHost::DeliverPractice(PlaybackSession::Action What)
{
    DialogEvent Event;
    Event.What = DialogEvent::Kind::Practice;
    Event.Practice = What;
    return DeliverUserEvent(Event);
}

UINT Win32DialogHost::GetDpi() const
{
    // Windows 10 1607 and later tell each window's own DPI; before that every window has the
    // system's.
    using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
    static const auto pGetDpiForWindow = reinterpret_cast<GetDpiForWindowFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    UINT uiDpi = 0;
    if (pGetDpiForWindow != nullptr && hDialog != nullptr)
    {
        uiDpi = pGetDpiForWindow(hDialog);
    }
    if (uiDpi == 0)
    {
        if (HDC hContext = GetDC(hDialog))
        {
            uiDpi = static_cast<UINT>(GetDeviceCaps(hContext, LOGPIXELSY));
            ReleaseDC(hDialog, hContext);
        }
    }
    return uiDpi != 0 ? uiDpi : USER_DEFAULT_SCREEN_DPI;
}

void Win32DialogHost::ApplyDpi(UINT uiDpi)
{
    for (const ListColumn& Column : Columns)
    {
        Send(Column.iId, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(Column.iColumn),
             ScaledToDpi(Column.iWidth, uiDpi));
    }
}

LRESULT Win32DialogHost::Send(int32_t iId, UINT uiMessage, WPARAM wParam, LPARAM lParam)
{
    if (hDialog == nullptr)
    {
        return 0;
    }
    return SendDlgItemMessageW(hDialog, iId, uiMessage, wParam, lParam);
}

void Win32DialogHost::SetWindowTitle(const char16_t* pText)
{
    if (hDialog != nullptr)
    {
        SetWindowTextW(hDialog, Wide(pText));
    }
}

void Win32DialogHost::SetItemText(int32_t iId, const char16_t* pText)
{
    if (hDialog != nullptr)
    {
        SetDlgItemTextW(hDialog, iId, Wide(pText));
    }
}

std::u16string Win32DialogHost::GetItemText(int32_t iId)
{
    const auto iLength = static_cast<int32_t>(Send(iId, WM_GETTEXTLENGTH, 0, 0));
    if (iLength <= 0)
    {
        return {};
    }
    std::u16string Text(static_cast<size_t>(iLength) + 1, u'\0');
    const UINT uiCopied = GetDlgItemTextW(hDialog, iId, Wide(Text.data()), iLength + 1);
    Text.resize(uiCopied);
    return Text;
}

uint32_t Win32DialogHost::GetItemUnsigned(int32_t iId, int32_t& bValid)
{
    bValid = 0;
    if (hDialog == nullptr)
    {
        return 0;
    }
    BOOL bTranslated = FALSE;
    const UINT uiValue = GetDlgItemInt(hDialog, iId, &bTranslated, FALSE);
    bValid = bTranslated ? 1 : 0;
    return bValid != 0 ? uiValue : 0;
}

void Win32DialogHost::SetItemUnsigned(int32_t iId, uint32_t uiValue)
{
    if (hDialog != nullptr)
    {
        SetDlgItemInt(hDialog, iId, uiValue, FALSE);
    }
}

void Win32DialogHost::EnableItem(int32_t iId, int32_t bEnable)
{
    if (hDialog != nullptr)
    {
        EnableWindow(GetDlgItem(hDialog, iId), bEnable != 0 ? TRUE : FALSE);
    }
}

void Win32DialogHost::FocusItem(int32_t iId)
{
    const HWND hItem = hDialog != nullptr ? GetDlgItem(hDialog, iId) : nullptr;
    if (hItem == nullptr)
    {
        return;
    }
    if ((SendMessageW(hItem, WM_GETDLGCODE, 0, 0) & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) == 0)
    {
        SetFocus(hItem);
        return;
    }
    // A button through the dialog manager, so it becomes the default button, and with its focus
    // ring shown even after a mouse click: Space then visibly presses the button it lands on.
    SendMessageW(hDialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(hItem), TRUE);
    SendMessageW(hDialog, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
}

void Win32DialogHost::PutCaretAfterText(int32_t iId)
{
    const LRESULT iLength = Send(iId, WM_GETTEXTLENGTH, 0, 0);
    Send(iId, EM_SETSEL, static_cast<WPARAM>(iLength), iLength);
}

void Win32DialogHost::AddComboEntry(int32_t iId, const char16_t* pText)
{
    Send(iId, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(pText));
}

void Win32DialogHost::SelectComboEntry(int32_t iId, int32_t iIndex)
{
    Send(iId, CB_SETCURSEL, static_cast<WPARAM>(iIndex), 0);
}

int32_t Win32DialogHost::GetComboSelection(int32_t iId)
{
    if (hDialog == nullptr)
    {
        return -1;
    }
    return static_cast<int32_t>(Send(iId, CB_GETCURSEL, 0, 0));
}

void Win32DialogHost::SetSliderRange(int32_t iId, int32_t iMinimum, int32_t iMaximum)
{
    Send(iId, TBM_SETRANGEMIN, FALSE, iMinimum);
    Send(iId, TBM_SETRANGEMAX, TRUE, iMaximum);
}

void Win32DialogHost::SetSliderTickFrequency(int32_t iId, int32_t iFrequency)
{
    Send(iId, TBM_SETTICFREQ, static_cast<WPARAM>(iFrequency), 0);
}

void Win32DialogHost::SetSliderPageSize(int32_t iId, int32_t iPageSize)
{
    Send(iId, TBM_SETPAGESIZE, 0, iPageSize);
}

void Win32DialogHost::SetSliderPosition(int32_t iId, int32_t iPosition)
{
    Send(iId, TBM_SETPOS, TRUE, iPosition);
}

int32_t Win32DialogHost::GetSliderPosition(int32_t iId)
{
    return static_cast<int32_t>(Send(iId, TBM_GETPOS, 0, 0));
}

void Win32DialogHost::SetProgressRange(int32_t iId, int32_t iMinimum, int32_t iMaximum)
{
    Send(iId, PBM_SETRANGE32, static_cast<WPARAM>(iMinimum), iMaximum);
}

void Win32DialogHost::SetProgressPosition(int32_t iId, int32_t iPosition)
{
    Send(iId, PBM_SETPOS, static_cast<WPARAM>(iPosition), 0);
}

void Win32DialogHost::InsertListRow(int32_t iId, int32_t iRow, const char16_t* pItemText)
{
    std::u16string Text = pItemText;
    LVITEMW Item{};
    Item.mask = LVIF_TEXT;
    Item.iItem = iRow;
    Item.pszText = Wide(Text.data());
    Send(iId, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&Item));
}

void Win32DialogHost::InsertListColumn(int32_t iId, int32_t iColumn, const char16_t* pTitle, int32_t iWidth,
                                       int32_t bLeftAligned)
{
    std::u16string Text = pTitle;
    LVCOLUMNW Column{};
    Column.mask = LVCF_TEXT | LVCF_WIDTH | (bLeftAligned != 0 ? LVCF_FMT : 0);
    Column.fmt = LVCFMT_LEFT;
    Column.cx = ScaledToDpi(iWidth, GetDpi());
    Column.pszText = Wide(Text.data());
    if (Send(iId, LVM_INSERTCOLUMNW, static_cast<WPARAM>(iColumn), reinterpret_cast<LPARAM>(&Column)) >= 0)
    {
        Columns.push_back({iId, iColumn, iWidth});
    }
}

void Win32DialogHost::SetListCell(int32_t iId, int32_t iRow, int32_t iColumn, const char16_t* pText)
{
    std::u16string Text = pText;
    LVITEMW Item{};
    Item.mask = LVIF_TEXT;
    Item.iItem = iRow;
    Item.iSubItem = iColumn;
    Item.pszText = Wide(Text.data());
    Send(iId, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&Item));
}

int32_t Win32DialogHost::GetCheck(int32_t iId)
{
    return static_cast<int32_t>(Send(iId, BM_GETCHECK, 0, 0));
}

void Win32DialogHost::SetCheck(int32_t iId, int32_t bChecked)
{
    Send(iId, BM_SETCHECK, bChecked != 0 ? BST_CHECKED : BST_UNCHECKED, 0);
}

void Win32DialogHost::StartTimer(uint32_t uiTimerId, uint32_t uiMilliseconds)
{
    if (hDialog != nullptr)
    {
        SetTimer(hDialog, uiTimerId, uiMilliseconds, TimerProc);
    }
}

void Win32DialogHost::KillTimer(uint32_t uiTimerId)
{
    if (hDialog != nullptr)
    {
        ::KillTimer(hDialog, uiTimerId);
    }
}

void Win32DialogHost::ShowErrorMessage(const char16_t* pText, const char16_t* pCaption)
{
    if (hDialog != nullptr)
    {
        MessageBoxW(hDialog, Wide(pText), Wide(pCaption), MB_OK | MB_ICONERROR);
    }
}

void Win32DialogHost::DefaultBeep()
{
    MessageBeep(MB_OK);
}

int32_t Win32DialogHost::ChooseOpenFile(const char16_t* pFilterName, const char16_t* pPattern,
                                        uint32_t uiFlags, uint32_t uiNameCapacity, std::u16string& Path)
{
    Path.clear();
    if (FileChooserOverride)
    {
        return FileChooserOverride(pFilterName, pPattern, uiFlags, uiNameCapacity, Path);
    }
    // The filter: display text and pattern of each entry, each terminated, and an empty entry at the
    // end.
    std::u16string Filter;
    const std::u16string Names = pFilterName;
    const std::u16string Patterns = pPattern;
    size_t ullName = 0;
    size_t ullPattern = 0;
    while (ullName <= Names.size() && ullPattern <= Patterns.size())
    {
        const size_t ullNameEnd = std::min(Names.find(FileDialogFilters::SEPARATOR, ullName), Names.size());
        const size_t ullPatternEnd =
            std::min(Patterns.find(FileDialogFilters::SEPARATOR, ullPattern), Patterns.size());
        Filter += Names.substr(ullName, ullNameEnd - ullName);
        Filter.push_back(u'\0');
        Filter += Patterns.substr(ullPattern, ullPatternEnd - ullPattern);
        Filter.push_back(u'\0');
        ullName = ullNameEnd + 1;
        ullPattern = ullPatternEnd + 1;
    }
    Filter.push_back(u'\0');
    std::vector<wchar_t> Name(uiNameCapacity, L'\0');
    OPENFILENAMEW Request{};
    Request.lStructSize = sizeof(Request);
    Request.hwndOwner = hDialog;
    Request.lpstrFilter = Wide(Filter.c_str());
    Request.lpstrFile = Name.data();
    Request.nMaxFile = uiNameCapacity;
    Request.Flags = uiFlags;
    if (!GetOpenFileNameW(&Request))
    {
        return 0;
    }
    Path = reinterpret_cast<const char16_t*>(Name.data());
    return 1;
}

void Win32DialogHost::ShowWaitCursor(int32_t bWait)
{
    if (bWait != 0)
    {
        hPreviousCursor = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    }
    else
    {
        SetCursor(hPreviousCursor);
        hPreviousCursor = nullptr;
    }
}

void Win32DialogHost::EndDialog(int32_t iResult)
{
    if (hDialog != nullptr)
    {
        ::EndDialog(hDialog, iResult);
    }
}

void Win32DialogHost::SendCommand(int32_t iId)
{
    if (hDialog != nullptr)
    {
        SendMessageW(hDialog, WM_COMMAND, MAKEWPARAM(iId, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(hDialog, iId)));
    }
}

void Win32DialogHost::SetProgressLoop(int32_t iId, int32_t iStart, int32_t iEnd)
{
    if (iId == DialogControlIds::ID_PROGRESS)
    {
        ProgressBar.SetLoop(iStart, iEnd);
    }
}

void Win32DialogHost::SetProgressMarkers(int32_t iId, const std::vector<int32_t>& Ticks)
{
    if (iId == DialogControlIds::ID_PROGRESS)
    {
        ProgressBar.SetMarkers(Ticks);
    }
}

void Win32DialogHost::SetItemTooltip(int32_t iId, const char16_t* pText)
{
    if (iId == DialogControlIds::ID_PROGRESS)
    {
        ProgressBar.SetTooltip(pText);
    }
}
