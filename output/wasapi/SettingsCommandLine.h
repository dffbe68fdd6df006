#pragma once
#include <cstddef>

// The sound control panel's command line is built in a fixed buffer of this many 16-bit units,
// terminator included.
constexpr size_t SETTINGS_COMMAND_LINE_UNITS = 1024;

// "control.exe mmsys.cpl,," + the endpoint identifier + ",advanced" into pCommandLine (of
// SETTINGS_COMMAND_LINE_UNITS units), each piece as far as it fits, so an over-long identifier
// leaves 1023 characters and the terminator. A null identifier counts as empty.
void BuildSettingsCommandLine(const char16_t* pEndpointId, char16_t* pCommandLine);
