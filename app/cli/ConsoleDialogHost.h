#pragma once
#include "app/dialog/InMemoryDialogHost.h"

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>

// The main dialog's controls in memory for the terminal player: the dialog logic writes them as it
// would write a window, the player reads them back for its status line and acts on them as a user
// would (Click, MoveSlider, ...). Messages are printed on the error stream, caption first. The file
// dialog answers with the path given in advance. Timers are only recorded: the player's loop ticks
// the running ones.
class ConsoleDialogHost : public InMemoryDialogHost
{
public:
    explicit ConsoleDialogHost(std::ostream& Messages);

    // Moves a slider (clamped to its range); notifies the handler only when the position changed.
    bool MoveSlider(int32_t iId, int32_t iPosition);
    // Ticks or unticks the check box; the click that tells the dialog is the caller's.
    void SetChecked(int32_t iId, int32_t bChecked);
    // Called before a message is printed (the player ends its status line there first).
    void SetBeforeMessage(std::function<void()> Function) { BeforeMessage = std::move(Function); }
    // The file dialog's next answer; an empty path cancels it.
    void SetFileChoice(const std::u16string& Path);

    void ShowErrorMessage(const char16_t* pText, const char16_t* pCaption) override;
    void DefaultBeep() override;

private:
    std::ostream& Messages;
    std::function<void()> BeforeMessage;
};
