#include "app/dialog/ProgramEntry.h"

#include "app/dialog/CommandLineArguments.h"
#include "app/player/PlayerState.h"
#include "output/SAudioClientLayer.h"

ProgramEntry::ProgramEntry(SAudioClientLayer* pLayer, SSettingsLauncher* pLauncher, SDialogHost& Host,
                           const char16_t* pArguments, SPlaybackObjectFactory* pFactory)
    : State(PlayerState::Instance()), pLayer(pLayer),
      Engine(State, pLayer, pFactory != nullptr ? *pFactory : DefaultFactory),
      Controller(State, Host, Engine), Dialog(State, Host, Controller, pLayer, pLauncher),
      pArguments(pArguments)
{
}

ProgramEntry::~ProgramEntry()
{
    End();
}

int32_t ProgramEntry::Begin()
{
    std::u16string FilePath;
    CommandLineArguments::Read(pArguments, State.iShift, FilePath);
    // Opened once the dialog's controls exist, as if chosen with "...".
    Dialog.SetInitialFile(FilePath);
    const int32_t iVolume = Engine.CreateVolume();
    if (iVolume < 0)
    {
        return iVolume;
    }
    bThreadInitialized = pLayer != nullptr && pLayer->InitializeThread() >= 0 ? 1 : 0;
    bBegun = 1;
    return 1;
}

void ProgramEntry::End()
{
    if (bBegun == 0)
    {
        return;
    }
    bBegun = 0;
    if (State.bPlaying == 1)
    {
        Controller.StopPlayback();
    }
    Engine.TearDown();
    if (bThreadInitialized != 0)
    {
        pLayer->UninitializeThread();
        bThreadInitialized = 0;
    }
    Engine.DestroyVolume();
}
