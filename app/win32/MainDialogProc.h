#pragma once
#include <windows.h>

// The dialog procedure of dialog 101. DialogBoxParamW's parameter is the Win32DialogHost, whose
// handler gets every command, slider move and timer tick, and the media keys. Returns TRUE for the
// media keys it takes (WM_APPCOMMAND's result TRUE), 0 for every other message.
INT_PTR CALLBACK MainDialogProc(HWND hDialog, UINT uiMessage, WPARAM wParam, LPARAM lParam);
