#pragma once
#include "app/win32/Win32DialogHost.h"

#include <cstdint>
#include <windows.h>

// The Windows player around dialog 101: the shift from pArguments (the command line after the
// program name), COM for the UI thread, the modal dialog, the teardown. Returns the dialog's result,
// which is the program's exit code, or 1 when the program cannot start. Chooser, when set, stands
// in for the common file dialog. bRemember keeps each file's practice in the state folder (the
// program's own run; "--fresh" among the arguments turns it off).
int32_t RunPlayer(HINSTANCE hInstance, const char16_t* pArguments, Win32DialogHost::FileChooser Chooser = {},
                  bool bRemember = false);

// The command line after the program name (quoted or not) and the blanks that follow it.
const wchar_t* SkipProgramName(const wchar_t* pCommandLine);
