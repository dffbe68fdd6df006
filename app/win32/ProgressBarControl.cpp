#include "app/win32/ProgressBarControl.h"

#include "app/win32/ProgressMenu.h"
#include "runtime/CNonCopyable.h"

#include <algorithm>
#include <cmath>
#include <commctrl.h>
#include <utility>
#include <windowsx.h>

namespace
{
constexpr UINT_PTR SUBCLASS_ID = 1;
// The tooltip's widest line before it wraps, at 96 DPI.
constexpr int32_t TOOLTIP_WIDTH = 480;

// A hatch brush of one system colour, deleted with this object.
class HatchBrush : private CNonCopyable
{
public:
    explicit HatchBrush(int iColour) : hBrush(CreateHatchBrush(HS_BDIAGONAL, GetSysColor(iColour))) {}
    ~HatchBrush()
    {
        if (hBrush != nullptr)
        {
            DeleteObject(hBrush);
        }
    }
    HBRUSH Get() const { return hBrush; }

private:
    HBRUSH hBrush;
};

// Fills Area with one brush left of xFill (over the bar's fill) and another right of it, so a mark
// stands out on either.
void FillEitherSide(HDC hContext, RECT Area, int32_t xFill, HBRUSH hOverFill, HBRUSH hOverTrack)
{
    if (Area.right <= Area.left || Area.bottom <= Area.top)
    {
        return;
    }
    RECT Left = Area;
    Left.right = std::clamp<LONG>(xFill, Area.left, Area.right);
    RECT Right = Area;
    Right.left = Left.right;
    if (Left.right > Left.left && hOverFill != nullptr)
    {
        FillRect(hContext, &Left, hOverFill);
    }
    if (Right.right > Right.left && hOverTrack != nullptr)
    {
        FillRect(hContext, &Right, hOverTrack);
    }
}
} // namespace

int32_t ProgressBarControl::Attach(HWND hNewBar, HWND hNewOwner, EventSink NewSink, MenuSource NewMenu)
{
    Detach();
    hBar = hNewBar;
    if (hBar == nullptr ||
        !SetWindowSubclass(hBar, SubclassProc, SUBCLASS_ID, reinterpret_cast<DWORD_PTR>(this)))
    {
        hBar = nullptr;
        return -1;
    }
    hOwner = hNewOwner;
    Sink = std::move(NewSink);
    Menu = std::move(NewMenu);
    // Shown whether or not the dialog is active; the bar gets no focus, so the tool is the bar's
    // area and the subclass relays the pointer's moves.
    hTooltip =
        CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                        CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hOwner, nullptr,
                        reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(hOwner, GWLP_HINSTANCE)), nullptr);
    if (hTooltip != nullptr)
    {
        wchar_t Empty[1] = L"";
        TOOLINFOW Tool{};
        Tool.cbSize = TTTOOLINFOW_V2_SIZE;
        Tool.uFlags = TTF_IDISHWND;
        Tool.hwnd = hOwner;
        Tool.uId = reinterpret_cast<UINT_PTR>(hBar);
        Tool.lpszText = Empty;
        SendMessageW(hTooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&Tool));
        HDC hScreen = GetDC(hBar);
        const int iDpi = hScreen != nullptr ? GetDeviceCaps(hScreen, LOGPIXELSX) : USER_DEFAULT_SCREEN_DPI;
        if (hScreen != nullptr)
        {
            ReleaseDC(hBar, hScreen);
        }
        // A width makes the tooltip break its lines at "\r\n".
        SendMessageW(hTooltip, TTM_SETMAXTIPWIDTH, 0, MulDiv(TOOLTIP_WIDTH, iDpi, USER_DEFAULT_SCREEN_DPI));
    }
    return 1;
}

void ProgressBarControl::Detach()
{
    if (hBar != nullptr)
    {
        if (GetCapture() == hBar)
        {
            ReleaseCapture();
        }
        RemoveWindowSubclass(hBar, SubclassProc, SUBCLASS_ID);
    }
    if (hTooltip != nullptr)
    {
        DestroyWindow(hTooltip);
    }
    hBar = nullptr;
    hOwner = nullptr;
    hTooltip = nullptr;
    Sink = nullptr;
    Menu = nullptr;
    bDragging = false;
    iLoopStart = -1;
    iLoopEnd = -1;
    MarkerTicks.clear();
    TooltipText.clear();
}

void ProgressBarControl::SetLoop(int32_t iStart, int32_t iEnd)
{
    if (iStart < 0)
    {
        iEnd = -1;
    }
    if (iStart == iLoopStart && iEnd == iLoopEnd)
    {
        return;
    }
    iLoopStart = iStart;
    iLoopEnd = iEnd;
    if (hBar != nullptr)
    {
        // The bar paints itself whole, so the old marks go with the repaint.
        InvalidateRect(hBar, nullptr, FALSE);
    }
}

void ProgressBarControl::SetMarkers(const std::vector<int32_t>& Ticks)
{
    if (Ticks == MarkerTicks)
    {
        return;
    }
    MarkerTicks = Ticks;
    if (hBar != nullptr)
    {
        InvalidateRect(hBar, nullptr, FALSE);
    }
}

void ProgressBarControl::SetTooltip(const char16_t* pText)
{
    std::u16string Text;
    for (const char16_t* p = pText != nullptr ? pText : u""; *p != u'\0'; ++p)
    {
        if (*p == u'\n')
        {
            Text += u'\r';
        }
        Text += *p;
    }
    if (Text == TooltipText)
    {
        return;
    }
    TooltipText = std::move(Text);
    if (hTooltip != nullptr)
    {
        TOOLINFOW Tool{};
        Tool.cbSize = TTTOOLINFOW_V2_SIZE;
        Tool.hwnd = hOwner;
        Tool.uId = reinterpret_cast<UINT_PTR>(hBar);
        Tool.lpszText = reinterpret_cast<wchar_t*>(TooltipText.data());
        SendMessageW(hTooltip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&Tool));
    }
}

LRESULT CALLBACK ProgressBarControl::SubclassProc(HWND hWindow, UINT uiMessage, WPARAM wParam, LPARAM lParam,
                                                  UINT_PTR, DWORD_PTR pReference)
{
    auto* pControl = reinterpret_cast<ProgressBarControl*>(pReference);
    if (uiMessage == WM_NCDESTROY || pControl == nullptr || pControl->hBar != hWindow)
    {
        RemoveWindowSubclass(hWindow, SubclassProc, SUBCLASS_ID);
        if (pControl != nullptr && pControl->hBar == hWindow)
        {
            pControl->hBar = nullptr;
        }
        return DefSubclassProc(hWindow, uiMessage, wParam, lParam);
    }
    return pControl->OnMessage(uiMessage, wParam, lParam);
}

LRESULT ProgressBarControl::OnMessage(UINT uiMessage, WPARAM wParam, LPARAM lParam)
{
    if (hTooltip != nullptr && uiMessage >= WM_MOUSEFIRST && uiMessage <= WM_MOUSELAST)
    {
        const DWORD uiPosition = GetMessagePos();
        MSG Relayed{hBar,
                    uiMessage,
                    wParam,
                    lParam,
                    static_cast<DWORD>(GetMessageTime()),
                    POINT{GET_X_LPARAM(uiPosition), GET_Y_LPARAM(uiPosition)}};
        SendMessageW(hTooltip, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&Relayed));
    }
    switch (uiMessage)
    {
    case WM_LBUTTONDOWN:
        SetCapture(hBar);
        bDragging = true;
        iLastX = -1;
        SeekToPointer(GET_X_LPARAM(lParam));
        return 0;
    case WM_MOUSEMOVE:
        if (bDragging)
        {
            SeekToPointer(GET_X_LPARAM(lParam));
        }
        break;
    case WM_LBUTTONUP:
        if (bDragging)
        {
            SeekToPointer(GET_X_LPARAM(lParam));
            bDragging = false;
            ReleaseCapture();
        }
        return 0;
    case WM_CAPTURECHANGED:
        bDragging = false;
        break;
    case WM_CONTEXTMENU:
        ShowMenu(lParam);
        return 0;
    case WM_PAINT:
    case WM_PRINTCLIENT:
    {
        // The bar first, then the marks over it: into the context given, or onto the window.
        const LRESULT iResult = DefSubclassProc(hBar, uiMessage, wParam, lParam);
        if (iLoopStart >= 0 || !MarkerTicks.empty())
        {
            if (wParam != 0)
            {
                DrawMarks(reinterpret_cast<HDC>(wParam));
            }
            else if (HDC hContext = GetDC(hBar))
            {
                DrawMarks(hContext);
                ReleaseDC(hBar, hContext);
            }
        }
        return iResult;
    }
    default:
        break;
    }
    return DefSubclassProc(hBar, uiMessage, wParam, lParam);
}

RECT ProgressBarControl::Inside() const
{
    RECT Area{};
    GetClientRect(hBar, &Area);
    // The bar draws its one-pixel frame inside its client area.
    InflateRect(&Area, -1, -1);
    return Area;
}

void ProgressBarControl::SeekToPointer(int32_t iX)
{
    if (iX == iLastX || !Sink)
    {
        return;
    }
    iLastX = iX;
    const RECT Area = Inside();
    const LONG lWidth = std::max<LONG>(Area.right - Area.left, 1);
    const double dfFraction = std::clamp(static_cast<double>(iX - Area.left) / lWidth, 0.0, 1.0);
    DialogEvent Event;
    Event.What = DialogEvent::Kind::SeekToFraction;
    Event.dfValue = dfFraction;
    Sink(Event);
}

void ProgressBarControl::ShowMenu(LPARAM lParam)
{
    if (!Menu || !Sink)
    {
        return;
    }
    POINT At{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    if (lParam == -1)
    {
        // From the keyboard: under the bar's left end.
        RECT Window{};
        GetWindowRect(hBar, &Window);
        At = POINT{Window.left, Window.bottom};
    }
    PlaybackSession::Action What{};
    const ProgressMenu Popup(Menu());
    if (ProgressMenu::ActionOfCommand(Popup.Track(hOwner, At), What) != 0)
    {
        DialogEvent Event;
        Event.What = DialogEvent::Kind::Practice;
        Event.Practice = What;
        Sink(Event);
    }
}

void ProgressBarControl::DrawMarks(HDC hContext) const
{
    const RECT Area = Inside();
    const LONG lWidth = Area.right - Area.left;
    const LONG lHeight = Area.bottom - Area.top;
    PBRANGE Range{};
    SendMessageW(hBar, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&Range));
    if (lWidth <= 0 || lHeight <= 0 || Range.iHigh <= Range.iLow)
    {
        return;
    }
    const auto XOf = [&Area, &Range, lWidth](int32_t iValue)
    {
        const double dfFraction =
            (static_cast<double>(iValue) - Range.iLow) / (static_cast<double>(Range.iHigh) - Range.iLow);
        return static_cast<LONG>(Area.left + std::lround(std::clamp(dfFraction, 0.0, 1.0) * lWidth));
    };
    const LONG xFill = XOf(static_cast<int32_t>(SendMessageW(hBar, PBM_GETPOS, 0, 0)));
    const int iDpi = GetDeviceCaps(hContext, LOGPIXELSX);
    const LONG lLine = std::max(1, MulDiv(1, iDpi, USER_DEFAULT_SCREEN_DPI));
    // The highlight over the bar's track, the text colour of a highlight over its fill: in every
    // colour scheme, high contrast included, the two stand out from each other.
    const HBRUSH hOverFill = GetSysColorBrush(COLOR_HIGHLIGHTTEXT);
    const HBRUSH hOverTrack = GetSysColorBrush(COLOR_HIGHLIGHT);
    // Markers: ticks from the top edge, half the bar's height.
    for (const int32_t iTick : MarkerTicks)
    {
        const LONG xTick = std::min(XOf(iTick), Area.right - 2 * lLine);
        FillEitherSide(hContext,
                       RECT{xTick, Area.top, xTick + 2 * lLine, Area.top + std::max<LONG>(lHeight / 2, 3)},
                       xFill, hOverFill, hOverTrack);
    }
    if (iLoopStart < 0)
    {
        return;
    }
    const LONG xStart = XOf(iLoopStart);
    if (iLoopEnd < 0)
    {
        // A start marked alone: a thin line.
        const LONG lMark = 2 * lLine;
        RECT Line{std::min(xStart, Area.right - lMark), Area.top, 0, Area.bottom};
        Line.left = std::max(Line.left, Area.left);
        Line.right = Line.left + lMark;
        FillEitherSide(hContext, Line, xFill, hOverFill, hOverTrack);
        return;
    }
    const LONG xEnd = std::max(XOf(iLoopEnd), xStart + 1);
    // The band: hatched over the bar's height, so the fill shows through, with a solid strip along
    // its bottom and a line at either end.
    const HatchBrush HatchOverFill(COLOR_HIGHLIGHTTEXT);
    const HatchBrush HatchOverTrack(COLOR_HIGHLIGHT);
    const int iOldMode = SetBkMode(hContext, TRANSPARENT);
    POINT OldOrigin{};
    SetBrushOrgEx(hContext, Area.left, Area.top, &OldOrigin);
    FillEitherSide(hContext, RECT{xStart, Area.top, xEnd, Area.bottom}, xFill, HatchOverFill.Get(),
                   HatchOverTrack.Get());
    SetBrushOrgEx(hContext, OldOrigin.x, OldOrigin.y, nullptr);
    SetBkMode(hContext, iOldMode);
    const LONG lStrip = std::max<LONG>(2 * lLine, lHeight / 3);
    FillEitherSide(hContext, RECT{xStart, Area.bottom - lStrip, xEnd, Area.bottom}, xFill, hOverFill,
                   hOverTrack);
    FillEitherSide(hContext, RECT{xStart, Area.top, std::min(xStart + lLine, xEnd), Area.bottom}, xFill,
                   hOverFill, hOverTrack);
    FillEitherSide(hContext, RECT{std::max(xEnd - lLine, xStart), Area.top, xEnd, Area.bottom}, xFill,
                   hOverFill, hOverTrack);
}
