#pragma once
#include "app/dialog/MainDialog.h"
#include "app/dialog/PlaybackController.h"
#include "app/player/PlaybackEngine.h"
#include "app/player/PlaybackObjectFactory.h"
#include "runtime/CNonCopyable.h"

#include <cstdint>
#include <memory>

class PlayerState;
class SDialogHost;
class SAudioClientLayer;
class SSettingsLauncher;
class SPlaybackObjectFactory;

// What every front end does around its dialog: the engine, the dialog's controller over it and the
// dialog logic. Begin reads the shift from the command line, creates the volume smoother and
// prepares the UI thread for the audio layer; the front end then
// runs its dialog with GetDialog() as the handler; End stops a playback that still runs and tears
// everything down in order. Front end:
//
//     ProgramEntry Entry(pLayer, pLauncher, Host, pArguments);
//     if (Entry.Begin() < 0) return 1;
//     ... run the dialog, calling Entry.GetDialog() ...
//     Entry.End();
class ProgramEntry : private CNonCopyable
{
public:
    // pArguments: the command line after the program name (may be null). pFactory: null for the
    // programs' own objects. The layer, the launcher and the host must outlive the entry.
    ProgramEntry(SAudioClientLayer* pLayer, SSettingsLauncher* pLauncher, SDialogHost& Host,
                 const char16_t* pArguments, SPlaybackObjectFactory* pFactory = nullptr);
    // End.
    ~ProgramEntry();

    // 1; -2 when the volume smoother cannot be made.
    int32_t Begin();
    MainDialog& GetDialog() { return Dialog; }
    PlaybackController& GetController() { return Controller; }
    PlaybackEngine& GetEngine() { return Engine; }
    // Every way out ends here: a playback that still runs stops (through StopPlayback, which clears
    // bPaused first), then every object goes. The host may no longer show anything; the calls it
    // gets are ignored. Safe to repeat.
    void End();

private:
    PlayerState& State;
    SAudioClientLayer* pLayer;
    PlaybackObjectFactory DefaultFactory;
    PlaybackEngine Engine;
    PlaybackController Controller;
    MainDialog Dialog;
    const char16_t* pArguments;
    int32_t bThreadInitialized = 0;
    int32_t bBegun = 0;
};
