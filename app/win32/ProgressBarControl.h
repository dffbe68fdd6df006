#pragma once
#include "app/dialog/DialogEvent.h"
#include "app/dialog/MainDialog.h"
#include "runtime/CNonCopyable.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>
#include <windows.h>

// What the dialog's progress bar does beyond showing the place: a click or drag seeks, the loop's
// A-B band (or a start marked alone) and the markers' ticks are drawn over the bar, a tooltip tells the place
// and the loop, and the context menu offers the practice items. Subclasses the bar and owns the tooltip; both
// go with Detach or this object.
class ProgressBarControl : private CNonCopyable
{
public:
    // Takes a request of the user's; 1 taken, 0 nothing done.
    using EventSink = std::function<int32_t(const DialogEvent& Event)>;
    // The menu's items as they are now.
    using MenuSource = std::function<std::vector<MainDialog::MenuItem>()>;

    ~ProgressBarControl() { Detach(); }

    // 1 attached to hNewBar (a child of hNewOwner), -1 when the bar could not be subclassed.
    int32_t Attach(HWND hNewBar, HWND hNewOwner, EventSink NewSink, MenuSource NewMenu);
    void Detach();

    // The loop in the bar's range: band [iStart, iEnd), a start alone with iEnd < 0, none with
    // iStart < 0. Redrawn only when changed.
    void SetLoop(int32_t iStart, int32_t iEnd);
    // The markers in the bar's range, drawn as ticks from the top edge.
    void SetMarkers(const std::vector<int32_t>& Ticks);
    // The tooltip's text, lines separated by "\n"; updated only when changed.
    void SetTooltip(const char16_t* pText);

private:
    static LRESULT CALLBACK SubclassProc(HWND hWindow, UINT uiMessage, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR uiId, DWORD_PTR pReference);
    LRESULT OnMessage(UINT uiMessage, WPARAM wParam, LPARAM lParam);
    // The inside of the bar's frame, where the bar and the marks are drawn.
    RECT Inside() const;
    void SeekToPointer(int32_t iX);
    void ShowMenu(LPARAM lParam);
    void DrawMarks(HDC hContext) const;

    HWND hBar = nullptr;
    HWND hOwner = nullptr;
    HWND hTooltip = nullptr;
    EventSink Sink;
    MenuSource Menu;
    bool bDragging = false;
    int32_t iLastX = -1;
    int32_t iLoopStart = -1;
    int32_t iLoopEnd = -1;
    std::vector<int32_t> MarkerTicks;
    std::u16string TooltipText;
};
