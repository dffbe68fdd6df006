#include "app/dialog/CommandLineArguments.h"
#include "app/dialog/PlayerLanguageChoice.h"
#include "app/dialog/ProgramEntry.h"
#include "app/player/AudioLayerSelection.h"
#include "app/qt/QtDialogHost.h"
#include "app/qt/QtMainDialogWindow.h"
#include "app/qt/QtMprisService.h"
#include "output/CreatePlatformSettingsLauncher.h"
#include "output/SSettingsLauncher.h"

#include <QApplication>
#include <QString>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    // Qt takes its own options (-platform, -style, ...) out of argv first; what is left is ours.
    QApplication Application(argc, argv);
    PlayerTexts::SetLanguage(PlayerLanguageChoice::AtStart());
    // One command line as the dialog reads it, each argument quoted where it needs it (a path with
    // blanks from a file manager stays one argument).
    std::vector<std::u16string> Words;
    bool bFresh = false;
    for (int i = 1; i < argc; ++i)
    {
        const std::u16string Word = QString::fromLocal8Bit(argv[i]).toStdU16String();
        // --fresh: what was kept for a file is neither used nor overwritten.
        if (Word == CommandLineArguments::FRESH)
        {
            bFresh = true;
            continue;
        }
        Words.push_back(Word);
    }
    const std::u16string Arguments = CommandLineArguments::Join(Words);

    std::unique_ptr<SAudioClientLayer> pLayer;
    std::string Description;
    const int32_t iLayer = SelectAudioLayerFromEnvironment(pLayer, Description);
    if (iLayer == -4)
    {
        std::fprintf(stderr, "larkspur: %s\n", Description.c_str());
        return 1;
    }
    if (iLayer < 0)
    {
        // The dialog still opens; Play then reports the device it cannot open.
        std::fprintf(stderr, "larkspur: %s\n", Description.c_str());
    }
    const std::unique_ptr<SSettingsLauncher> pLauncher = CreatePlatformSettingsLauncher();

    QtMainDialogWindow Window;
    QtDialogHost Host(Window);
    ProgramEntry Entry(pLayer.get(), pLauncher.get(), Host, Arguments.c_str());
    if (Entry.Begin() < 0)
    {
        return 1;
    }
    Entry.GetDialog().GetSession().SetRemembering(!bFresh);
    Window.SetDropHandler([&Entry](const std::u16string& Path)
                          { Entry.GetDialog().OnFileDropped(Path.c_str()); });
    int32_t iResult = 0;
    {
        // Media keys and the desktop's media controls, while the dialog runs; without a session bus
        // the window is the same, silently.
        QtMprisService MediaControls(Entry.GetDialog(), Host);
        if (MediaControls.RegisterOnSessionBus() < 0)
        {
            std::fprintf(stderr, "larkspur: the media controls could not be offered on the session bus\n");
        }
        iResult = Host.Run(Entry.GetDialog());
    }
    Entry.End();
    return iResult;
}
