#pragma once
#include "app/player/PlayerDefaults.h"
#include "runtime/CNonCopyable.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class PlayerState;
class SAudioClientLayer;
class SPlaybackObjectFactory;
class SAudioFileReader;
class IntelligentSoundBuffer;
class CSoundStreamWASAPI;
class SamplingFrequencyConverter;
class CMultiThreadWin;
class TimeStretcher;

// The player without its dialog: the file, and for each playback a fresh set of working objects
// (converter, sound buffer, output stream, playback thread) on a device found through the ladder of
// share modes and rates. Settings go in, what happened comes out; it never shows anything. It owns
// the objects and keeps their addresses in the PlayerState record it is given, which its playback
// thread and buffer callback read (the program gives it PlayerState::Instance()).
//
// Every call comes from one thread, the owner's (the dialog's UI thread).
class PlaybackEngine : private CNonCopyable
{
public:
    // What the reader found in a file.
    struct FileFacts
    {
        uint32_t uiSamplingFrequency = 0;
        uint32_t uiChannelCount = 0;
        // The file's own bits per sample; 0 when it has none (lossy codings).
        uint32_t uiBitCount = 0;
        uint64_t ullFrameCount = 0;
        // 1 when ullFrameCount is an estimate (the sound ends where the reader stops).
        int32_t bFrameCountEstimated = 0;
        int32_t bFloatSamples = 0;
        // "WAV", "FLAC", "MP3", ...
        std::u16string CodingName;
        // Why a refused file was refused, when the reader said (without the file's name).
        std::u16string RefusalReason;
    };

    // An attempt of the ladder that failed for a reason of the player's own (a device refusing a
    // rate is no such failure): the sound buffer could not be set up, its capacity not limited, or
    // its period was 0 or the stream already set up.
    enum class AttemptFailure : uint32_t
    {
        SoundBuffer,
        CapacityLimit,
        BufferSize,
    };

    // A playback's settings: the endpoint (its index in the enumeration, -1 for the default; or, when
    // EndpointId is not empty, the endpoint with that identifier wherever it is listed now, and a
    // device that has gone opens at no rate), the highest rate it may run at (an index of the rate
    // table), the effective bits 1 ... 32, the resolution enhancer, the spectrum shift and the speed
    // it starts at.
    struct StartSettings
    {
        int32_t iEndpoint = -1;
        std::u16string EndpointId;
        uint32_t uiRateIndex = PlayerDefaults::RATE_INDEX;
        uint32_t uiEffectiveBitCount = PlayerDefaults::EFFECTIVE_BIT_COUNT;
        int32_t bEnhancerEnabled = PlayerDefaults::ENHANCER_ENABLED;
        int32_t iShift = 0;
        double dfSpeed = 1.0;
        // Told of each failed attempt of the ladder at once, before the next attempt (the front
        // end shows its message there); may be empty.
        std::function<void(AttemptFailure)> OnAttemptFailure;
    };

    // Where a start stopped, in the order the steps run.
    enum class StartStep : uint32_t
    {
        None = 0,
        Objects,      // an object could not be made
        Device,       // no rate of any pass opened the device
        DeviceFormat, // the device reported no rate or no bits
        Converter,    // the converter refused the rates or the shift
        InputBuffer,  // the thread's input buffer
        OutputBuffer, // the thread's output buffer
        Thread,       // the playback thread did not start
        Activate,     // the render thread did not start
        DeviceStart,  // the device did not start
    };

    struct StartReport
    {
        StartStep FailedStep = StartStep::None;
        int32_t iResult = 0;
        // In the order they happened (each also told to OnAttemptFailure as it happened).
        std::vector<AttemptFailure> AttemptFailures;
        // Once the ladder found a rate: its index, whether the mode is shared, and the device's
        // rate and container bits.
        int32_t bDeviceOpened = 0;
        uint32_t uiRateIndex = 0;
        int32_t bShared = 0;
        double dfDeviceRate = 0.0;
        uint32_t uiDeviceBits = 0;
        int32_t bThreadStarted = 0;
    };

    // pLayer: the audio-client layer every stream is opened on (not owned).
    PlaybackEngine(PlayerState& State, SAudioClientLayer* pLayer, SPlaybackObjectFactory& Factory);
    // TearDown.
    ~PlaybackEngine();

    // The file. Examine reads the file's header with a reader of its own: 1 readable (Facts
    // filled), negative refused. Open examines it, then makes it the file Start plays; a refused
    // file leaves the current one. 1 taken; 0 readable but not taken (while playing, or no reader
    // could be made); negative refused.
    int32_t ExamineFile(const char16_t* pPath, FileFacts& Facts);
    int32_t OpenFile(const char16_t* pPath, FileFacts& Facts);
    // The length of ullFrames at uiRate in seconds: whole seconds in integers, the fraction in doubles.
    static double LengthInSeconds(uint64_t ullFrames, uint32_t uiRate);

    // The volume ramp: made (not yet initialised) by CreateVolume, set to a gain at once by
    // InitializeVolume (made first when there is none), gone after DestroyVolume (not while
    // playing). SetVolume moves to a gain along the ramp, over one device period once a device was
    // opened; nothing until the ramp is initialised. -2 when it cannot be made.
    int32_t CreateVolume();
    int32_t InitializeVolume(double dfGain);
    void SetVolume(double dfGain);
    void DestroyVolume();

    // A start in two steps, for a caller that reads its settings after the objects exist:
    // PrepareStart ends a playback that still runs, rewinds the file and makes a fresh set of
    // objects (1, or -2 when one cannot be made: StartStep::Objects); Start then opens the device and
    // starts playing. Start prepares by itself when PrepareStart was not called. 1 playing;
    // negative when it failed (Report says where); nothing is left running after a failure.
    int32_t PrepareStart();
    int32_t Start(const StartSettings& Settings, StartReport& Report);

    // Pause and resume; only while playing.
    void Pause();
    void Resume();
    // Stops: with the pause cleared first, the playback thread ends, what the sound buffer and the
    // device hold plays out (the drain wait) and the device stops. Bounded by DrainMilliseconds.
    void Stop();
    // The speed along the converter's ramp (bImmediate: at once); nothing without a converter.
    // Keeping the pitch, the stretcher glides to it instead and the converter stays at x1.
    void SetSpeed(double dfSpeed, int32_t bImmediate = 0);

    // Keep pitch: the tempo follows the speed and the pitch stays (a time-stretcher in front of the
    // converter, which then only converts to the device's rate); at exactly x1 the sound is the same
    // as without. Kept across starts. Switched while playing, one device period of the old mode
    // crossfades into the new one at the place reached.
    void SetKeepPitch(int32_t bKeep);
    int32_t GetKeepPitch() const;

    // Moves playback to input frame ullFrame while playing or paused: the sound fades out over one
    // device period and fades in at the new place; a frame at or past the end ends playback as the
    // end of the file does. A seek while paused plays from there on resume. 1 taken; 0 not playing.
    int32_t Seek(uint64_t ullFrame);

    // Where the next Start plays from, instead of the first frame (taken once; a frame past the
    // end plays nothing). The first period fades in as after a seek.
    void SetStartFrame(uint64_t ullFrame) { ullStartFrame = ullFrame; }
    // The passage [ullStart, ullEnd) in input frames played again and again: at its end the sound
    // fades out and goes on, faded in, from its start; each repetition is the same as the one
    // before. Kept across starts until cleared; the end is taken within the file. 1 set; -4 an
    // empty passage. With ullRunUp, every return goes on that many frames before the start (from
    // the file's start at most). Set while a loop plays, the new start and run-up take effect at the
    // next return, and so does a new end that the pass has come too close to for a clean fade.
    int32_t SetLoop(uint64_t ullStart, uint64_t ullEnd, uint64_t ullRunUp = 0);
    void ClearLoop();
    // How often playback has gone back to a loop's start so far.
    uint64_t GetLoopPasses() const;
    // The speed the next return to the loop's start glides to, as a slider move made there; 0 for
    // none. Only while playing.
    void SetSpeedAtLoopStart(double dfSpeed);
    // The file's sampling frequency; 0 without a file.
    uint32_t GetRate() const;

    int32_t IsPlaying() const;
    int32_t IsPaused() const;
    // 1 while playing (paused included) when the playback thread or the render thread has ended by
    // itself: the file was played out, it could not be read, or the device failed.
    int32_t HasEnded() const;
    // Input frames converted so far (the new place at once after a seek), at most the length; the
    // file's frames. 0 without a file.
    uint64_t GetPosition() const;
    uint64_t GetLength() const;
    // 1 when the length is an estimate: the progress shows it, but playback ends only where the
    // sound does.
    int32_t IsLengthEstimated() const;
    // The place the loudspeaker plays now: the position less what is queued behind the converter
    // (its latency and output, the sound buffer, the device buffer), at the current speed; across a
    // loop's seam still inside the pass before it. The new place at once after a seek.
    uint64_t GetHeardPosition() const;
    // The place and the length in seconds as the progress bar shows them: 0 when there is no
    // converter or no file (nothing to show); otherwise 1 with the position converted so far (0
    // while the converter is not set up).
    int32_t GetProgress(double& dfPositionSeconds, double& dfLengthSeconds) const;
    // The drain wait of a stop with the current objects, in milliseconds.
    uint32_t DrainMilliseconds() const;

    // The end of the program: with the pause cleared first, stops the threads and the device and
    // frees every object in the teardown order. Safe to repeat.
    void TearDown();

    // Releases a sound buffer and its queue and frees it (the queue's lock with it); the pointer is
    // null afterwards. Nothing may read the buffer any more: the playback and render threads have
    // ended.
    static void DestroyIntelligentSoundBuffer(std::unique_ptr<IntelligentSoundBuffer>& pBuffer);

    // One pass of the device ladder from the chosen maximum: 1 when a rate was found, 0 otherwise.
    int32_t OpenOutputDevice(int32_t iEndpointIndex, int32_t bShared, int32_t bUpward);
    // One attempt of the ladder at uiFrequency Hz: 1, or a negative code. The endpoint is the start's
    // identifier when it has one.
    int32_t ConfigureOutputAtRate(uint32_t uiFrequency, int32_t iEndpointIndex);

private:
    // The cleanup of a failed start; returns iResult for the caller to pass on.
    int32_t FailStart(StartStep Step, int32_t iResult);
    // Mirrors the owned objects into the record.
    void Publish();
    // Until the sound buffer holds what the render thread's first fill of the device buffer and its
    // first top-up take, the file has ended or the playback thread has, at most SOUND_WAIT_MS.
    void WaitForSound();
    void StopPlaybackThread();
    void StopStream();

    PlayerState& State;
    SAudioClientLayer* pLayer;
    SPlaybackObjectFactory& Factory;

    std::unique_ptr<SAudioFileReader> pReader;
    std::unique_ptr<IntelligentSoundBuffer> pSoundBuffer;
    std::unique_ptr<CSoundStreamWASAPI> pStream;
    std::unique_ptr<SamplingFrequencyConverter> pConverter;
    std::unique_ptr<CMultiThreadWin> pWorker;
    std::unique_ptr<TimeStretcher> pStretcher;
    // The speed last set, for the side that takes it when the mode changes.
    double dfSpeed = 1.0;
    // 1 while keeping the pitch is asked for and the stretcher can do it (speeds go to it then).
    int32_t IsStretching() const;
    // 1 while the playback thread passes the frames through the stretcher (positions count so).
    int32_t IsStretchingNow() const;
    // Input frames played up to, from the converter or through the stretcher.
    uint64_t ConsumedFrames() const;
    int32_t bPrepared = 0;
    uint64_t ullStartFrame = 0;
    // The place the last start or seek went to, the loop passes counted then, and how many jumps
    // there were.
    uint64_t ullJumpFrame = 0;
    uint64_t ullJumpPasses = 0;
    uint64_t ullJumps = 0;
    // The last place heard reported, and the run of the file it belongs to (UI thread only).
    uint64_t Heard(uint64_t ullEstimate, int32_t bBeforeSeam) const;
    mutable uint64_t ullLastHeard = 0;
    mutable uint64_t ullHeardPasses = 0;
    mutable uint64_t ullHeardJumps = 0;
    mutable int32_t bHeardBeforeSeam = 0;
    // The start under way: its settings and what it reports.
    StartSettings Current;
    StartReport* pReport = nullptr;
};
