#pragma once
#include <cstdint>
#include <memory>

class PlayerState;
class SDialogHost;
class SAudioClientLayer;
class SPlaybackObjectFactory;
class WaveFileReader;
class IntelligentSoundBuffer;
class CSoundStreamWASAPI;
class SamplingFrequencyConverter;
class CMultiThreadWin;

// Turns the user's commands into operations on the player's working objects: starts playback with
// a fresh set of objects and a device found through the ladder of share modes and rates, pauses and
// resumes, follows the sliders, stops with a drain wait, and tears everything down at the end.
// It owns the objects; the PlayerState record holds their addresses for the playback thread and the
// buffer callback (which read PlayerState::Instance(), so State must be that record). Everything
// runs on the UI thread; the dialog is reached through the host only.
class PlaybackController
{
public:
    // pLayer: the audio-client layer every stream is opened on (not owned).
    PlaybackController(PlayerState& State, SDialogHost& Host, SAudioClientLayer* pLayer,
                       SPlaybackObjectFactory& Factory);
    // Tears down what is left (TearDown).
    ~PlaybackController();
    PlaybackController(const PlaybackController&) = delete;
    PlaybackController& operator=(const PlaybackController&) = delete;

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

    // One pass of the device ladder from the user's maximum: 1 when a rate was found (the rate
    // combo then shows it), 0 otherwise.
    int32_t OpenOutputDevice(int32_t iEndpointIndex, int32_t bShared, int32_t bUpward);
    // One attempt of the ladder at uiFrequency Hz: 1, or a negative code.
    int32_t ConfigureOutputAtRate(uint32_t uiFrequency, int32_t iEndpointIndex);
    // Releases and frees a sound buffer.
    static void DestroyIntelligentSoundBuffer(std::unique_ptr<IntelligentSoundBuffer>& pBuffer);

    // Takes the reader of a newly chosen file, replacing (closing and destroying) the previous one.
    // Refused (0, the reader is destroyed) while playing.
    int32_t ReplaceReader(std::unique_ptr<WaveFileReader> pReader);
    // 1 while playing (paused included) when the playback thread or the render thread has ended by
    // itself: the file was played out, it could not be read, or the device failed.
    int32_t HasPlaybackEnded() const;
    // The end of the program: with bPaused cleared first, stops the threads and the device and frees
    // every object in the teardown order. Does not touch the dialog. Safe to repeat.
    void TearDown();

    // The drain wait of a stop with the current objects, in milliseconds.
    uint32_t DrainMilliseconds() const;

private:
    // The cleanup of a failed start.
    void CleanUpFailedStart();
    void ShowError(const char16_t* pText);
    // Mirrors the owned objects into the record.
    void Publish();
    void StopPlaybackThread();

    PlayerState& State;
    SDialogHost& Host;
    SAudioClientLayer* pLayer;
    SPlaybackObjectFactory& Factory;

    std::unique_ptr<WaveFileReader> pReader;
    std::unique_ptr<IntelligentSoundBuffer> pSoundBuffer;
    std::unique_ptr<CSoundStreamWASAPI> pStream;
    std::unique_ptr<SamplingFrequencyConverter> pConverter;
    std::unique_ptr<CMultiThreadWin> pWorker;
};
