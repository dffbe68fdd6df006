#include "app/win32/PlayerProgram.h"

#include "app/dialog/CommandLineArguments.h"
#include "app/dialog/ProgramEntry.h"
#include "app/player/AudioLayerSelection.h"
#include "app/win32/MainDialogProc.h"
#include "output/CreatePlatformSettingsLauncher.h"
#include "output/SAudioClientLayer.h"
#include "output/SSettingsLauncher.h"
#include "runtime/CNonCopyable.h"

#include <commctrl.h>
#include <objbase.h>
#include <string>

namespace
{
constexpr int32_t MAIN_DIALOG_TEMPLATE = 101;

// COM for the dialog's thread, for as long as the player runs.
class ComApartment : private CNonCopyable
{
public:
    ComApartment() : bInitialized(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) ? 1 : 0) {}
    ~ComApartment()
    {
        if (bInitialized != 0)
        {
            CoUninitialize();
        }
    }

private:
    int32_t bInitialized;
};
} // namespace

const wchar_t* SkipProgramName(const wchar_t* pCommandLine)
{
    if (pCommandLine == nullptr)
    {
        return L"";
    }
    const wchar_t* p = pCommandLine;
    if (*p == L'"')
    {
        ++p;
        while (*p != L'\0' && *p != L'"')
        {
            ++p;
        }
        if (*p == L'"')
        {
            ++p;
        }
    }
    else
    {
        while (*p != L'\0' && *p != L' ' && *p != L'\t')
        {
            ++p;
        }
    }
    while (*p == L' ' || *p == L'\t')
    {
        ++p;
    }
    return p;
}

int32_t RunPlayer(HINSTANCE hInstance, const char16_t* pArguments, Win32DialogHost::FileChooser Chooser,
                  bool bRemember)
{
    std::u16string Arguments = pArguments != nullptr ? pArguments : u"";
    const bool bFresh = CommandLineArguments::TakeFresh(Arguments);
    ComApartment Apartment;
    // The dialog's trackbars, lists and progress bar.
    INITCOMMONCONTROLSEX Classes{sizeof(INITCOMMONCONTROLSEX),
                                 ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&Classes);

    std::unique_ptr<SAudioClientLayer> pLayer;
    std::string Description;
    // Without an audio system the dialog still runs; Play then reports the device failure.
    SelectAudioLayerFromEnvironment(pLayer, Description);
    std::unique_ptr<SSettingsLauncher> pLauncher = CreatePlatformSettingsLauncher();

    Win32DialogHost Host;
    Host.SetFileChooser(std::move(Chooser));
    ProgramEntry Entry(pLayer.get(), pLauncher.get(), Host, Arguments.c_str());
    if (Entry.Begin() < 0)
    {
        return 1;
    }
    Entry.GetDialog().GetSession().SetRemembering(bRemember && !bFresh);
    Host.SetHandler(&Entry.GetDialog());
    Host.SetDropReceiver([&Entry](const char16_t* pPath) { Entry.GetDialog().OnFileDropped(pPath); });
    Host.SetProgressMenuSource([&Entry]() { return Entry.GetDialog().GetProgressMenu(); });
    const INT_PTR iResult = DialogBoxParamW(hInstance, MAKEINTRESOURCEW(MAIN_DIALOG_TEMPLATE), nullptr,
                                            MainDialogProc, reinterpret_cast<LPARAM>(&Host));
    Entry.End();
    Host.SetHandler(nullptr);
    Host.SetDropReceiver({});
    Host.SetProgressMenuSource({});
    return iResult < 0 ? 1 : static_cast<int32_t>(iResult);
}
