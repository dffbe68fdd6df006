#include "app/cli/ExecutableLocation.h"

#include "runtime/TextConversion.h"

#include <windows.h>

std::string PathBesideExecutable(const char* pName)
{
    wchar_t Path[MAX_PATH * 4];
    const DWORD uiLength =
        GetModuleFileNameW(nullptr, Path, static_cast<DWORD>(sizeof(Path) / sizeof(Path[0])));
    if (uiLength == 0 || uiLength >= sizeof(Path) / sizeof(Path[0]))
    {
        return pName;
    }
    std::u16string Full(reinterpret_cast<const char16_t*>(Path), uiLength);
    const size_t uSeparator = Full.find_last_of(u"\\/");
    return uSeparator == std::u16string::npos ? std::string(pName)
                                              : WideToUtf8(Full.substr(0, uSeparator + 1)) + pName;
}

std::string PathOfProgramData(const char* pName)
{
    // The ZIP keeps everything beside the programs.
    return PathBesideExecutable(pName);
}
