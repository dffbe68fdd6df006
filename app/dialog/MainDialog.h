#pragma once
#include "app/dialog/PlaybackSession.h"
#include "app/dialog/SDialogHandler.h"
#include "app/player/PlaybackEngine.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class PlayerState;
class SDialogHost;
class PlaybackController;
class SAudioClientLayer;
class SSettingsLauncher;

// The main dialog's logic, the same behind every front end: fills the controls at the start, routes
// each command and slider move to the controller, shows the chosen file's properties and runs the
// progress timer, which also stops playback at the end of the file.
class MainDialog : public SDialogHandler
{
public:
    // pLayer lists the output devices and finds the one whose settings are opened; pLauncher opens
    // them. Neither is owned.
    MainDialog(PlayerState& State, SDialogHost& Host, PlaybackController& Controller,
               SAudioClientLayer* pLayer, SSettingsLauncher* pLauncher);

    void OnInitDialog() override;
    void OnCommand(int32_t iControlId) override;
    void OnVScroll(int32_t iControlId) override;
    void OnTimer(uint32_t uiTimerId) override;
    int32_t OnUserEvent(const DialogEvent& Event) override;

    // The practice session the window and the terminal drive.
    PlaybackSession& GetSession() { return Session; }
    // The action of a practice key (',' '.' '<' '>' '0'-'9' 'a' 'b' 'l' 't' 'k', the nudges z x s d,
    // c v f g, the run-up u i and the markers m n p e; letters in either case): 1 with What, 0 for
    // any other key. The terminal player's keys are the same.
    static int32_t ActionOfKey(char16_t cKey, PlaybackSession::Action& What);

    // One item of the progress bar's menu: the action, its text (with its key after a tab), whether
    // it can be chosen now and whether it shows a check mark.
    struct MenuItem
    {
        PlaybackSession::Action What;
        std::u16string Text;
        int32_t bEnabled;
        int32_t bChecked;
    };
    std::vector<MenuItem> GetProgressMenu();
    // The progress bar's tooltip now: the place heard and the length, the loop with its repetition
    // and the trainer's next speed.
    std::u16string ProgressTooltip();
    // The loop's marks and the tooltip shown again (after an action, and by the progress timer).
    void ShowPracticeMarks();

    void InitMainDialog();
    // The "..." button: the file dialog, then the file's properties; an accepted file becomes the
    // player's file, a refused one leaves the previous file loaded.
    void ChooseFile();
    // A file chosen by other means than "..." (dropped onto the dialog): the same checks, messages
    // and states as a choice in the file dialog. Only while "..." could be clicked, that is while no
    // playback runs. 1 when the file became the player's, 0 otherwise.
    int32_t OnFileDropped(const char16_t* pPath);
    // A file named on the command line: taken when the dialog opens, as a choice with "..." would
    // be (a refused one shows its message there). Empty for none.
    void SetInitialFile(std::u16string Path) { InitialFile = std::move(Path); }
    // Shows the properties of the file at pPath in the file list: 1 when the reader accepts it, 0
    // (with the message, the list left blank) otherwise.
    int32_t ShowFileInfo(const char16_t* pPath);
    // Every 10 ms while playing: the progress bar; at the end of the file, or when playback has
    // ended by itself, a click on Stop.
    void ProgressTimerProc();

    // The window title for a shift value ("Larkspur v" and the version, with " (Shift: n)" when not 0).
    static void FormatTitle(int32_t iShift, char16_t* pText, uint64_t ullSizeBytes);

private:
    // The common end of every way of choosing a file.
    int32_t TakeChosenFile(const std::u16string& Path);
    // The file list's values for a file the engine examined, or the message for one it refused. 1
    // when readable.
    int32_t ShowExamined(int32_t iExamined, const PlaybackEngine::FileFacts& Facts, const char16_t* pPath);
    void BlankFileInfo();

    PlayerState& State;
    SDialogHost& Host;
    PlaybackController& Controller;
    SAudioClientLayer* pLayer;
    SSettingsLauncher* pLauncher;
    std::u16string InitialFile;
    PlaybackSession Session;
};
