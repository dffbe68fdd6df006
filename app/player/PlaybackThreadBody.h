#pragma once
#include "runtime/SMultiThread.h"

#include <cstdint>

class IntelligentSoundBuffer;
class PlayerState;
class SamplingFrequencyConverter;
class SAudioFileReader;
class TimeStretcher;

// The body's results (the worker keeps them as unsigned 64-bit numbers).
constexpr uint64_t PLAYBACK_THREAD_DONE = 1;
constexpr uint64_t PLAYBACK_THREAD_FAILED = static_cast<uint64_t>(int64_t{-1});

// The playback thread: reads the file block by block, brings every block to stereo (mono widened,
// more channels down-mixed), converts it, applies the volume one ramp step per frame and writes the
// frames into the IntelligentSoundBuffer, backing off 1 ms while it is full. At the end of the file
// it completes the converter's last block with silence, drains the converter and marks the buffer
// finished. At a loop's end (the record's loop) the reads stop at B, the drain is cut where B plays
// and playback goes on from A, so each repetition lasts exactly the passage at the speed. Reading,
// stereo, conversion, volume, zero fill and drain are ConverterFeeder's, the same steps the offline
// renderer takes. A seek asked for in the record (ullSeekFrame) drops what the sound buffer holds
// and goes on from that frame, also while paused or draining the end.
//
// Inputs, by name from the owner's tables: "pWaveFileReader" (an SAudioFileReader),
// "pSamplingFrequencyConverter", "pIntelligentSoundBuffer", "pPlayerState" (addresses; without the
// last, the process's record), "pdfInputSignalBuffer" and "pdfOutputSignalBuffer" (buffers, 16384
// bytes each), and optionally "pTimeStretcher". From the record: bPaused, pVolume, the seek request
// and bKeepPitch (the frames go through the stretcher and the converter runs at x1; taken at the
// start and at every seek); it sets bPlaybackThreadEnded when it returns.
//
// PLAYBACK_THREAD_DONE when the file was played and drained or a stop was requested through the
// owner's stop event; PLAYBACK_THREAD_FAILED when a step failed. Allocates nothing once it runs.
uint64_t PlaybackThreadBody(ThreadContext* pContext);

// Stores the thread's objects under their names in Worker's table; a null one is left out (the
// thread acts on its absence). The buffers are allocated by the caller under
// WorkerParameterNames::INPUT_SIGNAL_BUFFER and OUTPUT_SIGNAL_BUFFER. The first refusal, or 1.
int32_t StorePlaybackObjects(SMultiThread& Worker, SAudioFileReader* pReader,
                             SamplingFrequencyConverter* pConverter, IntelligentSoundBuffer* pBuffer,
                             PlayerState* pState = nullptr, TimeStretcher* pStretcher = nullptr);
