#include "conversion/SamplingFrequencyConverter.h"

#include "conversion/KBDWindow.h"
#include "conversion/PhaseTwiddleTable.h"
#include "conversion/ProcessorFeatures.h"
#include "conversion/TransformKernels.h"
#include "runtime/CriticalSectionHolder.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <numbers>

#if defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>
#define LARKSPUR_CONVERTER_AVX 1
#endif
#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define LARKSPUR_CONVERTER_SSE2 1
#endif

namespace
{
constexpr double KBD_ALPHA = 4.0;
constexpr uint64_t MAX_CHANNELS = 256;
constexpr uint32_t MIN_BLOCK_ORDER = 2;
constexpr uint32_t MAX_BLOCK_ORDER = 16;
// Phases whose weights the paired run takes from one small table (see MakePhaseWeights).
constexpr int64_t PHASE_GROUP = 16;
// From this many phases on, a paired frame no longer fits the cache, and bins a power of two of
// doubles apart would map the outputs of one row transform onto a few cache sets: a few doubles
// more per bin spread them.
constexpr uint64_t PADDED_PHASES = 128;
constexpr uint64_t ROW_PAD = 4;

// Phases stored per bin of a paired frame (at least four, so that four rows run side by side),
// and the doubles from one bin to the next.
uint64_t StoredPhases(uint32_t h)
{
    return std::max<uint64_t>(uint64_t{1} << h, 4);
}
uint64_t PairedBinStride(uint32_t h)
{
    const uint64_t ullPhases = StoredPhases(h);
    return ullPhases >= PADDED_PHASES ? ullPhases + ROW_PAD : ullPhases;
}
// The doubles of both frames of the fast run, either layout, plus room to start on a cache line.
uint64_t SignalDoubles(uint64_t C, uint64_t B, uint32_t h)
{
    return C * 2 * std::max(B << h, B * PairedBinStride(h)) + 8;
}

// h: the octaves of oversampling that bring the input rate to at least the factor times the output
// rate, ceil(log2(output x factor / input)) and at least 0; -1 when that quotient is no positive
// finite number.
double OversamplingOctaves(double dfInputRateHz, double dfOutputRateHz, double dfFactor)
{
    const double d = dfOutputRateHz * dfFactor / dfInputRateHz;
    if (!(d > 0.0) || !std::isfinite(d))
    {
        return -1.0;
    }
    return std::ceil(std::max(0.0, std::log(d) / std::log(2.0)));
}

SamplingFrequencyConverter::SampleArray MakeArray(uint64_t ullCount)
{
    return SamplingFrequencyConverter::SampleArray(
        static_cast<double*>(std::calloc(ullCount == 0 ? 1 : ullCount, sizeof(double))));
}

// pdfOut = conj(pdfX) * pdfT for ullCount complex values: (xr tr + xi ti, xr ti - xi tr), the same
// operations in every variant, so the results do not depend on the vector width.
void MultiplyConjugatePlain(const double* pdfX, const double* pdfT, double* pdfOut, uint64_t ullCount)
{
    for (uint64_t b = 0; b < ullCount; ++b)
    {
        const double dfXRe = pdfX[2 * b];
        const double dfXIm = pdfX[2 * b + 1];
        const double dfTRe = pdfT[2 * b];
        const double dfTIm = pdfT[2 * b + 1];
        pdfOut[2 * b] = dfXRe * dfTRe + dfXIm * dfTIm;
        pdfOut[2 * b + 1] = dfXRe * dfTIm - dfXIm * dfTRe;
    }
}

#ifdef LARKSPUR_CONVERTER_AVX
__attribute__((target("avx"))) void MultiplyConjugateWide(const double* pdfX, const double* pdfT,
                                                          double* pdfOut, uint64_t ullCount)
{
    const __m256d Negate = _mm256_set_pd(-0.0, 0.0, -0.0, 0.0);
    uint64_t b = 0;
    for (; b + 2 <= ullCount; b += 2)
    {
        const __m256d x = _mm256_loadu_pd(pdfX + 2 * b);
        const __m256d t = _mm256_loadu_pd(pdfT + 2 * b);
        const __m256d a = _mm256_mul_pd(x, t);                         // xr tr, xi ti
        const __m256d c = _mm256_mul_pd(x, _mm256_permute_pd(t, 0x5)); // xr ti, xi tr
        const __m256d Low = _mm256_unpacklo_pd(a, c);                  // xr tr, xr ti
        const __m256d High = _mm256_unpackhi_pd(a, c);                 // xi ti, xi tr
        _mm256_storeu_pd(pdfOut + 2 * b, _mm256_add_pd(Low, _mm256_xor_pd(High, Negate)));
    }
    MultiplyConjugatePlain(pdfX + 2 * b, pdfT + 2 * b, pdfOut + 2 * b, ullCount - b);
}

const bool CPU_HAS_AVX = ProcessorHasAvx();
#endif

void MultiplyConjugate(const double* pdfX, const double* pdfT, double* pdfOut, uint64_t ullCount)
{
#ifdef LARKSPUR_CONVERTER_AVX
    if (CPU_HAS_AVX)
    {
        MultiplyConjugateWide(pdfX, pdfT, pdfOut, ullCount);
        return;
    }
#endif
    MultiplyConjugatePlain(pdfX, pdfT, pdfOut, ullCount);
}

inline void AddMultiplyConjugate(const double* pdfX, const double* pdfT, double* pdfOut)
{
    pdfOut[0] += pdfX[0] * pdfT[0] + pdfX[1] * pdfT[1];
    pdfOut[1] += pdfX[0] * pdfT[1] - pdfX[1] * pdfT[0];
}

// Whole frames into or out of a queue: ullFrames in, the frames offered or wanted; out, the frames
// moved. MoveSamples(ullCount) moves at most ullCount samples, leaves the count moved and returns
// the queue's result.
template <typename Move>
int32_t MoveFrames(int32_t bReady, uint64_t ullChannels, uint64_t& ullFrames, Move MoveSamples)
{
    const uint64_t ullAsked = ullFrames;
    ullFrames = 0;
    if (bReady == 0)
    {
        return -1;
    }
    uint64_t ullCount = ullChannels * ullAsked;
    if (MoveSamples(ullCount) != 1)
    {
        return -1;
    }
    if (ullCount % ullChannels != 0)
    {
        return -99;
    }
    ullFrames = ullCount / ullChannels;
    return 1;
}
} // namespace

SamplingFrequencyConverter::SamplingFrequencyConverter(double dfOversampling)
    : dfOversamplingFactor(dfOversampling)
{
}

SamplingFrequencyConverter::~SamplingFrequencyConverter()
{
    Release();
    InputFIFO.Release();
    OutputFIFO.Release();
}

void SamplingFrequencyConverter::UsePlainTransforms(ForwardTransform pForward, InverseTransform pInverse)
{
    pPlainForward = pForward;
    pPlainInverse = pInverse;
}

int32_t SamplingFrequencyConverter::Release()
{
    pdfHopBuffer.reset();
    pdfOverlapTail.reset();
    pdfAnalysisWindow.reset();
    pdfSynthesisWindow.reset();
    pdfFrame.reset();
    pdfOversampledBlock.reset();
    pdfOutputFrames.reset();
    pSpectrum.reset();
    pOversampledSpectrum.reset();
    pOversampledFrame.reset();
    pdfLastSample.reset();
    pOversampledSignal.reset();
    pdfSignal = nullptr;
    pTransformInput.reset();
    pShiftedBins.reset();
    pdfPositions.reset();
    if (pRateSmoother)
    {
        pRateSmoother->Reset();
        pRateSmoother.reset();
    }
    InputFIFO.Release();
    OutputFIFO.Release();
    pdfTwiddles = nullptr;
    pdfAliasTwiddles = nullptr;
    puiRowOrder = nullptr;
    pPhaseWeights.reset();
    pRowScratch.reset();
    bPairedChannels = 0;
    ullPhaseGroup = 0;
    bFrameSame = 1;
    bPreviousFrameSame = 1;
    bPlainRun = 0;
    uiCurrentFrame = 0;
    bNegateShifted = 0;
    dfReadPosition = 0.0;
    bReady = 0;
    bDiscardBlock = 0;
    ullChannels = 0;
    dfInputRate = 0.0;
    dfOutputRate = 0.0;
    iShiftBins = 0;
    uiOversamplingOctaves = 0;
    uiBlockOrder = 0;
    ullConsumedFrames.store(0, std::memory_order_relaxed);
    return 1;
}

uint32_t SamplingFrequencyConverter::LowestInputRate(double dfOutputRateHz, double dfOversampling)
{
    if (!(dfOutputRateHz > 0.0) || !(dfOversampling > 0.0) || !std::isfinite(dfOutputRateHz) ||
        !std::isfinite(dfOversampling))
    {
        return 0;
    }
    const auto Takes = [&](uint32_t uiInput)
    {
        const double dfOctaves = OversamplingOctaves(uiInput, dfOutputRateHz, dfOversampling);
        return dfOctaves >= 0.0 && dfOctaves <= MAX_OVERSAMPLING_OCTAVES;
    };
    // output x factor / 2^MAX, then a step either way where the logarithms round differently.
    const double dfEstimate =
        std::ceil(dfOutputRateHz * dfOversampling / std::ldexp(1.0, MAX_OVERSAMPLING_OCTAVES));
    if (!(dfEstimate < 4294967295.0))
    {
        return 0;
    }
    uint32_t uiRate = std::max(1u, static_cast<uint32_t>(dfEstimate));
    while (uiRate > 1 && Takes(uiRate - 1))
    {
        --uiRate;
    }
    while (uiRate < 0xFFFFFFFFu && !Takes(uiRate))
    {
        ++uiRate;
    }
    return uiRate;
}

int32_t SamplingFrequencyConverter::Setup(uint64_t ullChannelCount, double dfInputRateHz,
                                          double dfOutputRateHz, uint32_t uiBlockOrderValue, int32_t iShift,
                                          double dfBufferSeconds)
{
    Release();
    if (!(dfInputRateHz > 0.0) || !(dfOutputRateHz > 0.0) || !std::isfinite(dfInputRateHz) ||
        !std::isfinite(dfOutputRateHz))
    {
        return -4;
    }
    // Channel count, block order and shift size every array below; out of range they would make
    // no sense or write outside the spectrum.
    if (ullChannelCount == 0 || ullChannelCount > MAX_CHANNELS || uiBlockOrderValue < MIN_BLOCK_ORDER ||
        uiBlockOrderValue > MAX_BLOCK_ORDER || !std::isfinite(dfBufferSeconds))
    {
        return -4;
    }
    const uint64_t B = uint64_t{1} << uiBlockOrderValue;
    const int64_t llHop = static_cast<int64_t>(B / 2);
    const int64_t llShift = iShift;
    if (llShift <= -llHop || llShift >= llHop)
    {
        return -4;
    }
    if (dfOutputRateHz <= dfInputRateHz &&
        std::ceil((std::log(dfInputRateHz) - std::log(dfOutputRateHz)) / std::log(2.0)) + 1.0 > 8.0)
    {
        return -1;
    }
    const double dfOctaves = OversamplingOctaves(dfInputRateHz, dfOutputRateHz, dfOversamplingFactor);
    if (dfOctaves < 0.0 || dfOctaves > MAX_OVERSAMPLING_OCTAVES ||
        dfOctaves + uiBlockOrderValue > FFT_MAX_ORDER)
    {
        return -1;
    }
    const uint32_t h = static_cast<uint32_t>(dfOctaves);
    const uint64_t N2 = B << h;
    const uint64_t M = N2 / 2;
    const uint64_t hop = B / 2;
    const uint64_t C = ullChannelCount;
    // An output frame must advance by at least one oversampled sample, or a block could produce
    // more frames than its output array holds (only an oversampling factor below 1 comes here).
    if (static_cast<double>(uint64_t{1} << h) * dfInputRateHz < dfOutputRateHz)
    {
        return -1;
    }

    pRateSmoother.reset(new (std::nothrow) ParameterSmoother);
    if (!pRateSmoother || pRateSmoother->Initialize(dfOutputRateHz) != 1)
    {
        Release();
        return -2;
    }
    pRateSmoother->pLock = &RateLock;

    uint64_t ullBlocks = 2;
    if (dfBufferSeconds > 0.0)
    {
        const double dfBlocks = std::ceil(dfInputRateHz * dfBufferSeconds / static_cast<double>(B));
        // Beyond this the queues could not be allocated anyway.
        if (dfBlocks > static_cast<double>(uint64_t{1} << 32))
        {
            Release();
            return -2;
        }
        ullBlocks = static_cast<uint64_t>(dfBlocks);
    }
    if (InputFIFO.Allocate(ullBlocks * C * B) != 1 || OutputFIFO.Allocate(ullBlocks * C * N2) != 1)
    {
        Release();
        return -2;
    }

    bPlainRun = (pPlainForward != nullptr && pPlainInverse != nullptr) ? 1 : 0;
    pdfHopBuffer = MakeArray(C * hop);
    pdfOverlapTail = MakeArray(C * M);
    pdfAnalysisWindow = MakeArray(B);
    pdfSynthesisWindow = MakeArray(N2);
    pdfFrame = MakeArray(C * B);
    pdfOversampledBlock = MakeArray(C * M);
    pdfOutputFrames = MakeArray(C * N2);
    pSpectrum = MakeArray(2 * C * B);
    pOversampledSpectrum = MakeArray(2 * C * N2);
    pOversampledFrame = MakeArray(2 * C * N2);
    pdfLastSample = MakeArray(C);
    // Room to start the frames on a cache line.
    pOversampledSignal = MakeArray(bPlainRun != 0 ? 1 : SignalDoubles(C, B, h));
    pTransformInput = MakeArray(2 * C * B);
    pShiftedBins = MakeArray(C * 2 * hop * 2);
    pdfPositions = MakeArray(N2);
    if (!pdfHopBuffer || !pdfOverlapTail || !pdfAnalysisWindow || !pdfSynthesisWindow || !pdfFrame ||
        !pdfOversampledBlock || !pdfOutputFrames || !pSpectrum || !pOversampledSpectrum ||
        !pOversampledFrame || !pdfLastSample || !pOversampledSignal || !pTransformInput || !pShiftedBins ||
        !pdfPositions)
    {
        Release();
        return -2;
    }
    if (MakeKBDWindow(pdfAnalysisWindow.get(), B, KBD_ALPHA) != 1 ||
        MakeKBDWindow(pdfSynthesisWindow.get(), N2, KBD_ALPHA) != 1)
    {
        Release();
        return -2;
    }
    // Everything the run needs is made here, so Process never builds a table.
    if (PrepareFFT(uiBlockOrderValue) != 1 || (bPlainRun != 0 && PrepareFFT(uiBlockOrderValue + h) != 1))
    {
        Release();
        return -2;
    }
    const uintptr_t ullAddress = reinterpret_cast<uintptr_t>(pOversampledSignal.get());
    pdfSignal = pOversampledSignal.get() + ((64 - ullAddress % 64) % 64) / sizeof(double);
    if (bPlainRun == 0)
    {
        puiRowOrder = GetBitReversal(uiBlockOrderValue);
        if (puiRowOrder == nullptr)
        {
            Release();
            return -2;
        }
        // A stereo signal without bins moved past hop: both channels in one transform per phase.
        // Otherwise each channel pairs two phases in a transform.
        int32_t iTables = 1;
        if (C == 2 && iShift <= 0)
        {
            iTables = MakePhaseWeights(uiBlockOrderValue, h);
        }
        else
        {
            pdfTwiddles = PhaseTwiddleTable::Get(uiBlockOrderValue, h, 0, 1);
            pdfAliasTwiddles = iShift > 0 ? PhaseTwiddleTable::Get(uiBlockOrderValue, h, 1) : nullptr;
            iTables = (pdfTwiddles == nullptr || (iShift > 0 && pdfAliasTwiddles == nullptr)) ? -2 : 1;
        }
        if (iTables != 1)
        {
            Release();
            return -2;
        }
    }

    iShiftBins = iShift;
    dfInputRate = dfInputRateHz;
    dfOutputRate = dfOutputRateHz;
    uiBlockOrder = uiBlockOrderValue;
    uiOversamplingOctaves = h;
    ullChannels = C;
    bDiscardBlock = 1;
    bReady = 1;
    return 1;
}

int32_t SamplingFrequencyConverter::Restart(uint64_t ullStartFrame)
{
    if (bReady == 0)
    {
        return -1;
    }
    const uint64_t C = ullChannels;
    const uint64_t B = uint64_t{1} << uiBlockOrder;
    const uint64_t N2 = B << uiOversamplingOctaves;
    const uint64_t M = N2 / 2;
    InputFIFO.Clear();
    OutputFIFO.Clear();
    // What Setup leaves zero and the blocks carry from one to the next.
    std::fill_n(pdfHopBuffer.get(), C * (B / 2), 0.0);
    std::fill_n(pdfOverlapTail.get(), C * M, 0.0);
    std::fill_n(pdfOversampledBlock.get(), C * M, 0.0);
    std::fill_n(pdfLastSample.get(), C, 0.0);
    std::fill_n(pShiftedBins.get(), C * 2 * (B / 2) * 2, 0.0);
    std::fill_n(pOversampledSignal.get(), bPlainRun != 0 ? 1 : SignalDoubles(C, B, uiOversamplingOctaves),
                0.0);
    bFrameSame = 1;
    bPreviousFrameSame = 1;
    uiCurrentFrame = 0;
    bNegateShifted = 0;
    dfReadPosition = 0.0;
    bDiscardBlock = 1;
    ullConsumedFrames.store(ullStartFrame, std::memory_order_relaxed);
    return 1;
}

int32_t SamplingFrequencyConverter::SetOutputRate(double dfRateHz, int32_t bImmediate)
{
    if (!(dfRateHz > 0.0) || !std::isfinite(dfRateHz))
    {
        return -4;
    }
    if (bReady != 1)
    {
        return -1;
    }
    if (dfRateHz > static_cast<double>(uint64_t{1} << uiOversamplingOctaves) * dfInputRate)
    {
        return -4;
    }
    if (bImmediate != 0)
    {
        pRateSmoother->SetTarget(dfRateHz, 1);
        return 1;
    }
    const double dfHop = static_cast<double>(uint64_t{1} << uiBlockOrder) / 2.0;
    const double dfSteps = std::floor(dfHop / dfInputRate * dfRateHz);
    // A rate so low that one hop yields no output frame would be refused by the smoother, and the
    // speed would silently stay; it is taken at once instead.
    const uint64_t ullSteps = dfSteps < 1.0 ? 1 : static_cast<uint64_t>(dfSteps);
    pRateSmoother->SetTarget(dfRateHz, ullSteps);
    return 1;
}

uint64_t SamplingFrequencyConverter::BandLimit()
{
    const uint64_t hop = (uint64_t{1} << uiBlockOrder) / 2;
    double dfLowest = 0.0;
    pRateSmoother->GetLowestValue(dfLowest);
    if (dfLowest >= dfInputRate)
    {
        return hop;
    }
    return static_cast<uint64_t>(std::floor(static_cast<double>(hop) * dfLowest / dfInputRate));
}

// Moves every component by iShiftBins bins, keeping the spectrum mirror-symmetric. For a positive
// shift the components that pass hop - 1 are saved to pdfShifted (S values for frequencies
// hop ... hop + S - 1, then S mirrors for -hop ... -(hop + S - 1)), to be placed beyond the small
// spectrum. Bin 0 and bin hop become 0.
void SamplingFrequencyConverter::ShiftSpectrum(double* X, double* pdfShifted) const
{
    const int64_t B = int64_t{1} << uiBlockOrder;
    const int64_t hop = B / 2;
    const auto Copy = [X](int64_t llTo, int64_t llFrom)
    {
        X[2 * llTo] = X[2 * llFrom];
        X[2 * llTo + 1] = X[2 * llFrom + 1];
    };
    const auto Clear = [X](int64_t llAt)
    {
        X[2 * llAt] = 0.0;
        X[2 * llAt + 1] = 0.0;
    };
    if (iShiftBins > 0)
    {
        const int64_t S = iShiftBins;
        for (int64_t j = 0; j < S; ++j)
        {
            std::memcpy(pdfShifted + 2 * j, X + 2 * (hop - S + j), 2 * sizeof(double));
            std::memcpy(pdfShifted + 2 * (S + j), X + 2 * (hop + S - j), 2 * sizeof(double));
        }
        // Sources lie below their destinations on the positive side and above them on the
        // mirror side, so each side is walked away from its sources.
        for (int64_t k = hop - 1; k >= S + 1; --k)
        {
            Copy(k, k - S);
            Copy(B - k, B - k + S);
        }
        for (int64_t k = 1; k <= S; ++k)
        {
            Clear(k);
            Clear(B - k);
        }
    }
    else
    {
        const int64_t D = -static_cast<int64_t>(iShiftBins);
        for (int64_t k = 1; k <= hop - 1 - D; ++k)
        {
            Copy(k, k + D);
            Copy(B - k, B - k - D);
        }
        for (int64_t k = hop - D; k <= hop - 1; ++k)
        {
            Clear(k);
            Clear(B - k);
        }
    }
    Clear(0);
    Clear(hop);
}

// The weights of the paired run (see ComputePairedRows), e^(-2 pi i f r / N2) for the frequency f
// of each bin in bit-reversed order: G rows for r = 0 ... G - 1, four side by side as the four-row
// transform takes them (8 doubles per bin: the real parts of the four, then their imaginary parts;
// fewer than four phases leave the other lanes 0), then 2^h / G plain rows for r = 0, G, 2G, ...
// Phase r's weights are the product of a row of each, so the tables stay small enough for the
// cache however many phases there are.
int32_t SamplingFrequencyConverter::MakePhaseWeights(uint32_t uiOrder, uint32_t h)
{
    const int64_t B = int64_t{1} << uiOrder;
    const int64_t N2 = B << h;
    const int64_t P = int64_t{1} << h;
    const int64_t G = std::min<int64_t>(P, PHASE_GROUP);
    const int64_t llLowRows = std::max<int64_t>(G, 4);
    pPhaseWeights = MakeArray(static_cast<uint64_t>(2 * B * (llLowRows + P / G)));
    pRowScratch = MakeArray(static_cast<uint64_t>(8 * B));
    if (!pPhaseWeights || !pRowScratch)
    {
        return -2;
    }
    double* pdfHigh = pPhaseWeights.get() + 2 * B * llLowRows;
    for (int64_t k = 0; k < B; ++k)
    {
        const int64_t b = puiRowOrder[k];
        const int64_t f = b < B / 2 ? b : b - B;
        // e^(-2 pi i f r / N2); the angle is reduced exactly in integers before it meets floating point.
        const auto Weight = [&](int64_t r, double* pdfRe, double* pdfIm)
        {
            int64_t a = (f * r) % N2;
            if (a < 0)
            {
                a += N2;
            }
            const double dfAngle = 2.0 * std::numbers::pi * static_cast<double>(a) / static_cast<double>(N2);
            *pdfRe = std::cos(dfAngle);
            *pdfIm = -std::sin(dfAngle);
        };
        for (int64_t r = 0; r < G; ++r)
        {
            double* pdfBin = pPhaseWeights.get() + 8 * (B * (r / 4) + k) + r % 4;
            Weight(r, pdfBin, pdfBin + 4);
        }
        for (int64_t i = 0; i < P / G; ++i)
        {
            Weight(i * G, &pdfHigh[2 * (i * B + k)], &pdfHigh[2 * (i * B + k) + 1]);
        }
    }
    ullPhaseGroup = static_cast<uint64_t>(G);
    bPairedChannels = 1;
    return 1;
}

// Stereo: with Z_f = L_f + i R_f (L and R the spectra of the two channels), the oversampled frames
// of both are y_L[n] + i y_R[n] = sum_f Z_f e^(2 pi i f n / N2), so with n = m 2^h + r one B-point
// transform per phase r gives both channels: the forward transform of conj(Z_f e^(2 pi i f r / N2))
// holds y_L(r) in the real parts and -y_R(r) in the imaginary parts. Z is formed once per block in
// bit-reversed order; the rows of four phases at a time run side by side, and their results go
// straight into the frame in sample order (see InterpolatePaired).
void SamplingFrequencyConverter::ComputePairedRows(uint64_t ullKeep)
{
    const uint64_t B = uint64_t{1} << uiBlockOrder;
    const uint32_t h = uiOversamplingOctaves;
    const uint64_t P = uint64_t{1} << h;
    const uint64_t G = ullPhaseGroup;
    const uint64_t K = ullKeep;
    const uint64_t ullFirstMirror = K == 0 ? B : B - K + 1;
    const uint32_t* puiReverse = puiRowOrder;
    const double* pdfLeft = pSpectrum.get();
    const double* pdfRight = pSpectrum.get() + 2 * B;
    double* Z = pTransformInput.get();
    double* pdfShifted = Z + 2 * B;
    for (uint64_t k = 0; k < B; ++k)
    {
        const uint64_t b = puiReverse[k];
        const bool bKept = b < K || b >= ullFirstMirror;
        Z[2 * k] = bKept ? pdfLeft[2 * b] - pdfRight[2 * b + 1] : 0.0;
        Z[2 * k + 1] = bKept ? pdfLeft[2 * b + 1] + pdfRight[2 * b] : 0.0;
    }
    const double* pdfLow = pPhaseWeights.get();
    const double* pdfHigh = pdfLow + 2 * B * std::max<uint64_t>(G, 4);
    const uint64_t F = PairedFrameSize();
    const uint64_t S = PairedBinStride(h);
    double* pdfRows = pdfSignal + uiCurrentFrame * F;
    for (uint64_t i = 0; i < P / G; ++i)
    {
        // Z conj(w_iG): the rows of the group then weight it with w_0 ... w_(G-1).
        const double* W = pdfHigh + 2 * i * B;
        for (uint64_t k = 0; k < B; ++k)
        {
            pdfShifted[2 * k] = Z[2 * k] * W[2 * k] + Z[2 * k + 1] * W[2 * k + 1];
            pdfShifted[2 * k + 1] = Z[2 * k + 1] * W[2 * k] - Z[2 * k] * W[2 * k + 1];
        }
        for (uint64_t g = 0; g < G; g += 4)
        {
            double* pdfReal = pdfRows + i * G + g;
            FFTWeightedFourFromBitReversed(pdfShifted, pdfLow + 2 * g * B, pRowScratch.get(), pdfReal,
                                           pdfReal + F / 2, S, uiBlockOrder);
        }
    }
    // A padded bin ends with a copy of the next bin's first sample, so that samples n and n + 1
    // still lie side by side where they straddle two bins.
    if (S != StoredPhases(h))
    {
        for (uint64_t m = 0; m + 1 < B; ++m)
        {
            pdfRows[m * S + P] = pdfRows[(m + 1) * S];
            pdfRows[F / 2 + m * S + P] = pdfRows[F / 2 + (m + 1) * S];
        }
    }
}

// Doubles per frame of the paired run: the left and the right samples, B bins each.
uint64_t SamplingFrequencyConverter::PairedFrameSize() const
{
    return 2 * (uint64_t{1} << uiBlockOrder) * PairedBinStride(uiOversamplingOctaves);
}

// Interpolation of the paired rows. The frames hold the samples in their natural order, left
// channel then right (negated), bin after bin: sample n = m 2^h + r at m S + r, with S the bin
// stride (see PairedBinStride), which is n itself from four up to the padded phase counts. The
// previous frame's sample M + n is bin m + B / 2 of the same phase.
void SamplingFrequencyConverter::InterpolatePaired(uint64_t ullFrames)
{
    const uint32_t h = uiOversamplingOctaves;
    const uint64_t S = PairedBinStride(h);
    const uint64_t B = uint64_t{1} << uiBlockOrder;
    const uint64_t M = (B << h) / 2;
    const uint64_t F = PairedFrameSize();
    const uint64_t ullPhaseMask = (uint64_t{1} << h) - 1;
    const double* w = pdfSynthesisWindow.get();
    const double* pdfPosition = pdfPositions.get();
    const double* pdfLeft = pdfSignal + uiCurrentFrame * F;
    const double* pdfRight = pdfLeft + F / 2;
    const double* pdfLeftTail = pdfSignal + (uiCurrentFrame ^ 1) * F + (B / 2) * S;
    const double* pdfRightTail = pdfLeftTail + F / 2;
    double* pdfOut = pdfOutputFrames.get();
    const auto Locate = [=](uint64_t n) { return (n >> h) * S + (n & ullPhaseMask); };
    // Both frames this block reads had equal channels; frames before its first sample also need the
    // sample carried into it to agree.
    const bool bSame = bFrameSame != 0 && bPreviousFrameSame != 0;
    const bool bCarriedSame = std::memcmp(&pdfLastSample[0], &pdfLastSample[1], sizeof(double)) == 0;
    // Overlap-add of sample n of both channels; the right channel's parts are negated.
    const auto Sample = [=](uint64_t n, double& dfLeft, double& dfRight)
    {
        const uint64_t o = Locate(n);
        dfLeft = pdfLeft[o] * w[n] + pdfLeftTail[o] * w[M + n];
        dfRight = pdfRight[o] * -w[n] + pdfRightTail[o] * -w[M + n];
    };
    for (uint64_t j = 0; j < ullFrames; ++j)
    {
        const double p = pdfPosition[j];
#ifdef LARKSPUR_CONVERTER_SSE2
        // From four phases on, samples n and n + 1 lie side by side in each array: both channels
        // of both come in pairs, with the same operations as below (the right channel's negation
        // moved to the end, which rounds the same).
        if (h >= 2 && p >= 0.0)
        {
            const uint64_t i = static_cast<uint64_t>(static_cast<int64_t>(p));
            const uint64_t o = Locate(i);
            const double t = p - static_cast<double>(i);
            const __m128d w0 = _mm_loadu_pd(w + i);
            const __m128d w1 = _mm_loadu_pd(w + M + i);
            const __m128d Left = _mm_add_pd(_mm_mul_pd(_mm_loadu_pd(pdfLeft + o), w0),
                                            _mm_mul_pd(_mm_loadu_pd(pdfLeftTail + o), w1));
            const __m128d Right = _mm_add_pd(_mm_mul_pd(_mm_loadu_pd(pdfRight + o), w0),
                                             _mm_mul_pd(_mm_loadu_pd(pdfRightTail + o), w1));
            // (left, right) of sample i and of sample i + 1.
            const __m128d First = _mm_unpacklo_pd(Left, Right);
            const __m128d Second = _mm_unpackhi_pd(Left, Right);
            const __m128d Frame =
                _mm_add_pd(_mm_mul_pd(_mm_set1_pd(t), Second), _mm_mul_pd(_mm_set1_pd(1.0 - t), First));
            _mm_storeu_pd(pdfOut + 2 * j, _mm_xor_pd(Frame, _mm_set_pd(-0.0, 0.0)));
            continue;
        }
#endif
        const double dfFloor = std::floor(p);
        const double t = p - dfFloor;
        double dfLeft0 = 0.0;
        double dfRight0 = 0.0;
        double dfLeft1 = 0.0;
        double dfRight1 = 0.0;
        if (dfFloor < 0.0)
        {
            // Between the previous block's last sample and this block's first.
            dfLeft0 = pdfLastSample[0];
            dfRight0 = pdfLastSample[1];
            Sample(0, dfLeft1, dfRight1);
        }
        else
        {
            const uint64_t i = static_cast<uint64_t>(dfFloor);
            Sample(i, dfLeft0, dfRight0);
            Sample(i + 1, dfLeft1, dfRight1);
        }
        pdfOut[2 * j] = t * dfLeft1 + (1.0 - t) * dfLeft0;
        pdfOut[2 * j + 1] = t * dfRight1 + (1.0 - t) * dfRight0;
    }
    // Positions in the next block's first interval start from this block's last sample.
    Sample(M - 1, pdfLastSample[0], pdfLastSample[1]);
    // Then so are the samples, whatever the rounding of each.
    if (bSame)
    {
        for (uint64_t j = 0; j < ullFrames; ++j)
        {
            if (bCarriedSame || pdfPosition[j] >= 0.0)
            {
                pdfOut[2 * j + 1] = pdfOut[2 * j];
            }
        }
        pdfLastSample[1] = pdfLastSample[0];
    }
}

// The inverse transform of the zero-padded spectrum, y[n] = Re sum_f X_f e^(2 pi i f n / N2), has
// nonzero bins only at frequencies |f| < K (and those a shift adds). Writing n = m 2^h + r,
//   y[m 2^h + r] = Re IDFT_B( X_f e^(2 pi i f r / N2) )[m],
// so the N2 samples come from 2^h small B-point transforms of twiddled copies of the few bins, each
// staying in the cache. The outputs are real, so phases 2q and 2q + 1 share one complex transform:
// the bins are weighted by e^(2 pi i f 2q / N2) + i e^(2 pi i f (2q + 1) / N2), and the forward
// transform of the conjugate gives y(2q) in the real parts and -y(2q + 1) in the imaginary parts.
// The kept bins and the weights are laid out in bit-reversed order, so each row's transform runs in
// place where the row belongs, with no reordering pass: row q of channel c is at
// pdfSignal + (2c + frame) F + 2qB, with F = N2 (2B when h = 0: one complex row).
void SamplingFrequencyConverter::ComputePhaseRows(uint64_t ullKeep)
{
    const uint64_t B = uint64_t{1} << uiBlockOrder;
    const uint64_t hop = B / 2;
    const uint32_t h = uiOversamplingOctaves;
    const uint64_t N2 = B << h;
    const uint64_t R = h == 0 ? 1 : uint64_t{1} << (h - 1);
    const uint64_t F = std::max(N2, 2 * B);
    const uint64_t C = ullChannels;
    const uint64_t K = ullKeep;
    const int64_t S = iShiftBins > 0 ? iShiftBins : 0;
    const uint32_t* puiReverse = puiRowOrder;
    // Bins K ... B - K are dropped.
    const uint64_t ullFirstMirror = K == 0 ? B : B - K + 1;
    for (uint64_t c = 0; c < C; ++c)
    {
        const double* X = pSpectrum.get() + 2 * c * B;
        double* pdfKept = pTransformInput.get() + 2 * c * B;
        for (uint64_t k = 0; k < B; ++k)
        {
            const uint64_t b = puiReverse[k];
            const bool bKept = b < K || b >= ullFirstMirror;
            pdfKept[2 * k] = bKept ? X[2 * b] : 0.0;
            pdfKept[2 * k + 1] = bKept ? X[2 * b + 1] : 0.0;
        }
    }
    for (uint64_t q = 0; q < R; ++q)
    {
        // Both channels use the row's weights while they are in the cache.
        const double* T = pdfTwiddles + 2 * q * B;
        for (uint64_t c = 0; c < C; ++c)
        {
            double* D = pdfSignal + (2 * c + uiCurrentFrame) * F + 2 * q * B;
            const double* pdfKept = pTransformInput.get() + 2 * c * B;
            if (S == 0)
            {
                FFTWeightedFromBitReversed(pdfKept, T, D, uiBlockOrder);
                continue;
            }
            // A positive shift adds the bins it moved past hop.
            MultiplyConjugate(pdfKept, T, D, B);
            const double* TA = pdfAliasTwiddles + 2 * q * B;
            const double* pdfShifted = pShiftedBins.get() + 2 * c * 2 * hop;
            for (int64_t j = 0; j < S; ++j)
            {
                const uint64_t ullUp = hop + static_cast<uint64_t>(j);
                const uint64_t ullDown = hop - static_cast<uint64_t>(j);
                AddMultiplyConjugate(pdfShifted + 2 * j, TA + 2 * ullUp, D + 2 * puiReverse[ullUp]);
                // -hop is the bin's own frequency; -(hop + j) for j > 0 is the other one. The
                // regular weights are in bit-reversed order, the alias ones are not.
                const double* pdfWeight = j == 0 ? T + 2 * puiReverse[hop] : TA + 2 * ullDown;
                AddMultiplyConjugate(pdfShifted + 2 * (S + j), pdfWeight, D + 2 * puiReverse[ullDown]);
            }
            FFTComplexFromBitReversed(D, uiBlockOrder);
        }
    }
}

// The literal block: the whole zero-padded spectrum, an N2-point inverse transform and overlap-add.
void SamplingFrequencyConverter::RunPlainBlock(uint64_t ullKeep)
{
    const uint64_t B = uint64_t{1} << uiBlockOrder;
    const uint64_t hop = B / 2;
    const uint64_t N2 = B << uiOversamplingOctaves;
    const uint64_t M = N2 / 2;
    const uint64_t K = ullKeep;
    for (uint64_t c = 0; c < ullChannels; ++c)
    {
        const double* X = pSpectrum.get() + 2 * c * B;
        double* Z = pOversampledSpectrum.get() + 2 * c * N2;
        double* y = pOversampledFrame.get() + 2 * c * N2;
        std::memset(Z, 0, 2 * N2 * sizeof(double));
        if (iShiftBins > 0)
        {
            const uint64_t S = static_cast<uint64_t>(iShiftBins);
            const double* pdfShifted = pShiftedBins.get() + 2 * c * 2 * hop;
            for (uint64_t j = 0; j < S; ++j)
            {
                std::memcpy(Z + 2 * (hop + j), pdfShifted + 2 * j, 2 * sizeof(double));
                std::memcpy(Z + 2 * (N2 - hop - j), pdfShifted + 2 * (S + j), 2 * sizeof(double));
            }
        }
        for (uint64_t i = 0; i < K; ++i)
        {
            std::memcpy(Z + 2 * i, X + 2 * i, 2 * sizeof(double));
            if (i != 0)
            {
                std::memcpy(Z + 2 * (N2 - i), X + 2 * (B - i), 2 * sizeof(double));
            }
        }
        pPlainInverse(Z, y, uiBlockOrder + uiOversamplingOctaves);
        const double* w = pdfSynthesisWindow.get();
        double* pdfBlock = pdfOversampledBlock.get() + c * M;
        double* pdfTail = pdfOverlapTail.get() + c * M;
        for (uint64_t j = 0; j < M; ++j)
        {
            pdfBlock[j] = y[2 * j] * w[j] + pdfTail[j];
            pdfTail[j] = w[M + j] * y[2 * (M + j)];
        }
    }
}

// Positions of this block's output frames at the effective rate, for j = 0, 1, ...: frame 0 sits at
// the carried position, and every frame after it lies one oversampled step at its own rate past the
// frame before. While a ramp runs the positions are that running sum, so the speed follows the
// smoother's raised cosine; at a steady rate the position of frame j is j steps past the carry,
// which is the same sum without its rounding. A block spans M intervals: positions in [-1, 0) lie
// between the previous block's last sample and this block's first, positions from M - 1 on wait
// for the next block. Returns the number of frames.
uint64_t SamplingFrequencyConverter::ComputePositions()
{
    const uint64_t N2 = uint64_t{1} << (uiBlockOrder + uiOversamplingOctaves);
    const double dfEnd = static_cast<double>(N2 / 2);
    const double dfOversampledRate = static_cast<double>(uint64_t{1} << uiOversamplingOctaves) * dfInputRate;
    double* pdfPosition = pdfPositions.get();
    // One lock for the whole block: no target can arrive in between, so without a running ramp
    // every step would return the current rate unchanged and need not be taken.
    CriticalSectionHolder Holder(&RateLock);
    double dfIgnored = 0.0;
    const bool bSteady = pRateSmoother->GetRampTarget(dfIgnored) == 0;
    double r = 0.0;
    double p = dfReadPosition;
    if (bSteady)
    {
        pRateSmoother->GetCurrent(r);
        dfOutputRate = r;
    }
    uint64_t j = 0;
    for (;; ++j)
    {
        if (bSteady)
        {
            p = static_cast<double>(j) / r * dfOversampledRate + dfReadPosition;
        }
        else
        {
            // The smoother is stepped for every position, frame 0's included, as at a steady rate.
            pRateSmoother->Next(r);
            dfOutputRate = r;
            if (j > 0)
            {
                p += dfOversampledRate / r;
            }
        }
        // Every rate SetOutputRate accepts moves at least one sample per frame, so a block never
        // has N2 frames; the second test only guards the arrays.
        if (p >= dfEnd - 1.0 || j == N2)
        {
            dfReadPosition = p - dfEnd;
            return j;
        }
        pdfPosition[j] = p;
    }
}

// Interpolates channel c at the positions of this block into pdfOutputFrames and keeps the block's
// last sample. Sample(n) gives the block's finished oversampled sample n.
template <typename Sampler>
void SamplingFrequencyConverter::InterpolateChannel(uint64_t c, uint64_t ullFrames, Sampler Sample)
{
    const uint64_t C = ullChannels;
    const uint64_t M = uint64_t{1} << (uiBlockOrder + uiOversamplingOctaves - 1);
    const double* pdfPosition = pdfPositions.get();
    const double dfLast = pdfLastSample[c];
    double* pdfOut = pdfOutputFrames.get() + c;
    for (uint64_t j = 0; j < ullFrames; ++j)
    {
        const double p = pdfPosition[j];
        const double dfFloor = std::floor(p);
        const double t = p - dfFloor;
        if (dfFloor < 0.0)
        {
            pdfOut[j * C] = t * Sample(0) + (1.0 - t) * dfLast;
        }
        else
        {
            const uint64_t i = static_cast<uint64_t>(dfFloor);
            pdfOut[j * C] = t * Sample(i + 1) + (1.0 - t) * Sample(i);
        }
    }
    // Positions in the next block's first interval start from this block's last sample.
    pdfLastSample[c] = Sample(M - 1);
}

void SamplingFrequencyConverter::InterpolatePlain(uint64_t c, uint64_t ullFrames)
{
    const uint64_t M = uint64_t{1} << (uiBlockOrder + uiOversamplingOctaves - 1);
    const double* pdfBlock = pdfOversampledBlock.get() + c * M;
    InterpolateChannel(c, ullFrames, [pdfBlock](uint64_t n) { return pdfBlock[n]; });
}

void SamplingFrequencyConverter::InterpolateFast(uint64_t ullFrames)
{
    const uint32_t h = uiOversamplingOctaves;
    const uint64_t B = uint64_t{1} << uiBlockOrder;
    const uint64_t N2 = B << h;
    const uint64_t M = N2 / 2;
    const uint64_t C = ullChannels;
    const uint64_t ullPhaseMask = (uint64_t{1} << h) - 1;
    const double* w = pdfSynthesisWindow.get();
    const double* pdfPosition = pdfPositions.get();
    const uint64_t F = std::max(N2, 2 * B);
    const double* pdfCurrent = pdfSignal + uiCurrentFrame * F;
    const double* pdfPrevious = pdfSignal + (uiCurrentFrame ^ 1) * F;
    double* pdfOut = pdfOutputFrames.get();
    // Sample n of a frame, n < M: row r / 2, output m = n / 2^h, the real part for even r and the
    // negated imaginary part for odd r. The previous frame's sample M + n is output m + B / 2 of the
    // same row.
    struct Location
    {
        uint64_t ullOffset;
        double dfSign;
    };
    const auto Locate = [&](uint64_t n)
    {
        const uint64_t r = n & ullPhaseMask;
        return Location{(r >> 1) * 2 * B + 2 * (n >> h) + (r & 1), (r & 1) != 0 ? -1.0 : 1.0};
    };
    // Overlap-add of one sample: y[n] w[n] + w[M + n] y'[M + n].
    const auto Sample = [&](uint64_t c, const Location& At, double dfWindow, double dfTailWindow)
    {
        const uint64_t ullBase = 2 * c * F + At.ullOffset;
        return pdfCurrent[ullBase] * dfWindow + pdfPrevious[ullBase + B] * dfTailWindow;
    };
    for (uint64_t j = 0; j < ullFrames; ++j)
    {
        const double p = pdfPosition[j];
        const double dfFloor = std::floor(p);
        const double t = p - dfFloor;
        if (dfFloor < 0.0)
        {
            // Between the previous block's last sample and this block's first.
            const Location First = Locate(0);
            for (uint64_t c = 0; c < C; ++c)
            {
                const double dfFirst = Sample(c, First, First.dfSign * w[0], First.dfSign * w[M]);
                pdfOut[j * C + c] = t * dfFirst + (1.0 - t) * pdfLastSample[c];
            }
            continue;
        }
        const uint64_t i = static_cast<uint64_t>(dfFloor);
        const Location Left = Locate(i);
        const Location Right = Locate(i + 1);
        const double dfLeftWindow = Left.dfSign * w[i];
        const double dfLeftTail = Left.dfSign * w[M + i];
        const double dfRightWindow = Right.dfSign * w[i + 1];
        const double dfRightTail = Right.dfSign * w[M + i + 1];
        for (uint64_t c = 0; c < C; ++c)
        {
            const double dfLeft = Sample(c, Left, dfLeftWindow, dfLeftTail);
            const double dfRight = Sample(c, Right, dfRightWindow, dfRightTail);
            pdfOut[j * C + c] = t * dfRight + (1.0 - t) * dfLeft;
        }
    }
    // Positions in the next block's first interval start from this block's last sample.
    const Location Last = Locate(M - 1);
    for (uint64_t c = 0; c < C; ++c)
    {
        pdfLastSample[c] = Sample(c, Last, Last.dfSign * w[M - 1], Last.dfSign * w[N2 - 1]);
    }
}

// Both channels' windowed frames in one complex transform, Z = DFT(L + i R), and the two spectra
// taken apart by their symmetry: L_k = (Z_k + conj Z_(B-k)) / 2, R_k = (Z_k - conj Z_(B-k)) / 2i,
// each divided by B like ForwardFFT's.
void SamplingFrequencyConverter::TransformChannelPair()
{
    const uint64_t B = uint64_t{1} << uiBlockOrder;
    const double* pdfLeft = pdfFrame.get();
    const double* pdfRight = pdfFrame.get() + B;
    double* pdfCombined = pTransformInput.get();
    for (uint64_t i = 0; i < B; ++i)
    {
        pdfCombined[2 * i] = pdfLeft[i];
        pdfCombined[2 * i + 1] = pdfRight[i];
    }
    double* XL = pSpectrum.get();
    double* XR = pSpectrum.get() + 2 * B;
    // Z goes where the right spectrum belongs; each pair of bins k, B - k is read before either
    // is written.
    FFTComplex(pdfCombined, XR, uiBlockOrder);
    const double dfScale = 0.5 / static_cast<double>(B);
    for (uint64_t k = 0; k <= B / 2; ++k)
    {
        const uint64_t ullMirror = (B - k) % B;
        const double dfARe = XR[2 * k];
        const double dfAIm = XR[2 * k + 1];
        const double dfBRe = XR[2 * ullMirror];
        const double dfBIm = XR[2 * ullMirror + 1];
        XL[2 * k] = dfScale * (dfARe + dfBRe);
        XL[2 * k + 1] = dfScale * (dfAIm - dfBIm);
        XR[2 * k] = dfScale * (dfAIm + dfBIm);
        XR[2 * k + 1] = dfScale * (dfBRe - dfARe);
        XL[2 * ullMirror] = dfScale * (dfBRe + dfARe);
        XL[2 * ullMirror + 1] = dfScale * (dfBIm - dfAIm);
        XR[2 * ullMirror] = dfScale * (dfBIm + dfAIm);
        XR[2 * ullMirror + 1] = dfScale * (dfARe - dfBRe);
    }
}

int32_t SamplingFrequencyConverter::ReadHopAndTransform()
{
    const uint64_t B = uint64_t{1} << uiBlockOrder;
    const uint64_t hop = B / 2;
    const uint64_t C = ullChannels;
    for (uint64_t c = 0; c < C; ++c)
    {
        double* pdfChannel = pdfFrame.get() + c * B;
        for (uint64_t i = 0; i < hop; ++i)
        {
            pdfChannel[i] = pdfHopBuffer[i * C + c];
        }
    }
    uint64_t ullCount = C * hop;
    if (InputFIFO.Read(pdfHopBuffer.get(), ullCount) != 1 || ullCount != C * hop)
    {
        return 0;
    }
    const ForwardTransform pForward = bPlainRun != 0 ? pPlainForward : ForwardFFT;
    for (uint64_t c = 0; c < C; ++c)
    {
        double* pdfChannel = pdfFrame.get() + c * B;
        for (uint64_t i = 0; i < hop; ++i)
        {
            pdfChannel[hop + i] = pdfHopBuffer[i * C + c];
        }
        for (uint64_t i = 0; i < B; ++i)
        {
            pdfChannel[i] *= pdfAnalysisWindow[i];
        }
    }
    const bool bPairedForward = bPairedChannels != 0;
    if (bPairedForward)
    {
        // Channels that agree sample for sample (a mono file widened) must come out the same to the
        // bit; the paired transforms round the two differently, so such blocks are marked.
        bPreviousFrameSame = bFrameSame;
        bFrameSame = std::memcmp(pdfFrame.get(), pdfFrame.get() + B, B * sizeof(double)) == 0 ? 1 : 0;
        TransformChannelPair();
    }
    for (uint64_t c = 0; c < C; ++c)
    {
        double* pdfChannel = pdfFrame.get() + c * B;
        double* X = pSpectrum.get() + 2 * c * B;
        if (!bPairedForward)
        {
            pForward(pdfChannel, X, uiBlockOrder);
        }
        if (iShiftBins != 0)
        {
            double* pdfShifted = pShiftedBins.get() + 2 * c * 2 * hop;
            ShiftSpectrum(X, pdfShifted);
            // Moving the bins modulates each block by e^(2 pi i S n / B) from the block's own start.
            // Blocks start hop frames apart, so for an odd S that modulation changes sign from one
            // block to the next, and the overlap-add would cancel the shifted tone into sidebands
            // hop / 2 bins away. Every other block is negated to keep the modulation continuous.
            if (bNegateShifted != 0)
            {
                for (uint64_t i = 0; i < 2 * B; ++i)
                {
                    X[i] = -X[i];
                }
                for (uint64_t i = 0; i < 4 * hop; ++i)
                {
                    pdfShifted[i] = -pdfShifted[i];
                }
            }
        }
    }
    if (iShiftBins % 2 != 0)
    {
        bNegateShifted ^= 1;
    }
    return 1;
}

int32_t SamplingFrequencyConverter::Process()
{
    if (bReady == 0)
    {
        return 1;
    }
    const uint64_t C = ullChannels;
    const uint64_t hop = (uint64_t{1} << uiBlockOrder) / 2;
    const uint64_t N2 = uint64_t{1} << (uiBlockOrder + uiOversamplingOctaves);
    for (;;)
    {
        {
            CriticalSectionHolder Holder(InputFIFO.pLock);
            if (InputFIFO.GetCapacity() == 0 || InputFIFO.GetFill() < C * hop)
            {
                return 1;
            }
        }
        {
            CriticalSectionHolder Holder(OutputFIFO.pLock);
            const uint64_t ullCapacity = OutputFIFO.GetCapacity();
            if (ullCapacity == 0 || ullCapacity - OutputFIFO.GetFill() < C * N2)
            {
                return 1;
            }
        }
        if (ReadHopAndTransform() != 1)
        {
            return 1;
        }
        const uint64_t K = BandLimit();
        if (bPlainRun != 0)
        {
            RunPlainBlock(K);
        }
        else if (bPairedChannels != 0)
        {
            ComputePairedRows(K);
        }
        else
        {
            ComputePhaseRows(K);
        }

        uint64_t ullFrames = 0;
        if (bDiscardBlock != 0)
        {
            // The first block covers the zero hop before the signal; dropping it makes output
            // frame 0 correspond to input frame 0. Its last sample is still kept, with no frames.
            bDiscardBlock = 0;
        }
        else
        {
            ullConsumedFrames.fetch_add(hop, std::memory_order_relaxed);
            ullFrames = ComputePositions();
        }
        if (bPlainRun != 0)
        {
            for (uint64_t c = 0; c < C; ++c)
            {
                InterpolatePlain(c, ullFrames);
            }
        }
        else if (bPairedChannels != 0)
        {
            InterpolatePaired(ullFrames);
        }
        else
        {
            InterpolateFast(ullFrames);
        }
        uiCurrentFrame ^= 1;

        if (ullFrames > 0)
        {
            uint64_t ullCount = C * ullFrames;
            const int32_t iResult = OutputFIFO.Write(pdfOutputFrames.get(), ullCount);
            if (iResult < 0)
            {
                return iResult;
            }
            if (ullCount % C != 0)
            {
                return -99;
            }
            if (ullCount != C * ullFrames)
            {
                return -1;
            }
        }
    }
}

int32_t SamplingFrequencyConverter::WriteInput(const double* pdfFrames, uint64_t& ullFrames)
{
    return MoveFrames(bReady, ullChannels, ullFrames,
                      [&](uint64_t& ullCount) { return InputFIFO.Write(pdfFrames, ullCount); });
}

int32_t SamplingFrequencyConverter::ReadOutput(double* pdfFrames, uint64_t& ullFrames)
{
    return MoveFrames(bReady, ullChannels, ullFrames,
                      [&](uint64_t& ullCount) { return OutputFIFO.Read(pdfFrames, ullCount); });
}

int32_t SamplingFrequencyConverter::Convert(const double* pdfInput, uint64_t& ullInputFrames,
                                            double* pdfOutput, uint64_t& ullOutputFrames)
{
    const uint64_t ullWanted = ullOutputFrames;
    ullOutputFrames = 0;
    if (ullInputFrames > 0)
    {
        const int32_t iWrite = WriteInput(pdfInput, ullInputFrames);
        if (iWrite != 1)
        {
            return iWrite;
        }
    }
    const int32_t iProcess = Process();
    if (iProcess < 0)
    {
        return iProcess;
    }
    ullOutputFrames = ullWanted;
    return ReadOutput(pdfOutput, ullOutputFrames);
}

int32_t SamplingFrequencyConverter::CompleteLastBlock()
{
    if (bReady == 0)
    {
        return -1;
    }
    // rem = fill mod (C x B / 2) samples; the silence is C x B - rem samples.
    CriticalSectionHolder Holder(InputFIFO.pLock);
    const uint64_t ullBlock = ullChannels * GetBlockFrames();
    const uint64_t ullRemainder = InputFIFO.GetFill() % (ullBlock / 2);
    if (ullRemainder % ullChannels != 0)
    {
        return 1;
    }
    const uint64_t ullSilence = ullBlock - ullRemainder;
    uint64_t ullCount = ullSilence;
    if (InputFIFO.WriteValue(0.0, ullCount) != 1 || ullCount != ullSilence)
    {
        return -1;
    }
    return 1;
}
