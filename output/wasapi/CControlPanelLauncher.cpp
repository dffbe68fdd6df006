#include "output/wasapi/CControlPanelLauncher.h"

#include "output/CreatePlatformSettingsLauncher.h"
#include "output/wasapi/SettingsCommandLine.h"

#include <windows.h>

int32_t CControlPanelLauncher::Launch(const std::u16string& EndpointId)
{
    char16_t CommandLine[SETTINGS_COMMAND_LINE_UNITS] = {};
    BuildSettingsCommandLine(EndpointId.c_str(), CommandLine);
    return StartProcess(CommandLine);
}

int32_t CControlPanelLauncher::StartProcess(char16_t* pCommandLine)
{
    STARTUPINFOW StartupInfo{};
    StartupInfo.cb = sizeof(StartupInfo);
    PROCESS_INFORMATION Process{};
    if (!CreateProcessW(nullptr, reinterpret_cast<wchar_t*>(pCommandLine), nullptr, nullptr, FALSE, 0,
                        nullptr, nullptr, &StartupInfo, &Process))
    {
        return -1;
    }
    CloseHandle(Process.hThread);
    CloseHandle(Process.hProcess);
    return 1;
}

// The launcher the programs use on this platform.
std::unique_ptr<SSettingsLauncher> CreatePlatformSettingsLauncher()
{
    return std::make_unique<CControlPanelLauncher>();
}
