#include "conversion/TimeStretcher.h"

#include "conversion/TransformKernels.h"
#include "runtime/CriticalSectionHolder.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace
{
constexpr uint64_t STEREO = 2;
constexpr uint32_t MIN_ORDER = 8;
constexpr uint32_t MAX_ORDER = 15;
constexpr double LOWEST_SPEED = 0.25;
constexpr double HIGHEST_SPEED = 4.0;
constexpr int64_t NO_ONSET = std::numeric_limits<int64_t>::min();
// A detector block is an onset when its energy of the first difference is this many times the mean
// of the blocks before it (10 dB), and above the floor per sample (-80 dB of full scale).
constexpr double ONSET_RATIO = 10.0;
constexpr double ONSET_FLOOR = 1e-8;
// Peaks below this fraction of the frame's strongest power (-100 dB) are no peaks.
constexpr double PEAK_FLOOR = 1e-10;
// The windows' sum may fall short of its full value only beside a cut; below this fraction of it
// the sum is taken as this much, so nothing is amplified.
constexpr double WEIGHT_FLOOR = 0.05;

TimeStretcher::DoubleArray MakeDoubles(uint64_t ullCount)
{
    return TimeStretcher::DoubleArray(static_cast<double*>(std::calloc(ullCount, sizeof(double))));
}

// The angle brought into (-pi, pi].
double PrincipalAngle(double dfAngle)
{
    return dfAngle - 2.0 * std::numbers::pi * std::round(dfAngle / (2.0 * std::numbers::pi));
}
} // namespace

TimeStretcher::TimeStretcher()
{
    Speed.pLock = &SpeedLock;
}

TimeStretcher::~TimeStretcher()
{
    Release();
}

int32_t TimeStretcher::Release()
{
    bReady = 0;
    pdfWindow.reset();
    pdfInput.reset();
    pdfFrame.reset();
    pdfSpectrum.reset();
    pdfLeft.reset();
    pdfRight.reset();
    pdfPrevLeft.reset();
    pdfPrevRight.reset();
    pdfRotation.reset();
    pdfPrevRotation.reset();
    pdfPower.reset();
    pllPeaks.reset();
    pdfAccumulator.reset();
    pdfWeight.reset();
    pdfOutput.reset();
    ullFrameLength = 0;
    ullHop = 0;
    ullBins = 0;
    ullInputCapacity = 0;
    ullOutputCapacity = 0;
    ullInputFill = 0;
    ullOutputStart = 0;
    ullOutputFill = 0;
    ullOnsetCount = 0;
    return 1;
}

int32_t TimeStretcher::Setup(double dfRateHz, double dfSpeed)
{
    Release();
    if (!(dfRateHz >= 1000.0 && dfRateHz <= 768000.0) ||
        !(dfSpeed >= LOWEST_SPEED && dfSpeed <= HIGHEST_SPEED))
    {
        return -4;
    }
    // About FRAME_SECONDS at any rate: long enough to part the partials of a chord, short enough
    // that onsets stay sharp and the lag stays below 0.1 s.
    const double dfOrder = std::round(std::log2(FRAME_SECONDS * dfRateHz));
    uiOrder = static_cast<uint32_t>(std::clamp(dfOrder, double{MIN_ORDER}, double{MAX_ORDER}));
    if (PrepareFFT(uiOrder) != 1)
    {
        return -2;
    }
    const uint64_t N = uint64_t{1} << uiOrder;
    ullFrameLength = N;
    ullHop = N / OVERLAP;
    ullBins = N / 2 + 1;
    ullTaper = std::max<uint64_t>(N / 64, 8);
    // The analysis frame, the longest analysis hop and a block of new input.
    ullInputCapacity = 3 * N;
    ullOutputCapacity = 2 * N;
    pdfWindow = MakeDoubles(N);
    pdfInput = MakeDoubles(STEREO * ullInputCapacity);
    pdfFrame = MakeDoubles(2 * N);
    pdfSpectrum = MakeDoubles(2 * N);
    pdfLeft = MakeDoubles(2 * ullBins);
    pdfRight = MakeDoubles(2 * ullBins);
    pdfPrevLeft = MakeDoubles(2 * ullBins);
    pdfPrevRight = MakeDoubles(2 * ullBins);
    pdfRotation = MakeDoubles(ullBins);
    pdfPrevRotation = MakeDoubles(ullBins);
    pdfPower = MakeDoubles(ullBins);
    pllPeaks = IndexArray(static_cast<int64_t*>(std::calloc(ullBins, sizeof(int64_t))));
    pdfAccumulator = MakeDoubles(STEREO * N);
    pdfWeight = MakeDoubles(N);
    pdfOutput = MakeDoubles(STEREO * ullOutputCapacity);
    if (!pdfWindow || !pdfInput || !pdfFrame || !pdfSpectrum || !pdfLeft || !pdfRight || !pdfPrevLeft ||
        !pdfPrevRight || !pdfRotation || !pdfPrevRotation || !pdfPower || !pllPeaks || !pdfAccumulator ||
        !pdfWeight || !pdfOutput)
    {
        Release();
        return -2;
    }
    // A periodic Hann window, used before and after the transform: its square sums to a constant
    // over hops of N / 8.
    for (uint64_t n = 0; n < N; ++n)
    {
        pdfWindow[n] =
            0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * static_cast<double>(n) / static_cast<double>(N));
    }
    dfWindowSum = 0.0;
    for (uint64_t j = 0; j < OVERLAP; ++j)
    {
        dfWindowSum += pdfWindow[j * ullHop] * pdfWindow[j * ullHop];
    }
    dfRate = dfRateHz;
    Speed.Initialize(dfSpeed);
    bReady = 1;
    ClearSignal(0);
    return 1;
}

uint64_t TimeStretcher::GetAllocatedBytes() const
{
    if (bReady == 0)
    {
        return 0;
    }
    const uint64_t N = ullFrameLength;
    const uint64_t ullDoubles = N + STEREO * ullInputCapacity + 4 * N + 4 * 2 * ullBins + 3 * ullBins +
                                STEREO * N + N + STEREO * ullOutputCapacity;
    return ullDoubles * sizeof(double) + ullBins * sizeof(int64_t);
}

int32_t TimeStretcher::SetSpeed(double dfSpeed, int32_t bImmediate)
{
    if (!(dfSpeed >= LOWEST_SPEED && dfSpeed <= HIGHEST_SPEED))
    {
        return -4;
    }
    if (Speed.IsInitialized() == 0)
    {
        return -1;
    }
    Speed.SetTarget(dfSpeed, bImmediate != 0 ? 1 : GLIDE_HOPS);
    return 1;
}

double TimeStretcher::GetSpeed()
{
    double dfValue = 0.0;
    Speed.GetCurrent(dfValue);
    return dfValue;
}

void TimeStretcher::ClearSignal(uint64_t ullStart)
{
    const uint64_t N = ullFrameLength;
    ullStartFrame = ullStart;
    std::memset(pdfAccumulator.get(), 0, STEREO * N * sizeof(double));
    std::memset(pdfWeight.get(), 0, N * sizeof(double));
    std::memset(pdfRotation.get(), 0, ullBins * sizeof(double));
    std::memset(pdfPrevRotation.get(), 0, ullBins * sizeof(double));
    ullOutputStart = 0;
    ullOutputFill = 0;
    Speed.GetCurrent(dfSpeedNow);
    // The first frame whose synthesis reaches output frame 0 is centred N / 2 - Hs before it; the
    // input before frame 0 is silence.
    const int64_t llFirst = -static_cast<int64_t>(OVERLAP / 2 - 1);
    llCentreOut = llFirst * static_cast<int64_t>(ullHop);
    dfCentreIn = static_cast<double>(llFirst) * static_cast<double>(ullHop) * dfSpeedNow;
    llCentreIn = std::llround(dfCentreIn);
    dfCentreIn = static_cast<double>(llCentreIn);
    llPreviousHop = 0;
    llInputBase = llCentreIn - static_cast<int64_t>(N / 2);
    ullInputFill = static_cast<uint64_t>(-llInputBase);
    std::memset(pdfInput.get(), 0, STEREO * ullInputFill * sizeof(double));
    llEmitted = llCentreOut - static_cast<int64_t>(N / 2);
    bFresh = 1;
    ullCleanRun = OVERLAP;
    bBypassed = 0;
    bFinished = 0;
    llInputEnd = 0;
    llOutputEnd = -1;
    ullOnsetNext = 0;
    bOnsetHeld = 0;
    llHeldOnset = 0;
    ullDetectFill = 0;
    dfDetectEnergy = 0.0;
    dfDetectPeak = 0.0;
    llDetectPeakAt = 0;
    dfLastMono = 0.0;
    std::fill(std::begin(dfHistory), std::end(dfHistory), 0.0);
    ullHistoryNext = 0;
    llQuietUntil = 0;
    llDetected = 0;
    std::fill(std::begin(llOnsets), std::end(llOnsets), NO_ONSET);
    ullAnchorCount = 0;
    ullConsumedFrames.store(ullStart, std::memory_order_relaxed);
}

int32_t TimeStretcher::Restart(uint64_t ullStart)
{
    if (bReady == 0)
    {
        return -1;
    }
    ClearSignal(ullStart);
    return 1;
}

void TimeStretcher::CompactInput()
{
    const int64_t llNeeded = llCentreIn - static_cast<int64_t>(ullFrameLength / 2);
    if (llNeeded <= llInputBase)
    {
        return;
    }
    const uint64_t ullDrop = std::min(static_cast<uint64_t>(llNeeded - llInputBase), ullInputFill);
    if (ullDrop == 0)
    {
        return;
    }
    std::memmove(pdfInput.get(), pdfInput.get() + STEREO * ullDrop,
                 STEREO * (ullInputFill - ullDrop) * sizeof(double));
    ullInputFill -= ullDrop;
    llInputBase += static_cast<int64_t>(ullDrop);
}

int32_t TimeStretcher::Write(const double* pdfFrames, uint64_t& ullFrames)
{
    const uint64_t ullOffered = ullFrames;
    ullFrames = 0;
    if (bReady == 0 || bFinished != 0 || (pdfFrames == nullptr && ullOffered != 0))
    {
        return -1;
    }
    CompactInput();
    const uint64_t ullTaken = std::min(ullOffered, ullInputCapacity - ullInputFill);
    if (ullTaken == 0)
    {
        return 1;
    }
    std::memcpy(pdfInput.get() + STEREO * ullInputFill, pdfFrames, STEREO * ullTaken * sizeof(double));
    DetectOnsets(ullInputFill, ullTaken);
    ullInputFill += ullTaken;
    ullFrames = ullTaken;
    return 1;
}

void TimeStretcher::DetectOnsets(uint64_t ullFirst, uint64_t ullFrames)
{
    // Blocks of N / 64 frames: the energy of the first difference of the mid signal, which rises at
    // an attack far more than a steady sound's does, against the mean of the blocks before.
    const uint64_t ullBlock = ullTaper;
    for (uint64_t f = 0; f < ullFrames; ++f)
    {
        const double* pdf = pdfInput.get() + STEREO * (ullFirst + f);
        const double dfMono = 0.5 * (pdf[0] + pdf[1]);
        const double dfDifference = dfMono - dfLastMono;
        dfLastMono = dfMono;
        dfDetectEnergy += dfDifference * dfDifference;
        if (std::fabs(dfDifference) > dfDetectPeak)
        {
            dfDetectPeak = std::fabs(dfDifference);
            llDetectPeakAt = llDetected;
        }
        ++llDetected;
        if (++ullDetectFill < ullBlock)
        {
            continue;
        }
        double dfMean = 0.0;
        for (const double dfEnergy : dfHistory)
        {
            dfMean += dfEnergy;
        }
        dfMean /= static_cast<double>(HISTORY_BLOCKS);
        if (dfDetectEnergy > ONSET_RATIO * dfMean &&
            dfDetectEnergy > ONSET_FLOOR * static_cast<double>(ullBlock) && llDetectPeakAt >= llQuietUntil)
        {
            AddOnset(llDetectPeakAt);
            llQuietUntil = llDetectPeakAt + static_cast<int64_t>(ullFrameLength / 8);
        }
        dfHistory[ullHistoryNext] = dfDetectEnergy;
        ullHistoryNext = (ullHistoryNext + 1) % HISTORY_BLOCKS;
        ullDetectFill = 0;
        dfDetectEnergy = 0.0;
        dfDetectPeak = 0.0;
    }
}

void TimeStretcher::AddOnset(int64_t llPosition)
{
    llOnsets[ullOnsetNext] = llPosition;
    ullOnsetNext = (ullOnsetNext + 1) % ONSET_SLOTS;
    ++ullOnsetCount;
}

int64_t TimeStretcher::FindOnset(int64_t llFrom, int64_t llTo) const
{
    int64_t llFound = NO_ONSET;
    for (const int64_t llOnset : llOnsets)
    {
        if (llOnset != NO_ONSET && llOnset >= llFrom && llOnset < llTo &&
            (llFound == NO_ONSET || llOnset < llFound))
        {
            llFound = llOnset;
        }
    }
    return llFound;
}

int32_t TimeStretcher::Finish()
{
    if (bReady == 0)
    {
        return -1;
    }
    if (bFinished == 0)
    {
        bFinished = 1;
        llInputEnd = std::max<int64_t>(llInputBase + static_cast<int64_t>(ullInputFill), 0);
    }
    return 1;
}

int32_t TimeStretcher::IsDrained() const
{
    return bFinished != 0 && llOutputEnd >= 0 && llEmitted >= llOutputEnd && ullOutputFill == 0 ? 1 : 0;
}

double TimeStretcher::Sample(int64_t llFrame, uint64_t c) const
{
    const int64_t llIndex = llFrame - llInputBase;
    if (llIndex < 0 || static_cast<uint64_t>(llIndex) >= ullInputFill)
    {
        return 0.0;
    }
    return pdfInput[STEREO * static_cast<uint64_t>(llIndex) + c];
}

int32_t TimeStretcher::Process()
{
    if (bReady == 0)
    {
        return -1;
    }
    const int64_t llHalf = static_cast<int64_t>(ullFrameLength / 2);
    for (;;)
    {
        if (llOutputEnd >= 0 && llEmitted >= llOutputEnd)
        {
            return 1;
        }
        if (bFinished == 0 && llCentreIn + llHalf > llInputBase + static_cast<int64_t>(ullInputFill))
        {
            return 1;
        }
        if (ullOutputStart != 0)
        {
            std::memmove(pdfOutput.get(), pdfOutput.get() + STEREO * ullOutputStart,
                         STEREO * ullOutputFill * sizeof(double));
            ullOutputStart = 0;
        }
        if (ullOutputCapacity - ullOutputFill < ullHop)
        {
            return 1;
        }
        CompactInput();
        MakeFrame();
    }
}

int32_t TimeStretcher::MakeFrame()
{
    const int64_t N = static_cast<int64_t>(ullFrameLength);
    const int64_t Hs = static_cast<int64_t>(ullHop);
    double dfSpeed = dfSpeedNow;
    int32_t bSteady = 0;
    {
        CriticalSectionHolder Holder(&SpeedLock);
        Speed.Next(dfSpeed);
        double dfTarget = 0.0;
        bSteady = Speed.GetRampTarget(dfTarget) == 0 && Speed.GetPendingTarget(dfTarget) == 0 ? 1 : 0;
    }
    dfSpeedNow = dfSpeed;
    const bool bUnity = bSteady != 0 && dfSpeed == 1.0;
    const double dfNextIn = dfCentreIn + static_cast<double>(Hs) * dfSpeed;
    const int64_t llNextIn = std::llround(dfNextIn);
    const int64_t Ha = std::max<int64_t>(llNextIn - llCentreIn, 1);
    if (llPreviousHop == 0)
    {
        llPreviousHop = Ha;
    }
    if (bFinished != 0 && llOutputEnd < 0 && llInputEnd < llCentreIn + Ha)
    {
        const double dfEnd = static_cast<double>(llCentreOut) + static_cast<double>(llInputEnd - llCentreIn) *
                                                                    static_cast<double>(Hs) /
                                                                    static_cast<double>(Ha);
        llOutputEnd = std::max<int64_t>(std::llround(dfEnd), 0);
    }

    // The hop around the centre is this frame's: an onset there is placed by it. A later onset in
    // the frame is cut off, so that it does not sound early.
    const int64_t llOnset = FindOnset(llCentreIn - llPreviousHop / 2, llCentreIn + (Ha + 1) / 2);
    const int64_t llCut = FindOnset(llCentreIn + (Ha + 1) / 2, llCentreIn + N / 2);
    if (bOnsetHeld != 0 && llHeldOnset < llCentreIn - N / 2 + static_cast<int64_t>(ullTaper))
    {
        bOnsetHeld = 0;
    }
    AnalyseFrame(llCut);

    bool bClean = false;
    if (bFresh != 0 || bUnity)
    {
        std::memset(pdfRotation.get(), 0, ullBins * sizeof(double));
        bClean = bUnity;
    }
    else if (llOnset != NO_ONSET)
    {
        // Afresh from the analysis phases, moved so that the onset lands where the time map puts
        // it: d frames from the centre in the input are d / speed in the output.
        const double dfFrom = static_cast<double>(llOnset - llCentreIn);
        const double dfShift = dfFrom * (static_cast<double>(Hs) / static_cast<double>(Ha) - 1.0);
        for (uint64_t k = 0; k < ullBins; ++k)
        {
            pdfRotation[k] = PrincipalAngle(-2.0 * std::numbers::pi * static_cast<double>(k) * dfShift /
                                            static_cast<double>(N));
        }
        bOnsetHeld = 1;
        llHeldOnset = llOnset;
    }
    // Partials advance by what they moved over the hop from the previous frame.
    else if (bOnsetHeld != 0)
    {
        AdvanceEveryBin(llPreviousHop);
    }
    else
    {
        LockToPeaks(llPreviousHop);
    }
    Synthesise(llCut);

    ullCleanRun = bClean ? ullCleanRun + 1 : 0;
    EmitHop(ullCleanRun >= OVERLAP && bUnity);

    llAnchorOut[ullAnchorCount % ANCHOR_SLOTS] = llCentreOut;
    llAnchorIn[ullAnchorCount % ANCHOR_SLOTS] = llCentreIn;
    ++ullAnchorCount;
    std::swap(pdfLeft, pdfPrevLeft);
    std::swap(pdfRight, pdfPrevRight);
    std::swap(pdfRotation, pdfPrevRotation);
    llPreviousHop = Ha;
    dfCentreIn = dfNextIn;
    llCentreIn = llNextIn;
    llCentreOut += Hs;
    bFresh = 0;
    return 1;
}

namespace
{
// The cut before an onset at index iCut of the frame: 1, a raised-cosine fall over ullTaper frames
// ending at the onset, then 0.
double CutGain(int64_t n, int64_t llCutIndex, uint64_t ullTaper)
{
    if (n >= llCutIndex)
    {
        return 0.0;
    }
    const int64_t llBefore = llCutIndex - n;
    if (llBefore >= static_cast<int64_t>(ullTaper))
    {
        return 1.0;
    }
    return 0.5 -
           0.5 * std::cos(std::numbers::pi * static_cast<double>(llBefore) / static_cast<double>(ullTaper));
}
} // namespace

void TimeStretcher::AnalyseFrame(int64_t llCutAt)
{
    const int64_t N = static_cast<int64_t>(ullFrameLength);
    const int64_t llStart = llCentreIn - N / 2;
    const int64_t llCutIndex = llCutAt != NO_ONSET ? llCutAt - llStart : N;
    double* pdf = pdfFrame.get();
    for (int64_t n = 0; n < N; ++n)
    {
        const double dfGain = pdfWindow[static_cast<uint64_t>(n)] * CutGain(n, llCutIndex, ullTaper);
        pdf[2 * n] = dfGain * Sample(llStart + n, 0);
        pdf[2 * n + 1] = dfGain * Sample(llStart + n, 1);
    }
    FFTComplex(pdfFrame.get(), pdfSpectrum.get(), uiOrder);
    // Both channels were one complex signal: their spectra are the conjugate-symmetric and
    // -antisymmetric parts.
    const double* Z = pdfSpectrum.get();
    for (uint64_t k = 0; k < ullBins; ++k)
    {
        const uint64_t m = (ullFrameLength - k) % ullFrameLength;
        const double ar = Z[2 * k];
        const double ai = Z[2 * k + 1];
        const double br = Z[2 * m];
        const double bi = Z[2 * m + 1];
        pdfLeft[2 * k] = 0.5 * (ar + br);
        pdfLeft[2 * k + 1] = 0.5 * (ai - bi);
        pdfRight[2 * k] = 0.5 * (ai + bi);
        pdfRight[2 * k + 1] = 0.5 * (br - ar);
    }
}

namespace
{
// The shared reference of both channels in bin k, now and in the previous frame: their sum, or
// their difference where that is the stronger (so that opposite channels still have a phase).
struct Reference
{
    double dfRe;
    double dfIm;
    double dfPrevRe;
    double dfPrevIm;
};

Reference ReferenceOf(const double* L, const double* R, const double* PL, const double* PR, uint64_t k)
{
    const double sr = L[2 * k] + R[2 * k];
    const double si = L[2 * k + 1] + R[2 * k + 1];
    const double dr = L[2 * k] - R[2 * k];
    const double di = L[2 * k + 1] - R[2 * k + 1];
    if (sr * sr + si * si >= dr * dr + di * di)
    {
        return Reference{sr, si, PL[2 * k] + PR[2 * k], PL[2 * k + 1] + PR[2 * k + 1]};
    }
    return Reference{dr, di, PL[2 * k] - PR[2 * k], PL[2 * k + 1] - PR[2 * k + 1]};
}
} // namespace

double TimeStretcher::AdvancedRotation(uint64_t k, int64_t Ha) const
{
    const Reference Ref =
        ReferenceOf(pdfLeft.get(), pdfRight.get(), pdfPrevLeft.get(), pdfPrevRight.get(), k);
    // The phase the bin moved by since the previous frame, and from it the partial's own frequency.
    const double dfMoved = std::atan2(Ref.dfIm * Ref.dfPrevRe - Ref.dfRe * Ref.dfPrevIm,
                                      Ref.dfRe * Ref.dfPrevRe + Ref.dfIm * Ref.dfPrevIm);
    const double dfOmega =
        2.0 * std::numbers::pi * static_cast<double>(k) / static_cast<double>(ullFrameLength);
    const double dfHa = static_cast<double>(Ha);
    const double dfHs = static_cast<double>(ullHop);
    const double dfDeviation = PrincipalAngle(dfMoved - dfOmega * dfHa);
    return PrincipalAngle(pdfPrevRotation[k] - dfMoved + dfOmega * dfHs + dfDeviation * dfHs / dfHa);
}

void TimeStretcher::AdvanceEveryBin(int64_t Ha)
{
    for (uint64_t k = 0; k < ullBins; ++k)
    {
        pdfRotation[k] = AdvancedRotation(k, Ha);
    }
}

void TimeStretcher::LockToPeaks(int64_t Ha)
{
    const double* L = pdfLeft.get();
    const double* R = pdfRight.get();
    double dfStrongest = 0.0;
    for (uint64_t k = 0; k < ullBins; ++k)
    {
        const Reference Ref = ReferenceOf(L, R, pdfPrevLeft.get(), pdfPrevRight.get(), k);
        pdfPower[k] = Ref.dfRe * Ref.dfRe + Ref.dfIm * Ref.dfIm;
        dfStrongest = std::max(dfStrongest, pdfPower[k]);
    }
    const double dfFloor = std::max(dfStrongest * PEAK_FLOOR, 1e-300);
    uint64_t ullPeaks = 0;
    const double* P = pdfPower.get();
    for (uint64_t k = 0; k < ullBins; ++k)
    {
        const bool bPeak = P[k] > dfFloor && (k < 1 || P[k] > P[k - 1]) && (k < 2 || P[k] > P[k - 2]) &&
                           (k + 1 >= ullBins || P[k] >= P[k + 1]) && (k + 2 >= ullBins || P[k] >= P[k + 2]);
        if (bPeak)
        {
            pllPeaks[ullPeaks++] = static_cast<int64_t>(k);
        }
    }
    if (ullPeaks == 0)
    {
        std::memcpy(pdfRotation.get(), pdfPrevRotation.get(), ullBins * sizeof(double));
        return;
    }
    // Each bin takes the rotation of its peak; a peak's region ends at the weakest bin before the
    // next peak.
    uint64_t ullBin = 0;
    for (uint64_t i = 0; i < ullPeaks; ++i)
    {
        const uint64_t p = static_cast<uint64_t>(pllPeaks[i]);
        const double dfRotation = AdvancedRotation(p, Ha);
        uint64_t ullEnd = ullBins;
        if (i + 1 < ullPeaks)
        {
            const uint64_t q = static_cast<uint64_t>(pllPeaks[i + 1]);
            ullEnd = p + 1;
            for (uint64_t k = p + 1; k < q; ++k)
            {
                if (P[k] < P[ullEnd])
                {
                    ullEnd = k;
                }
            }
        }
        for (; ullBin < ullEnd; ++ullBin)
        {
            pdfRotation[ullBin] = dfRotation;
        }
    }
}

void TimeStretcher::Synthesise(int64_t llCutAt)
{
    const uint64_t N = ullFrameLength;
    double* V = pdfSpectrum.get();
    double dfLast = 0.0;
    double dfCos = 1.0;
    double dfSin = 0.0;
    for (uint64_t k = 0; k < ullBins; ++k)
    {
        const double dfRotation = pdfRotation[k];
        if (dfRotation != dfLast)
        {
            dfCos = std::cos(dfRotation);
            dfSin = std::sin(dfRotation);
            dfLast = dfRotation;
        }
        const double lr = pdfLeft[2 * k] * dfCos - pdfLeft[2 * k + 1] * dfSin;
        const double li = pdfLeft[2 * k] * dfSin + pdfLeft[2 * k + 1] * dfCos;
        const double rr = pdfRight[2 * k] * dfCos - pdfRight[2 * k + 1] * dfSin;
        const double ri = pdfRight[2 * k] * dfSin + pdfRight[2 * k + 1] * dfCos;
        if (k == 0 || k == N / 2)
        {
            // Bins of their own mirror stay real.
            V[2 * k] = lr;
            V[2 * k + 1] = rr;
            continue;
        }
        V[2 * k] = lr - ri;
        V[2 * k + 1] = li + rr;
        V[2 * (N - k)] = lr + ri;
        V[2 * (N - k) + 1] = rr - li;
    }
    InverseFFT(V, pdfFrame.get(), uiOrder);

    const int64_t llStart = llCentreIn - static_cast<int64_t>(N / 2);
    const int64_t llCutIndex = llCutAt != NO_ONSET ? llCutAt - llStart : static_cast<int64_t>(N);
    const double dfScale = 1.0 / static_cast<double>(N);
    const double* pdf = pdfFrame.get();
    double* pdfSum = pdfAccumulator.get();
    for (uint64_t n = 0; n < N; ++n)
    {
        const double dfGain = pdfWindow[n] * CutGain(static_cast<int64_t>(n), llCutIndex, ullTaper);
        // The transform gave the conjugate: left in the real parts, right negated in the imaginary.
        pdfSum[2 * n] += dfGain * dfScale * pdf[2 * n];
        pdfSum[2 * n + 1] -= dfGain * dfScale * pdf[2 * n + 1];
        pdfWeight[n] += dfGain * dfGain;
    }
}

void TimeStretcher::EmitHop(bool bCopy)
{
    const uint64_t N = ullFrameLength;
    const int64_t llInputStart = llCentreIn - static_cast<int64_t>(N / 2);
    bBypassed = bCopy ? 1 : 0;
    double* pdfTo = pdfOutput.get() + STEREO * (ullOutputStart + ullOutputFill);
    uint64_t ullGiven = 0;
    for (uint64_t j = 0; j < ullHop; ++j)
    {
        const int64_t o = llEmitted + static_cast<int64_t>(j);
        if (o < 0 || (llOutputEnd >= 0 && o >= llOutputEnd))
        {
            continue;
        }
        if (bCopy)
        {
            pdfTo[STEREO * ullGiven] = Sample(llInputStart + static_cast<int64_t>(j), 0);
            pdfTo[STEREO * ullGiven + 1] = Sample(llInputStart + static_cast<int64_t>(j), 1);
        }
        else
        {
            const double dfWeight = std::max(pdfWeight[j], WEIGHT_FLOOR * dfWindowSum);
            pdfTo[STEREO * ullGiven] = pdfAccumulator[STEREO * j] / dfWeight;
            pdfTo[STEREO * ullGiven + 1] = pdfAccumulator[STEREO * j + 1] / dfWeight;
        }
        ++ullGiven;
    }
    ullOutputFill += ullGiven;
    llEmitted += static_cast<int64_t>(ullHop);
    std::memmove(pdfAccumulator.get(), pdfAccumulator.get() + STEREO * ullHop,
                 STEREO * (N - ullHop) * sizeof(double));
    std::memset(pdfAccumulator.get() + STEREO * (N - ullHop), 0, STEREO * ullHop * sizeof(double));
    std::memmove(pdfWeight.get(), pdfWeight.get() + ullHop, (N - ullHop) * sizeof(double));
    std::memset(pdfWeight.get() + (N - ullHop), 0, ullHop * sizeof(double));
}

const double* TimeStretcher::PeekOutput(uint64_t& ullFrames) const
{
    ullFrames = bReady != 0 ? ullOutputFill : 0;
    return bReady != 0 ? pdfOutput.get() + STEREO * ullOutputStart : nullptr;
}

void TimeStretcher::ConsumeOutput(uint64_t ullFrames)
{
    const uint64_t ullTaken = std::min(ullFrames, ullOutputFill);
    ullOutputStart += ullTaken;
    ullOutputFill -= ullTaken;
    if (ullOutputFill == 0)
    {
        ullOutputStart = 0;
    }
}

int32_t TimeStretcher::Convert(const double* pdfIn, uint64_t& ullInputFrames, double* pdfOut,
                               uint64_t& ullOutputFrames)
{
    const uint64_t ullAsked = ullOutputFrames;
    ullOutputFrames = 0;
    if (bReady == 0)
    {
        ullInputFrames = 0;
        return -1;
    }
    if (ullInputFrames != 0 && Write(pdfIn, ullInputFrames) < 0)
    {
        return -1;
    }
    Process();
    uint64_t ullWaiting = 0;
    const double* pdfWaiting = PeekOutput(ullWaiting);
    const uint64_t ullTaken = pdfOut != nullptr ? std::min(ullAsked, ullWaiting) : 0;
    if (ullTaken != 0)
    {
        std::memcpy(pdfOut, pdfWaiting, STEREO * ullTaken * sizeof(double));
    }
    ConsumeOutput(ullTaken);
    ullOutputFrames = ullTaken;
    return 1;
}

double TimeStretcher::InputPositionOf(double dfOutputFrame) const
{
    const double dfStart = static_cast<double>(ullStartFrame);
    if (bReady == 0 || ullAnchorCount == 0)
    {
        return dfStart + dfOutputFrame * dfSpeedNow;
    }
    // The newest anchor at or before the frame, and the one after it, along the ring.
    const uint64_t ullKept = std::min<uint64_t>(ullAnchorCount, ANCHOR_SLOTS);
    uint64_t ullIndex = ullAnchorCount - 1;
    for (uint64_t i = 0; i < ullKept; ++i)
    {
        ullIndex = ullAnchorCount - 1 - i;
        if (static_cast<double>(llAnchorOut[ullIndex % ANCHOR_SLOTS]) <= dfOutputFrame)
        {
            break;
        }
    }
    const double dfOut = static_cast<double>(llAnchorOut[ullIndex % ANCHOR_SLOTS]);
    const double dfIn = static_cast<double>(llAnchorIn[ullIndex % ANCHOR_SLOTS]);
    double dfSlope = dfSpeedNow;
    if (ullIndex + 1 < ullAnchorCount)
    {
        const uint64_t ullNext = (ullIndex + 1) % ANCHOR_SLOTS;
        dfSlope = static_cast<double>(llAnchorIn[ullNext] - llAnchorIn[ullIndex % ANCHOR_SLOTS]) /
                  static_cast<double>(llAnchorOut[ullNext] - llAnchorOut[ullIndex % ANCHOR_SLOTS]);
    }
    double dfPosition = dfIn + (dfOutputFrame - dfOut) * dfSlope;
    if (bFinished != 0)
    {
        dfPosition = std::min(dfPosition, static_cast<double>(llInputEnd));
    }
    return dfStart + std::max(dfPosition, 0.0);
}

void TimeStretcher::MarkConsumed(uint64_t ullOutputFrames)
{
    const double dfPosition = InputPositionOf(static_cast<double>(ullOutputFrames));
    ullConsumedFrames.store(static_cast<uint64_t>(std::llround(dfPosition)), std::memory_order_relaxed);
}
