#pragma once
#include "runtime/CNonCopyable.h"
#include <cstdint>
#include <functional>
#include <windows.h>

// The practice keys of the dialog, taken in the modal dialog loop before IsDialogMessage and before
// any control sees them: a message filter hook (MSGF_DIALOGBOX) on the dialog's thread catches each
// typed character meant for the dialog or one of its controls, except in the bit-count field, where
// digits are typed. So a digit never searches a drop-down list, and key downs (Tab, Escape, Enter,
// the sliders' arrows, Space on a button) pass as before. The hook goes with this object.
class PracticeKeyFilter : private CNonCopyable
{
public:
    // Gets a typed character: 1 when it is a practice key (taken, whatever it did), 0 to pass it on.
    using KeyReceiver = std::function<int32_t(char16_t cKey)>;

    ~PracticeKeyFilter() { Remove(); }

    // 1 installed, -1 when the hook was refused. One filter per thread.
    int32_t Install(HWND hNewDialog, KeyReceiver NewReceiver);
    void Remove();

private:
    static LRESULT CALLBACK FilterProc(int iCode, WPARAM wParam, LPARAM lParam);
    // 1 when the message is a practice key for this dialog and was taken.
    int32_t Take(const MSG& Message);

    HHOOK hHook = nullptr;
    HWND hDialog = nullptr;
    KeyReceiver Receiver;
    // The filter of the thread's dialog, for the hook procedure, which gets no context of its own.
    static thread_local PracticeKeyFilter* pThreadFilter;
};
