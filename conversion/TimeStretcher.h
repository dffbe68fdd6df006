#pragma once
#include "conversion/ParameterSmoother.h"
#include "runtime/CCriticalSection.h"
#include "runtime/CNonCopyable.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <memory>

// Changes the tempo of interleaved stereo frames by a speed while keeping the pitch: a phase
// vocoder with identity phase locking. Frames of N samples (about 85 ms, a power of two) are
// taken every Ha = speed x Hs input frames and laid down every Hs = N / 8 output frames; each
// spectral peak's phase advances by its own measured frequency times Hs, and the bins around a
// peak keep their phase relation to it, so partials stay whole instead of smearing. Both channels
// get the same phase rotation, decided on their sum (their difference where it is stronger), so the
// stereo image stays where it was.
//
// Onsets are found in the input (a jump of the first difference's energy). The frame whose hop
// holds an onset starts afresh from the analysis phases, moved so that the onset lands where the
// time map puts it; frames before it are cut off just ahead of the onset, so nothing of it sounds
// early; frames after it advance bin by bin, which keeps it in one place. Overlap-add divides by
// the windows' actual sum.
//
// At exactly x1, with no glide running and every frame under the output unmodified, the output is
// a copy of the input, bit for bit. The speed glides along a raised-cosine ramp of GLIDE_HOPS
// synthesis hops.
//
// Output frame o lies at input frame o x speed (integrated over a glide): the time map has no delay,
// and the output of an input of E frames ends at the output frame the map gives E. In a stream the
// output lags the input by N / 2 + Hs frames (GetLatencyFrames).
//
// Threads: Setup and Release while nobody else uses the object. One thread runs the stream
// (Write, Process, Convert, Finish, Restart, PeekOutput, ConsumeOutput, MarkConsumed); SetSpeed and
// the reads of ullConsumedFrames may come from another thread. Nothing is allocated after Setup.
class TimeStretcher : private CNonCopyable
{
public:
    static constexpr double FRAME_SECONDS = 0.085;
    static constexpr uint64_t OVERLAP = 8;
    static constexpr uint64_t GLIDE_HOPS = 4;

    TimeStretcher();
    ~TimeStretcher();

    // Sizes everything for input at dfRateHz and starts at dfSpeed. 1; -4 a rate or speed that is
    // no positive finite number (or a rate below 1000 Hz or above 768 kHz); -2 out of memory.
    int32_t Setup(double dfRateHz, double dfSpeed);
    int32_t Release();
    // Immediate: the next frame takes the speed; otherwise a glide of GLIDE_HOPS hops (queued behind
    // one that runs). 1; -4 not a positive finite number; -1 not set up.
    int32_t SetSpeed(double dfSpeed, int32_t bImmediate);
    // The speed of the last frame made (the set-up speed before the first).
    double GetSpeed();

    // Takes what the input queue has room for of ullFrames stereo frames (in/out). 1; -1 not set
    // up or the input has been finished.
    int32_t Write(const double* pdfFrames, uint64_t& ullFrames);
    // Makes frames while the input holds a whole analysis frame and the output has room. 1; -1
    // not set up.
    int32_t Process();
    // The stretched frames waiting: a pointer to them and how many; ConsumeOutput drops the first
    // ullFrames of them (at most what waits).
    const double* PeekOutput(uint64_t& ullFrames) const;
    void ConsumeOutput(uint64_t ullFrames);
    // One round: Write, Process, then up to ullOutputFrames frames out. 1; -1 not set up.
    int32_t Convert(const double* pdfInput, uint64_t& ullInputFrames, double* pdfOutput,
                    uint64_t& ullOutputFrames);
    // The end of the input: the rest is processed as if silence followed, and the output ends at
    // the output frame the time map gives the end. 1; -1 not set up.
    int32_t Finish();
    // 1 once the output has ended after Finish and every frame of it was taken.
    int32_t IsDrained() const;
    // After Finish, once known (else -1): the output frames since the start or Restart in all.
    int64_t GetOutputEnd() const { return llOutputEnd; }

    // Forgets the signal, as if the next input were a new one starting at input frame
    // ullStartFrame (a seek); the speed and its glide stay. 1; -1 not set up.
    int32_t Restart(uint64_t ullStartFrame);

    // The input frame (counted as Restart's start frame plus the frames since) at which output frame
    // dfOutputFrame (counted from the start or Restart) lies, for the recent past.
    double InputPositionOf(double dfOutputFrame) const;
    // Publishes in ullConsumedFrames where the first ullOutputFrames output frames since the start or
    // Restart end in the input.
    void MarkConsumed(uint64_t ullOutputFrames);
    // Input frames played so far, as MarkConsumed last put it; read from any thread.
    std::atomic<uint64_t> ullConsumedFrames{0};

    int32_t IsReady() const { return bReady; }
    // 1 while the frames last made were copies of the input (exactly x1).
    int32_t IsBypassed() const { return bBypassed; }
    uint64_t GetFrameLength() const { return ullFrameLength; }
    uint64_t GetSynthesisHop() const { return ullHop; }
    // N / 2 + Hs: how far the output lags the input in a stream.
    uint64_t GetLatencyFrames() const { return bReady != 0 ? ullFrameLength / 2 + ullHop : 0; }
    // Onsets found since set-up (tests and measurements).
    uint64_t GetOnsetCount() const { return ullOnsetCount; }
    // What Setup allocated, in bytes.
    uint64_t GetAllocatedBytes() const;

    struct FreeDeleter
    {
        void operator()(void* p) const { std::free(p); }
    };
    using DoubleArray = std::unique_ptr<double[], FreeDeleter>;
    using IndexArray = std::unique_ptr<int64_t[], FreeDeleter>;

private:
    void ClearSignal(uint64_t ullStartFrame);
    void CompactInput();
    void DetectOnsets(uint64_t ullFirst, uint64_t ullFrames);
    void AddOnset(int64_t llPosition);
    // The onset nearest after llFrom and before llTo; INT64_MIN when none.
    int64_t FindOnset(int64_t llFrom, int64_t llTo) const;
    int32_t MakeFrame();
    void AnalyseFrame(int64_t llCutAt);
    // The rotation of bin k that advances its partial by its own frequency over a synthesis hop.
    double AdvancedRotation(uint64_t k, int64_t Ha) const;
    void LockToPeaks(int64_t Ha);
    void AdvanceEveryBin(int64_t Ha);
    void Synthesise(int64_t llCutAt);
    void EmitHop(bool bCopy);
    double Sample(int64_t llFrame, uint64_t c) const;

    int32_t bReady = 0;
    double dfRate = 0.0;
    uint64_t ullFrameLength = 0; // N
    uint32_t uiOrder = 0;
    uint64_t ullHop = 0;      // Hs
    uint64_t ullBins = 0;     // N / 2 + 1
    uint64_t ullTaper = 0;    // length of the cut before an onset
    double dfWindowSum = 0.0; // sum of the squared windows over the hops: 3 for 8 hops
    // The speed, one step per frame; SetSpeed may come from another thread.
    CCriticalSection SpeedLock;
    ParameterSmoother Speed;
    double dfSpeedNow = 1.0;

    DoubleArray pdfWindow; // N
    DoubleArray pdfInput;  // stereo, ullInputCapacity frames
    uint64_t ullInputCapacity = 0;
    uint64_t ullInputFill = 0;
    int64_t llInputBase = 0; // time-map input frame of pdfInput's first frame
    DoubleArray pdfFrame;    // N complex: both channels' windowed frame, left + i right
    DoubleArray pdfSpectrum; // N complex
    DoubleArray pdfLeft;     // bins complex: this frame's spectra
    DoubleArray pdfRight;
    DoubleArray pdfPrevLeft; // the previous frame's
    DoubleArray pdfPrevRight;
    DoubleArray pdfRotation;     // bins: the phase rotation of this frame
    DoubleArray pdfPrevRotation; // bins
    DoubleArray pdfPower;        // bins: the reference's power
    IndexArray pllPeaks;         // bins
    DoubleArray pdfAccumulator;  // stereo, N frames
    DoubleArray pdfWeight;       // N: the windows' sum under each accumulated frame
    DoubleArray pdfOutput;       // stereo, ullOutputCapacity frames
    uint64_t ullOutputCapacity = 0;
    uint64_t ullOutputStart = 0;
    uint64_t ullOutputFill = 0;

    // The frame under way: its centre in input and output frames (the time map), and the analysis
    // position before rounding.
    int64_t llCentreIn = 0;
    int64_t llCentreOut = 0;
    double dfCentreIn = 0.0;
    int64_t llPreviousHop = 0;
    int32_t bFresh = 1;
    uint64_t ullCleanRun = 0;
    int32_t bBypassed = 0;
    uint64_t ullStartFrame = 0;
    int64_t llEmitted = 0; // output frames given into pdfOutput since the start

    int32_t bFinished = 0;
    int64_t llInputEnd = 0;
    int64_t llOutputEnd = -1;

    // Onsets: a ring of input frames, and the detector's state.
    static constexpr uint64_t ONSET_SLOTS = 32;
    static constexpr uint64_t HISTORY_BLOCKS = 16;
    int64_t llOnsets[ONSET_SLOTS] = {};
    uint64_t ullOnsetNext = 0;
    uint64_t ullOnsetCount = 0;
    int64_t llHeldOnset = 0;
    int32_t bOnsetHeld = 0;
    uint64_t ullDetectFill = 0;
    double dfDetectEnergy = 0.0;
    double dfDetectPeak = 0.0;
    int64_t llDetectPeakAt = 0;
    double dfLastMono = 0.0;
    double dfHistory[HISTORY_BLOCKS] = {};
    uint64_t ullHistoryNext = 0;
    int64_t llQuietUntil = 0;
    int64_t llDetected = 0; // input frames the detector has seen

    // The time map of recent frames: output centre and input centre.
    static constexpr uint64_t ANCHOR_SLOTS = 64;
    int64_t llAnchorOut[ANCHOR_SLOTS] = {};
    int64_t llAnchorIn[ANCHOR_SLOTS] = {};
    uint64_t ullAnchorCount = 0;
};
