#include "output/wasapi/SettingsCommandLine.h"

#include "runtime/StringFunctions.h"

void BuildSettingsCommandLine(const char16_t* pEndpointId, char16_t* pCommandLine)
{
    pCommandLine[0] = u'\0';
    AppendWideString(pCommandLine, SETTINGS_COMMAND_LINE_UNITS, u"control.exe mmsys.cpl,,");
    AppendWideString(pCommandLine, SETTINGS_COMMAND_LINE_UNITS, pEndpointId != nullptr ? pEndpointId : u"");
    AppendWideString(pCommandLine, SETTINGS_COMMAND_LINE_UNITS, u",advanced");
}
