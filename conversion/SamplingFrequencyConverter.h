#pragma once
#include "conversion/ParameterSmoother.h"
#include "conversion/SignalFIFO.h"
#include "runtime/CCriticalSection.h"
#include "runtime/CNonCopyable.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <memory>

// Converts interleaved samples at the input rate into samples at an effective output rate that may
// glide while it runs (speed = device rate / effective rate). Per hop of B / 2 input frames: a
// windowed B-point transform, a band limit at the lower of the two half-rates, the band-limited
// signal oversampled 2^h times, overlap-add, and linear interpolation at the effective rate.
//
// Threads: Setup and Release run while no other thread uses the converter. The playback thread
// writes InputFIFO, calls Process and reads OutputFIFO; the user-interface thread may call
// SetOutputRate meanwhile (the rate smoother has its own lock) and read ullConsumedFrames.
class SamplingFrequencyConverter : private CNonCopyable
{
public:
    using ForwardTransform = int32_t (*)(const double*, double*, uint32_t);
    using InverseTransform = int32_t (*)(double*, double*, uint32_t);

    explicit SamplingFrequencyConverter(double dfOversampling);
    ~SamplingFrequencyConverter();

    // The most oversampling Setup takes: 2^MAX_OVERSAMPLING_OCTAVES. Beyond it one set-up's
    // arrays pass 64 MiB and take a large part of a second to make (each octave doubles both); 8 kHz
    // into 384 kHz needs 2^9, so only file rates far below any usual one meet it.
    static constexpr uint32_t MAX_OVERSAMPLING_OCTAVES = 11;
    // The lowest whole input rate in Hz that Setup takes for this output rate with this
    // oversampling factor; 0 when there is none (arguments that are not positive finite numbers).
    static uint32_t LowestInputRate(double dfOutputRateHz, double dfOversampling);

    // 1 ready; -4 a rate that is not a positive finite number, no channels (or more than 256), a
    // block order outside 2 ... 16, a shift of half a block or more, or buffer seconds that are not
    // finite; -1 input rate more than 128 times the output rate, an input rate so far below the
    // output rate that it needs more than 2^MAX_OVERSAMPLING_OCTAVES oversampling (refused before
    // anything is allocated), or an oversampled frame longer than the transforms handle; -2 out of
    // memory (nothing stays allocated).
    int32_t Setup(uint64_t ullChannelCount, double dfInputRateHz, double dfOutputRateHz,
                  uint32_t uiBlockOrderValue, int32_t iShift, double dfBufferSeconds);
    // Immediate: the second output frame computed afterwards has the new rate. Otherwise a
    // raised-cosine ramp over the output frames of one hop at the new rate (at least one).
    // 1 done; -4 rate not positive and finite, or above 2^h times the input rate (less than one
    // oversampled sample per output frame); -1 not ready.
    int32_t SetOutputRate(double dfRateHz, int32_t bImmediate);
    // Converts every whole hop waiting in InputFIFO while OutputFIFO has room for a frame of N2
    // frames. 1 normal end (also when not set up); -99 or -1 when OutputFIFO took a partial block.
    int32_t Process();
    int32_t Release();

    // The rounds every user of the converter makes, in frames of ullChannels interleaved samples.
    // Counts are in/out: the frames offered or asked for, then the frames moved (0 on a refusal).
    // Writes what InputFIFO takes of ullFrames frames. 1; -1 not ready or the queue refused;
    // -99 the queue took part of a frame.
    int32_t WriteInput(const double* pdfFrames, uint64_t& ullFrames);
    // Takes up to ullFrames frames out of OutputFIFO. 1; -1 or -99 as for WriteInput.
    int32_t ReadOutput(double* pdfFrames, uint64_t& ullFrames);
    // One round: WriteInput (nothing for 0 frames), Process, ReadOutput. 1; else the first failure.
    int32_t Convert(const double* pdfInput, uint64_t& ullInputFrames, double* pdfOutput,
                    uint64_t& ullOutputFrames);
    // At the end of the input. Its last frames come out one block later, so the partial hop waiting
    // in InputFIFO is completed with silence and one more hop of silence follows. 1 done; -1 not
    // ready or the silence did not fit.
    int32_t CompleteLastBlock();

    // Forgets the signal so far, as if the next input were the start of a new one (a jump in the
    // input): both queues emptied, the overlap and interpolation history cleared; the set-up and
    // the output rate (its ramp included) stay. ullConsumedFrames restarts at ullStartFrame.
    // Allocates nothing. 1; -1 not ready.
    int32_t Restart(uint64_t ullStartFrame);

    // Runs the blocks the plain way instead: the given forward transform, the full N2-point inverse
    // transform and overlap-add of every oversampled sample. Comparisons and benchmarks use it with
    // the literal kernels; null for either restores the fast path. Takes effect at the next Setup.
    void UsePlainTransforms(ForwardTransform pForward, InverseTransform pInverse);

    // B, hop, N2 and M of the current set-up (0 when not ready).
    uint64_t GetBlockFrames() const { return bReady != 0 ? uint64_t{1} << uiBlockOrder : 0; }
    uint64_t GetOversampledFrames() const
    {
        return bReady != 0 ? uint64_t{1} << (uiBlockOrder + uiOversamplingOctaves) : 0;
    }

    // Owned storage: calloc'ed, so large arrays cost nothing until they are touched.
    struct FreeDeleter
    {
        void operator()(double* pdf) const { std::free(pdf); }
    };
    using SampleArray = std::unique_ptr<double[], FreeDeleter>;

    double dfOversamplingFactor = 0.0;
    int32_t bReady = 0;
    uint64_t ullChannels = 0;
    double dfInputRate = 0.0;
    double dfOutputRate = 0.0;
    int32_t iShiftBins = 0;
    std::unique_ptr<ParameterSmoother> pRateSmoother;
    uint32_t uiOversamplingOctaves = 0;
    uint32_t uiBlockOrder = 0;
    SignalFIFO InputFIFO;
    SignalFIFO OutputFIFO;
    int32_t bDiscardBlock = 0;
    SampleArray pdfHopBuffer;        // C x hop, interleaved: the newest hop
    SampleArray pdfOverlapTail;      // C x M: windowed second half of the previous frame (plain run)
    SampleArray pdfAnalysisWindow;   // B
    SampleArray pdfSynthesisWindow;  // N2
    SampleArray pdfFrame;            // C x B, channel-major: the analysis frame
    SampleArray pdfOversampledBlock; // C x M: finished oversampled samples (plain run)
    SampleArray pdfOutputFrames;     // C x N2, interleaved: one block's output
    double dfReadPosition = 0.0;
    SampleArray pSpectrum;            // C x B complex: spectrum of the analysis frame
    SampleArray pOversampledSpectrum; // C x N2 complex: zero-padded spectrum (plain run)
    SampleArray pOversampledFrame;    // C x N2 complex: inverse transform (plain run)
    std::atomic<uint64_t> ullConsumedFrames{0};

    // Per channel, the last finished oversampled sample of the previous block: output positions in
    // the first interval of a block interpolate from it, so every block spans M intervals.
    SampleArray pdfLastSample; // C
    // Fast run: this block's and the previous block's oversampled frames, N2 samples per channel
    // each before the synthesis window, as the rows of the small transforms left them (see
    // ComputePhaseRows, ComputePairedRows and the interpolations). pdfSignal is pOversampledSignal
    // aligned to a cache line.
    SampleArray pOversampledSignal;
    double* pdfSignal = nullptr;
    uint32_t uiCurrentFrame = 0;
    SampleArray pTransformInput; // C x B complex: the kept bins in bit-reversed order, and scratch
    SampleArray pShiftedBins;    // C x 2 x hop complex: bins a positive shift moves past hop
    int32_t bNegateShifted = 0;  // this block's shifted spectrum is negated (odd shifts only)
    SampleArray pdfPositions;    // N2: positions of one block's output frames

private:
    int32_t ReadHopAndTransform();
    void TransformChannelPair();
    // K, the number of bins kept (from the lowest rate the smoother holds now or will reach).
    uint64_t BandLimit();
    void ShiftSpectrum(double* pdfSpectrum, double* pdfShifted) const;
    void ComputePhaseRows(uint64_t ullKeep);
    int32_t MakePhaseWeights(uint32_t uiOrder, uint32_t h);
    void ComputePairedRows(uint64_t ullKeep);
    uint64_t PairedFrameSize() const;
    void InterpolatePaired(uint64_t ullFrames);
    void RunPlainBlock(uint64_t ullKeep);
    uint64_t ComputePositions();
    template <typename Sampler> void InterpolateChannel(uint64_t c, uint64_t ullFrames, Sampler Sample);
    void InterpolatePlain(uint64_t c, uint64_t ullFrames);
    void InterpolateFast(uint64_t ullFrames);

    ForwardTransform pPlainForward = nullptr;
    InverseTransform pPlainInverse = nullptr;
    int32_t bPlainRun = 0;
    const double* pdfTwiddles = nullptr;
    const double* pdfAliasTwiddles = nullptr;
    // Bit reversal of order uiBlockOrder: the order of the row transforms' inputs.
    const uint32_t* puiRowOrder = nullptr;
    // Stereo without bins moved past hop: both channels in one transform per phase, with the phase
    // weights of MakePhaseWeights.
    int32_t bPairedChannels = 0;
    SampleArray pPhaseWeights;
    SampleArray pRowScratch; // 8B: the four-row transforms' values between their passes
    uint64_t ullPhaseGroup = 0;
    // The channels of this block's and the previous block's analysis frames agree bit for bit (the
    // silence before the first block does).
    int32_t bFrameSame = 1;
    int32_t bPreviousFrameSame = 1;
    // Guards the rate smoother between the user-interface thread and Process.
    CCriticalSection RateLock;
};
