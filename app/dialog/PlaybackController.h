#pragma once
#include "app/player/PlaybackEngine.h"
#include "output/EnumerateOutputDevices.h"
#include "runtime/CNonCopyable.h"

#include <cstdint>
#include <vector>

class PlayerState;
class PlaybackEngine;
class SDialogHost;

// The dialog's side of playback: turns Play, Pause, Stop and the sliders into operations of the
// engine and shows what they did in the dialog's controls and messages, in the order the player
// always showed them. The settings of a start come from the controls (rate combo, bit-count field,
// device combo, speed slider) and the record (enhancer, shift). Everything runs on the UI thread.
class PlaybackController : private CNonCopyable
{
public:
    PlaybackController(PlayerState& State, SDialogHost& Host, PlaybackEngine& Engine);

    // Play: resumes from pause, or starts a new playback. A failure shows its message (or beeps when
    // an object cannot be made) and leaves no thread running and no device open.
    void StartPlayback();
    // Stop, the end of the file and every way out of the dialog.
    void StopPlayback();
    // Pause; only while playing.
    void Pause();
    // The speed slider at position p: returns the speed factor, and while a converter exists moves
    // its output rate there along its ramp.
    double ChangeSpeed(int32_t iPosition);
    // The volume slider at position p: ramps the gain there over one device period.
    void ChangeVolume(int32_t iPosition);

    // The output devices the device combo lists after its first entry (the default device), in its
    // order, as they were when the list was filled.
    void SetListedDevices(std::vector<ListedOutputDevice> Devices);
    // The endpoint the device combo's selection stands for: the default device (index -1, no
    // identifier) or a listed one, which Play and the settings find again by its identifier.
    ListedOutputDevice ChosenDevice() const;
    // The device combo's entry of the endpoint with identifier Id (an endpoint without one: by its
    // index iIndex), as the list was filled; -1 when the list leaves it out.
    int32_t ComboEntryOf(const std::u16string& Id, int32_t iIndex) const;

    // 1 while playing (paused included) when the playback has ended by itself.
    int32_t HasPlaybackEnded() const;
    // The end of the program: every object goes. Does not touch the dialog. Safe to repeat.
    void TearDown();
    // The drain wait of a stop with the current objects, in milliseconds.
    uint32_t DrainMilliseconds() const;

    PlaybackEngine& GetEngine() { return Engine; }
    // What the last start did (the rate, bits and mode found, the step that failed and its code, the
    // failed attempts of the ladder), for front ends that show it their own way; 0 before any start
    // and after a resume, which starts nothing.
    const PlaybackEngine::StartReport& GetLastStartReport() const { return LastReport; }
    int32_t HasStarted() const { return bReported; }

private:
    void ShowError(const char16_t* pText);

    PlayerState& State;
    SDialogHost& Host;
    PlaybackEngine& Engine;
    std::vector<ListedOutputDevice> Listed;
    PlaybackEngine::StartReport LastReport;
    int32_t bReported = 0;
};
