#pragma once
#include "app/player/PlayerDefaults.h"
#include "runtime/CCriticalSection.h"
#include "runtime/CNonCopyable.h"

#include <atomic>
#include <cstdint>

class SAudioFileReader;
class SamplingFrequencyConverter;
class IntelligentSoundBuffer;
class CSoundStreamWASAPI;
class CMultiThreadWin;
class ParameterSmoother;

// The player's record: the working objects of the chosen file and of the current (or last) playback,
// the device block, the volume smoother, and the user's settings. The program has one, reached
// through Instance(); a PlaybackEngine fills the record it is given, and its playback thread and
// buffer callback read that record (Instance() when they are given none).
//
// Threads: the UI thread owns every member. The playback thread reads bPaused, pVolume and the seek
// request while it runs; the render thread reads pIntelligentSoundBuffer, pdfDeviceBlock and
// ullDeviceBlockCount through PlaybackBufferCallback. Those pointers are replaced only while no such
// thread runs.
class PlayerState : private CNonCopyable
{
public:
    // Destroys the volume smoother and frees the device block; the other objects belong to the
    // controller, which tears them down before the program ends.
    ~PlayerState();

    // The process's one record.
    static PlayerState& Instance();

    // Creates pVolume (uninitialised, all zero) with VolumeLock attached, replacing any previous
    // one. 1; -2 without memory. Call it before a second thread can see pVolume.
    int32_t CreateVolume();
    // Resets and destroys pVolume. Only while no playback thread runs.
    void DestroyVolume();
    // The user's settings as the player starts with them.
    void RestoreDefaultSettings();
    // Replaces pdfDeviceBlock with ullDoubles zeroed doubles and sets ullDeviceBlockCount. 1; -4 for
    // 0 doubles; -2 without memory (then the block is null and the count 0). Only while no render
    // thread runs.
    int32_t AllocateDeviceBlock(uint64_t ullDoubles);
    void FreeDeviceBlock();

    // The reader of the chosen file (our WAV reader or a decoder), under the name it always had.
    SAudioFileReader* pWaveFileReader = nullptr;
    SamplingFrequencyConverter* pSamplingFrequencyConverter = nullptr;
    IntelligentSoundBuffer* pIntelligentSoundBuffer = nullptr;
    CSoundStreamWASAPI* pSoundStream = nullptr;
    CMultiThreadWin* pPlaybackThread = nullptr;
    // One device period of stereo frames; ullDeviceBlockCount doubles (2 x period frames).
    double* pdfDeviceBlock = nullptr;
    uint64_t ullDeviceBlockCount = 0;
    // Output gain as a linear factor. Its pLock is VolumeLock, so the UI thread's SetTarget and the
    // playback thread's Next never overlap.
    ParameterSmoother* pVolume = nullptr;
    int32_t bPlaying = 0;
    // Written by the UI thread, polled by the playback thread once per block.
    std::atomic<int32_t> bPaused{0};
    // Set when the playback thread the controller started has returned, for whatever reason; the
    // progress timer stops playback on it. Cleared before each start.
    std::atomic<int32_t> bPlaybackThreadEnded{0};
    // No seek waits while it holds NO_SEEK; otherwise the input frame the playback thread is to move
    // to. Set by the UI thread, taken by the playback thread.
    static constexpr uint64_t NO_SEEK = ~uint64_t{0};
    std::atomic<uint64_t> ullSeekFrame{NO_SEEK};
    // The passage played again and again: the playback thread reads up to the loop's end, then goes
    // on from ullReturn (the loop's start, or a run-up before it). Written by the UI thread with
    // SetLoop, read with GetLoop on any thread.
    void SetLoop(uint64_t ullStart, uint64_t ullEnd) { SetLoop(ullStart, ullEnd, ullStart); }
    void SetLoop(uint64_t ullStart, uint64_t ullEnd, uint64_t ullReturn);
    void ClearLoop();
    // true with the loop's frames while one is set.
    bool GetLoop(uint64_t& ullStart, uint64_t& ullEnd) const
    {
        uint64_t ullReturn = 0;
        return GetLoop(ullStart, ullEnd, ullReturn);
    }
    bool GetLoop(uint64_t& ullStart, uint64_t& ullEnd, uint64_t& ullReturn) const;
    // Times the playback thread went back to the loop's start; only grows.
    std::atomic<uint64_t> ullLoopPasses{0};
    // The output rate in Hz the converter glides to when the loop next goes back to its start (a
    // slider move made at the seam); 0 for none. Set by the UI thread, taken by the playback thread.
    std::atomic<double> dfSeamRate{0.0};
    // Keep pitch: the playback thread passes the frames through its time-stretcher, which changes the
    // tempo by the speed, and the converter runs at x1. Set by the UI thread; the playback thread
    // takes it at its start and at every seek.
    std::atomic<int32_t> bKeepPitch{0};
    // Whether the frames go through the stretcher now, as the playback thread has taken the mode
    // (positions are counted in that mode's terms until it has).
    std::atomic<int32_t> bStretching{0};
    int32_t iShift = 0;
    uint32_t uiRateIndex = PlayerDefaults::RATE_INDEX;
    uint32_t uiEffectiveBitCount = PlayerDefaults::EFFECTIVE_BIT_COUNT;
    int32_t bEnhancerEnabled = PlayerDefaults::ENHANCER_ENABLED;
    double dfDeviceSamplingFrequency = 0.0;

    CCriticalSection VolumeLock;

private:
    // Odd while the UI thread writes the two ends, so a reader never takes one end of an old loop
    // with one of a new one.
    std::atomic<uint64_t> ullLoopVersion{0};
    std::atomic<uint64_t> ullLoopStart{0};
    std::atomic<uint64_t> ullLoopEnd{NO_SEEK};
    std::atomic<uint64_t> ullLoopReturn{0};
};
