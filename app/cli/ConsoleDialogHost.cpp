#include "app/cli/ConsoleDialogHost.h"

#include "runtime/TextConversion.h"

#include <optional>

ConsoleDialogHost::ConsoleDialogHost(std::ostream& Messages) : Messages(Messages) {}

bool ConsoleDialogHost::MoveSlider(int32_t iId, int32_t iPosition)
{
    if (!PlaceSlider(iId, iPosition))
    {
        return false;
    }
    NotifyScroll(iId);
    return true;
}

void ConsoleDialogHost::SetChecked(int32_t iId, int32_t bChecked)
{
    Controls[iId].bChecked = bChecked != 0 ? 1 : 0;
}

void ConsoleDialogHost::SetFileChoice(const std::u16string& Path)
{
    ScriptFileChoice(Path.empty() ? std::nullopt : std::optional<std::u16string>(Path));
}

void ConsoleDialogHost::ShowErrorMessage(const char16_t* pText, const char16_t* pCaption)
{
    InMemoryDialogHost::ShowErrorMessage(pText, pCaption);
    if (BeforeMessage)
    {
        BeforeMessage();
    }
    Messages << WideToUtf8(pCaption != nullptr ? pCaption : u"") << ": "
             << WideToUtf8(pText != nullptr ? pText : u"") << std::endl;
}

void ConsoleDialogHost::DefaultBeep()
{
    InMemoryDialogHost::DefaultBeep();
    Messages << '\a' << std::flush;
}
