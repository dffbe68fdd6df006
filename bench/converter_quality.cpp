// Quality of the sampling frequency converter against two established resamplers (when their
// development packages are installed): THD+N of full-scale sines, the residue of a sine above the
// new half-rate, and the measured output frequency against the set speed. 44.1 kHz input played on
// a 48 kHz device at x1 and x2.52. Then a table of glides: slider moves while a tone plays, held
// against an ideal rendering of the same rate trajectory. Prints the tables; not part of the test
// run. "converter_quality glides" prints the glide table only. Last the keep-pitch table: the
// time-stretcher in front of the converter at x1, as the player plays in that mode;
// "converter_quality keeppitch" prints it alone.
#include "conversion/ParameterSmoother.h"
#include "conversion/SamplingFrequencyConverter.h"
#include "conversion/TimeStretcher.h"
#include "conversion/TransformKernels.h"

#ifdef LARKSPUR_HAVE_SOXR
#include <soxr.h>
#endif
#ifdef LARKSPUR_HAVE_SAMPLERATE
#include <samplerate.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <numbers>
#include <string>
#include <vector>

namespace
{
constexpr double INPUT_RATE = 44100.0;
constexpr double DEVICE_RATE = 48000.0;
constexpr double SECONDS = 8.0;
// The ends of every output (the onset of the tone, the silence after it) are left out.
constexpr double MARGIN_SECONDS = 0.5;

// Converts a mono signal at INPUT_RATE into one at the effective rate DEVICE_RATE / speed.
using Resampler = std::function<std::vector<double>(const std::vector<double>&, double dfSpeed)>;

std::vector<double> ConvertOurs(const std::vector<double>& Input, double dfSpeed)
{
    SamplingFrequencyConverter Converter(10.0);
    std::vector<double> Output;
    if (Converter.Setup(2, INPUT_RATE, DEVICE_RATE, 8, 0, 0.0) != 1 ||
        Converter.SetOutputRate(DEVICE_RATE / dfSpeed, 1) != 1)
    {
        return Output;
    }
    // Both channels carry the signal; the left one is kept. Two hops of silence drain the end.
    std::vector<double> Stereo(2 * (Input.size() + 256), 0.0);
    for (size_t n = 0; n < Input.size(); ++n)
    {
        Stereo[2 * n] = Input[n];
        Stereo[2 * n + 1] = Input[n];
    }
    std::vector<double> Buffer(Converter.OutputFIFO.GetCapacity());
    size_t ullPosition = 0;
    for (;;)
    {
        uint64_t ullTaken = (Stereo.size() - ullPosition) / 2;
        uint64_t ullRead = Buffer.size() / 2;
        Converter.Convert(Stereo.data() + ullPosition, ullTaken, Buffer.data(), ullRead);
        ullPosition += 2 * ullTaken;
        for (uint64_t i = 0; i < ullRead; ++i)
        {
            Output.push_back(Buffer[2 * i]);
        }
        if (ullPosition == Stereo.size() && ullRead == 0)
        {
            // As long as the signal lasted, like the other resamplers' output.
            const double dfRatio = DEVICE_RATE / dfSpeed / INPUT_RATE;
            Output.resize(
                std::min(Output.size(), static_cast<size_t>(static_cast<double>(Input.size()) * dfRatio)));
            return Output;
        }
    }
}

#ifdef LARKSPUR_HAVE_SOXR
std::vector<double> ConvertSoxr(const std::vector<double>& Input, double dfSpeed)
{
    const double dfRatio = DEVICE_RATE / dfSpeed / INPUT_RATE;
    std::vector<double> Output(static_cast<size_t>(static_cast<double>(Input.size()) * dfRatio) + 16);
    const soxr_io_spec_t Io = soxr_io_spec(SOXR_FLOAT64_I, SOXR_FLOAT64_I);
    const soxr_quality_spec_t Quality = soxr_quality_spec(SOXR_VHQ, 0);
    size_t ullDone = 0;
    soxr_oneshot(INPUT_RATE, DEVICE_RATE / dfSpeed, 1, Input.data(), Input.size(), nullptr, Output.data(),
                 Output.size(), &ullDone, &Io, &Quality, nullptr);
    Output.resize(ullDone);
    return Output;
}
#endif

#ifdef LARKSPUR_HAVE_SAMPLERATE
std::vector<double> ConvertSamplerate(const std::vector<double>& Input, double dfSpeed)
{
    const double dfRatio = DEVICE_RATE / dfSpeed / INPUT_RATE;
    const std::vector<float> In(Input.begin(), Input.end());
    std::vector<float> Out(static_cast<size_t>(static_cast<double>(In.size()) * dfRatio) + 16);
    SRC_DATA Data{};
    Data.data_in = In.data();
    Data.input_frames = static_cast<long>(In.size());
    Data.data_out = Out.data();
    Data.output_frames = static_cast<long>(Out.size());
    Data.src_ratio = dfRatio;
    if (src_simple(&Data, SRC_SINC_BEST_QUALITY, 1) != 0)
    {
        return {};
    }
    return std::vector<double>(Out.begin(), Out.begin() + Data.output_frames_gen);
}
#endif

std::vector<double> Sine(double dfHz)
{
    std::vector<double> Signal(static_cast<size_t>(SECONDS * INPUT_RATE));
    for (size_t n = 0; n < Signal.size(); ++n)
    {
        Signal[n] = std::sin(2.0 * std::numbers::pi * dfHz * static_cast<double>(n) / INPUT_RATE);
    }
    return Signal;
}

// The middle of an output, played at the device rate.
std::vector<double> Middle(const std::vector<double>& Output)
{
    const size_t ullMargin = static_cast<size_t>(MARGIN_SECONDS * DEVICE_RATE);
    if (Output.size() < 2 * ullMargin + 1000)
    {
        return {};
    }
    return std::vector<double>(Output.begin() + static_cast<std::ptrdiff_t>(ullMargin),
                               Output.end() - static_cast<std::ptrdiff_t>(ullMargin));
}

// Solves the n x n system A x = b in place (Gaussian elimination with partial pivoting).
bool Solve(std::vector<long double>& A, std::vector<long double>& b, size_t n)
{
    for (size_t k = 0; k < n; ++k)
    {
        size_t ullPivot = k;
        for (size_t i = k + 1; i < n; ++i)
        {
            if (std::fabs(A[i * n + k]) > std::fabs(A[ullPivot * n + k]))
            {
                ullPivot = i;
            }
        }
        if (A[ullPivot * n + k] == 0.0L)
        {
            return false;
        }
        for (size_t j = 0; j < n; ++j)
        {
            std::swap(A[k * n + j], A[ullPivot * n + j]);
        }
        std::swap(b[k], b[ullPivot]);
        for (size_t i = k + 1; i < n; ++i)
        {
            const long double dfFactor = A[i * n + k] / A[k * n + k];
            for (size_t j = k; j < n; ++j)
            {
                A[i * n + j] -= dfFactor * A[k * n + j];
            }
            b[i] -= dfFactor * b[k];
        }
    }
    for (size_t k = n; k-- > 0;)
    {
        for (size_t j = k + 1; j < n; ++j)
        {
            b[k] -= A[k * n + j] * b[j];
        }
        b[k] /= A[k * n + k];
    }
    return true;
}

struct SineFit
{
    double dfHz = 0.0;
    double dfSignalRms = 0.0;
    double dfResidualRms = 0.0;
};

// Four-parameter least-squares sine fit (a cos + b sin + c, frequency refined by Gauss-Newton).
SineFit FitSine(const std::vector<double>& y, double dfGuessHz)
{
    SineFit Fit;
    double w = 2.0 * std::numbers::pi * dfGuessHz / DEVICE_RATE;
    long double a = 0.0L;
    long double b = 0.0L;
    long double c = 0.0L;
    for (int iRound = 0; iRound < 12; ++iRound)
    {
        // Columns: cos, sin, 1, and the derivative with respect to w (after the first round).
        const size_t n = iRound == 0 ? 3 : 4;
        std::vector<long double> A(n * n, 0.0L);
        std::vector<long double> r(n, 0.0L);
        for (size_t k = 0; k < y.size(); ++k)
        {
            const long double t = static_cast<long double>(k);
            const long double dfCos = std::cos(static_cast<long double>(w) * t);
            const long double dfSin = std::sin(static_cast<long double>(w) * t);
            const long double Row[4] = {dfCos, dfSin, 1.0L, t * (-a * dfSin + b * dfCos)};
            for (size_t i = 0; i < n; ++i)
            {
                r[i] += Row[i] * y[k];
                for (size_t j = 0; j < n; ++j)
                {
                    A[i * n + j] += Row[i] * Row[j];
                }
            }
        }
        if (!Solve(A, r, n))
        {
            return Fit;
        }
        a = r[0];
        b = r[1];
        c = r[2];
        if (n == 4)
        {
            // With the model a cos(wt) + b sin(wt) + c + dw t(-a sin + b cos) linearised around the
            // current w, r[3] is the step dw.
            w += static_cast<double>(r[3]);
        }
    }
    long double dfResidual = 0.0L;
    for (size_t k = 0; k < y.size(); ++k)
    {
        const long double t = static_cast<long double>(k);
        const long double dfModel =
            a * std::cos(static_cast<long double>(w) * t) + b * std::sin(static_cast<long double>(w) * t) + c;
        dfResidual += (y[k] - dfModel) * (y[k] - dfModel);
    }
    Fit.dfHz = w * DEVICE_RATE / (2.0 * std::numbers::pi);
    Fit.dfSignalRms = static_cast<double>(std::sqrt((a * a + b * b) / 2.0L));
    Fit.dfResidualRms = static_cast<double>(std::sqrt(dfResidual / static_cast<long double>(y.size())));
    return Fit;
}

double Decibels(double dfRatio)
{
    return 20.0 * std::log10(dfRatio);
}

struct Measure
{
    std::string Name;
    std::string Target;
    std::function<double(const Resampler&)> Evaluate;
    std::function<bool(double)> Meets;
    const char* pFormat;
};

double ThdPlusNoise(const Resampler& Convert, double dfHz, double dfSpeed)
{
    const std::vector<double> Played = Middle(Convert(Sine(dfHz), dfSpeed));
    if (Played.empty())
    {
        return std::nan("");
    }
    const SineFit Fit = FitSine(Played, dfHz * dfSpeed);
    return Decibels(Fit.dfResidualRms / Fit.dfSignalRms);
}

// RMS level against a full-scale sine (0 dBFS = RMS of 1 / sqrt 2).
double ResidueDbfs(const Resampler& Convert, double dfHz, double dfSpeed)
{
    const std::vector<double> Played = Middle(Convert(Sine(dfHz), dfSpeed));
    if (Played.empty())
    {
        return std::nan("");
    }
    double dfSum = 0.0;
    for (double dfValue : Played)
    {
        dfSum += dfValue * dfValue;
    }
    return Decibels(std::sqrt(dfSum / static_cast<double>(Played.size())) * std::sqrt(2.0));
}

double FrequencyError(const Resampler& Convert, double dfHz, double dfSpeed)
{
    const std::vector<double> Played = Middle(Convert(Sine(dfHz), dfSpeed));
    if (Played.empty())
    {
        return std::nan("");
    }
    return FitSine(Played, dfHz * dfSpeed).dfHz / (dfHz * dfSpeed) - 1.0;
}

// Glides. A quadrature pair (sine left, cosine right) of one frequency plays while the speed slider
// moves as a user moves it: every move is a ramped SetOutputRate to device rate / speed, made
// between two hops of input at the output time the move is due. The ideal rendering of the same
// rate trajectory is the pair evaluated at the integrated input time: a model smoother, given the
// same targets at the same points, is stepped as the converter steps its own (once per position
// computed, one position per block ending it), and every output frame advances the input time by
// input rate / r for the r of its position. The phase atan2(left, right) of each output frame gives
// the instantaneous frequency, averaged over 1 ms.
constexpr double GLIDE_AMPLITUDE = 0.5;
constexpr double GLIDE_SETTLE_MS = 100.0; // onset of the tone, left out
constexpr double GLIDE_TAIL_MS = 300.0;   // after the last move
constexpr double SMOOTHING_MS = 1.0;
constexpr double AGAINST_TOLERANCE = 1e-4; // a move back by more than 0.01 % counts
constexpr double OVERSHOOT_TARGET = 1e-3;  // 0.1 %

double SpeedOfPosition(int32_t iPosition)
{
    return std::pow(1.00579294106785, iPosition - 120);
}

struct SliderMove
{
    double dfAtMs;
    int32_t iPosition;
};

struct GlideScript
{
    const char* pName;
    int32_t iStart;
    std::vector<SliderMove> Moves;
};

// Moves of one position every 10 ms (100 per second) from one position to another, from dfAtMs.
void AddDrag(std::vector<SliderMove>& Moves, double dfAtMs, int32_t iFrom, int32_t iTo)
{
    const int32_t iStep = iTo > iFrom ? 1 : -1;
    for (int32_t p = iFrom + iStep;; p += iStep)
    {
        Moves.push_back({dfAtMs, p});
        dfAtMs += 10.0;
        if (p == iTo)
        {
            return;
        }
    }
}

std::vector<GlideScript> GlideScripts()
{
    std::vector<GlideScript> Scripts;
    Scripts.push_back(
        {"(a) notch and click, up and down", 120, {{200, 121}, {500, 120}, {800, 130}, {1100, 120}}});
    GlideScript Drag{"(b) drag x1 -> x2", 120, {}};
    AddDrag(Drag.Moves, 200, 120, 240);
    Scripts.push_back(Drag);
    GlideScript Jump{"(c) jump x1 -> x2.52, drag -> x0.5", 120, {{200, 280}}};
    AddDrag(Jump.Moves, 500, 280, 0);
    Scripts.push_back(Jump);
    return Scripts;
}

struct GlideResult
{
    double dfDeviationDb = 0.0;
    double dfOvershoot = 0.0; // largest excess over the move's new frequency, as a fraction
    double dfAgainst = 0.0;   // largest move against the glide's direction, as a fraction
    bool bValid = false;
};

GlideResult RunGlide(const GlideScript& Script, double dfHz, bool bMoves)
{
    GlideResult Result;
    SamplingFrequencyConverter Converter(10.0);
    ParameterSmoother Model;
    const double dfStartRate = DEVICE_RATE / SpeedOfPosition(Script.iStart);
    if (Converter.Setup(2, INPUT_RATE, DEVICE_RATE, 8, 0, 0.0) != 1 ||
        Converter.SetOutputRate(dfStartRate, 1) != 1)
    {
        return Result;
    }
    Model.Initialize(DEVICE_RATE);
    Model.SetTarget(dfStartRate, 1);
    const uint64_t ullHop = Converter.GetBlockFrames() / 2;
    const double dfEndMs =
        (bMoves && !Script.Moves.empty() ? Script.Moves.back().dfAtMs : 1000.0) + GLIDE_TAIL_MS;
    const uint64_t ullEnd = static_cast<uint64_t>(dfEndMs * DEVICE_RATE / 1000.0);

    std::vector<double> Output;         // interleaved
    std::vector<double> InputTime{0.0}; // per output frame (and the next), in input frames
    std::vector<double> Target;         // per output frame: the speed of the last move
    std::vector<int32_t> Direction;     // per output frame: +1 up, -1 down, 0 none yet
    std::vector<uint64_t> MoveFrames;   // first output frame after each move
    std::vector<double> Hop(2 * ullHop);
    std::vector<double> Buffer(Converter.OutputFIFO.GetCapacity());
    double dfTarget = SpeedOfPosition(Script.iStart);
    int32_t iDirection = 0;
    size_t ullNextMove = 0;
    uint64_t ullInput = 0;
    bool bFirstBlock = true;
    while (Output.size() / 2 < ullEnd)
    {
        const double w = 2.0 * std::numbers::pi * dfHz / INPUT_RATE;
        for (uint64_t i = 0; i < ullHop; ++i, ++ullInput)
        {
            Hop[2 * i] = GLIDE_AMPLITUDE * std::sin(w * static_cast<double>(ullInput));
            Hop[2 * i + 1] = GLIDE_AMPLITUDE * std::cos(w * static_cast<double>(ullInput));
        }
        uint64_t ullTaken = ullHop;
        uint64_t ullRead = Buffer.size() / 2;
        if (Converter.Convert(Hop.data(), ullTaken, Buffer.data(), ullRead) != 1 || ullTaken != ullHop)
        {
            return Result;
        }
        Output.insert(Output.end(), Buffer.begin(),
                      Buffer.begin() + static_cast<std::ptrdiff_t>(2 * ullRead));
        // The model: one step for the block's first position, one for each frame after it.
        if (!bFirstBlock)
        {
            double r = 0.0;
            Model.Next(r);
            for (uint64_t j = 0; j < ullRead; ++j)
            {
                Model.Next(r);
                InputTime.push_back(InputTime.back() + INPUT_RATE / r);
            }
        }
        bFirstBlock = false;
        Target.resize(Output.size() / 2, dfTarget);
        Direction.resize(Output.size() / 2, iDirection);
        while (bMoves && ullNextMove < Script.Moves.size() &&
               static_cast<double>(Output.size() / 2) >=
                   Script.Moves[ullNextMove].dfAtMs * DEVICE_RATE / 1000.0)
        {
            const double dfSpeed = SpeedOfPosition(Script.Moves[ullNextMove].iPosition);
            const double dfRate = DEVICE_RATE / dfSpeed;
            if (Converter.SetOutputRate(dfRate, 0) != 1)
            {
                return Result;
            }
            const double dfSteps = std::floor(static_cast<double>(ullHop) / INPUT_RATE * dfRate);
            Model.SetTarget(dfRate, dfSteps < 1.0 ? 1 : static_cast<uint64_t>(dfSteps));
            iDirection = dfSpeed > dfTarget ? 1 : -1;
            dfTarget = dfSpeed;
            MoveFrames.push_back(Output.size() / 2);
            ++ullNextMove;
        }
    }

    const uint64_t ullFrames = Output.size() / 2;
    const uint64_t ullFirst = static_cast<uint64_t>(GLIDE_SETTLE_MS * DEVICE_RATE / 1000.0);
    const uint64_t W = static_cast<uint64_t>(SMOOTHING_MS * DEVICE_RATE / 1000.0);
    double dfDeviation = 0.0;
    std::vector<double> Phase(ullFrames);
    for (uint64_t n = 0; n < ullFrames; ++n)
    {
        const double dfIdeal = 2.0 * std::numbers::pi * dfHz * InputTime[n] / INPUT_RATE;
        if (n >= ullFirst)
        {
            dfDeviation =
                std::max({dfDeviation, std::fabs(Output[2 * n] - GLIDE_AMPLITUDE * std::sin(dfIdeal)),
                          std::fabs(Output[2 * n + 1] - GLIDE_AMPLITUDE * std::cos(dfIdeal))});
        }
        Phase[n] = std::atan2(Output[2 * n], Output[2 * n + 1]);
        if (n > 0)
        {
            Phase[n] = Phase[n - 1] + std::remainder(Phase[n] - Phase[n - 1], 2.0 * std::numbers::pi);
        }
    }
    Result.dfDeviationDb = Decibels(dfDeviation / GLIDE_AMPLITUDE);
    // Smoothed frequency over the millisecond before each frame; per move, the running extreme in
    // the move's direction and how far the frequency falls back from it.
    double dfExtreme = 0.0;
    size_t ullMove = 0;
    for (uint64_t n = std::max(ullFirst, W); n < ullFrames; ++n)
    {
        const double dfSmoothed =
            (Phase[n] - Phase[n - W]) / static_cast<double>(W) * DEVICE_RATE / (2.0 * std::numbers::pi);
        const double dfExpected = dfHz * Target[n];
        const bool bNewMove = ullMove < MoveFrames.size() && n >= MoveFrames[ullMove];
        if (bNewMove)
        {
            ++ullMove;
        }
        if (Direction[n] == 0)
        {
            continue;
        }
        const double d = Direction[n];
        Result.dfOvershoot = std::max(Result.dfOvershoot, d * (dfSmoothed / dfExpected - 1.0));
        dfExtreme = bNewMove ? dfSmoothed
                             : (d > 0 ? std::max(dfExtreme, dfSmoothed) : std::min(dfExtreme, dfSmoothed));
        Result.dfAgainst = std::max(Result.dfAgainst, d * (dfExtreme - dfSmoothed) / dfExpected);
    }
    Result.bValid = true;
    return Result;
}

// Targets: no overshoot beyond 0.1 %, never against the glide, and a deviation from the ideal
// trajectory of at most -60 dB at 1 kHz and -45 dB at 5 kHz.
bool PrintGlideTable()
{
    std::printf(
        "\nglides: 44.1 kHz quadrature tone, 48 kHz device, slider moves ramped as the player makes them\n");
    std::printf("%-36s %6s %12s %12s %12s %12s  %s\n", "glide", "tone", "steady (dB)", "dev. (dB)",
                "overshoot %", "against %", "targets");
    bool bAllMet = true;
    for (const GlideScript& Script : GlideScripts())
    {
        for (const double dfHz : {1000.0, 5000.0})
        {
            const GlideResult Steady = RunGlide(Script, dfHz, false);
            const GlideResult Glide = RunGlide(Script, dfHz, true);
            const double dfLimitDb = dfHz < 2000.0 ? -60.0 : -45.0;
            const bool bMet = Glide.bValid && Glide.dfOvershoot <= OVERSHOOT_TARGET &&
                              Glide.dfAgainst <= AGAINST_TOLERANCE && Glide.dfDeviationDb <= dfLimitDb;
            bAllMet = bAllMet && bMet;
            std::printf("%-36s %4.0fHz %12.1f %12.1f %12.3f %12.4f  %s\n", Script.pName, dfHz,
                        Steady.dfDeviationDb, Glide.dfDeviationDb, 100.0 * Glide.dfOvershoot,
                        100.0 * Glide.dfAgainst, bMet ? "met" : "MISSED");
            std::fflush(stdout);
        }
    }
    return bAllMet;
}

// Keep pitch: the stretcher at the file's rate, then the converter at x1 to the device, as the
// player plays in that mode. Stereo in, the left channel kept.
std::vector<double> StretchStereo(const std::vector<double>& Stereo, double dfSpeed,
                                  const std::vector<SliderMove>& Moves, uint64_t* pullLatency)
{
    TimeStretcher Stretcher;
    std::vector<double> Output;
    if (Stretcher.Setup(INPUT_RATE, dfSpeed) != 1)
    {
        return Output;
    }
    if (pullLatency != nullptr)
    {
        *pullLatency = Stretcher.GetLatencyFrames();
    }
    std::vector<double> Buffer(2 * 4096);
    const uint64_t ullFrames = Stereo.size() / 2;
    uint64_t ullPosition = 0;
    size_t ullNextMove = 0;
    while (Stretcher.IsDrained() == 0)
    {
        // Slider moves at their times of the output, as a user makes them while listening.
        while (ullNextMove < Moves.size() &&
               static_cast<double>(Output.size() / 2) >= Moves[ullNextMove].dfAtMs * INPUT_RATE / 1000.0)
        {
            Stretcher.SetSpeed(SpeedOfPosition(Moves[ullNextMove].iPosition), 0);
            ++ullNextMove;
        }
        uint64_t ullTaken = std::min<uint64_t>(1024, ullFrames - ullPosition);
        uint64_t ullMade = Buffer.size() / 2;
        if (Stretcher.Convert(Stereo.data() + 2 * ullPosition, ullTaken, Buffer.data(), ullMade) != 1)
        {
            return {};
        }
        ullPosition += ullTaken;
        if (ullPosition == ullFrames)
        {
            Stretcher.Finish();
        }
        Output.insert(Output.end(), Buffer.begin(),
                      Buffer.begin() + static_cast<std::ptrdiff_t>(2 * ullMade));
    }
    return Output;
}

std::vector<double> LeftOf(const std::vector<double>& Stereo)
{
    std::vector<double> Left(Stereo.size() / 2);
    for (size_t n = 0; n < Left.size(); ++n)
    {
        Left[n] = Stereo[2 * n];
    }
    return Left;
}

std::vector<double> Widened(const std::vector<double>& Mono)
{
    std::vector<double> Stereo(2 * Mono.size());
    for (size_t n = 0; n < Mono.size(); ++n)
    {
        Stereo[2 * n] = Mono[n];
        Stereo[2 * n + 1] = Mono[n];
    }
    return Stereo;
}

struct KeepPitchRow
{
    std::string Name;
    std::string Target;
    double dfValue;
    bool bMet;
    const char* pFormat;
};

// A spectrum of the middle of a signal at DEVICE_RATE: 2^16 points, 4-term Blackman-Harris window
// (sidelobes below -92 dB), in dB against the strongest bin.
std::vector<double> SpectrumDb(const std::vector<double>& Signal, uint32_t uiOrder)
{
    const size_t N = size_t{1} << uiOrder;
    std::vector<double> Frame(N, 0.0);
    std::vector<double> Bins(2 * N);
    const size_t ullStart = Signal.size() > N ? (Signal.size() - N) / 2 : 0;
    for (size_t n = 0; n < N && ullStart + n < Signal.size(); ++n)
    {
        const double x = 2.0 * std::numbers::pi * static_cast<double>(n) / static_cast<double>(N);
        const double w =
            0.35875 - 0.48829 * std::cos(x) + 0.14128 * std::cos(2 * x) - 0.01168 * std::cos(3 * x);
        Frame[n] = w * Signal[ullStart + n];
    }
    FFTReal(Frame.data(), Bins.data(), uiOrder);
    std::vector<double> Db(N / 2);
    double dfPeak = 1e-300;
    for (size_t k = 0; k < N / 2; ++k)
    {
        Db[k] = std::hypot(Bins[2 * k], Bins[2 * k + 1]);
        dfPeak = std::max(dfPeak, Db[k]);
    }
    for (double& dfValue : Db)
    {
        dfValue = Decibels(std::max(dfValue, 1e-300) / dfPeak);
    }
    return Db;
}

// The frequency of the strongest bin within dfWidth Hz of dfHz, refined by a parabola through the
// bins around it (in dB).
double PeakFrequency(const std::vector<double>& Db, double dfHz, double dfWidth)
{
    const double dfBinHz = DEVICE_RATE / static_cast<double>(2 * Db.size());
    const size_t ullLow = static_cast<size_t>((dfHz - dfWidth) / dfBinHz);
    const size_t ullHigh = static_cast<size_t>((dfHz + dfWidth) / dfBinHz);
    size_t k = ullLow;
    for (size_t i = ullLow; i <= ullHigh; ++i)
    {
        k = Db[i] > Db[k] ? i : k;
    }
    const double a = Db[k - 1];
    const double b = Db[k];
    const double c = Db[k + 1];
    return (static_cast<double>(k) + 0.5 * (a - c) / (a - 2 * b + c)) * dfBinHz;
}

bool PrintKeepPitchTable()
{
    std::printf(
        "\nkeep pitch: 44.1 kHz stereo through the time-stretcher, then the converter at x1 to 48 kHz\n");
    std::printf("%-48s %16s %12s\n", "measure", "target", "value");
    std::vector<KeepPitchRow> Rows;
    const double dfHop = 512.0;
    double dfWorstDuration = 0.0;
    uint64_t ullLatency = 0;
    for (const int32_t iPosition : {0, 70, 190, 280})
    {
        const double dfSpeed = SpeedOfPosition(iPosition);
        const std::vector<double> In = Widened(Sine(1000.0));
        const std::vector<double> Stretched = StretchStereo(In, dfSpeed, {}, &ullLatency);
        dfWorstDuration = std::max(dfWorstDuration, std::fabs(static_cast<double>(Stretched.size() / 2) -
                                                              static_cast<double>(In.size() / 2) / dfSpeed));
        const std::vector<double> Played = Middle(ConvertOurs(LeftOf(Stretched), 1.0));
        const SineFit Fit = FitSine(Played, 1000.0);
        char szSpeed[32];
        std::snprintf(szSpeed, sizeof(szSpeed), "x%.4f", dfSpeed);
        const double dfError = 100.0 * (Fit.dfHz / 1000.0 - 1.0);
        const double dfLevel = Decibels(Fit.dfSignalRms * std::sqrt(2.0));
        const double dfThd = Decibels(Fit.dfResidualRms / Fit.dfSignalRms);
        Rows.push_back({std::string("1 kHz ") + szSpeed + ": frequency error %", "|e| <= 0.05", dfError,
                        std::fabs(dfError) <= 0.05, "%12.5f"});
        Rows.push_back({std::string("1 kHz ") + szSpeed + ": level (dB)", "|l| <= 0.2", dfLevel,
                        std::fabs(dfLevel) <= 0.2, "%12.3f"});
        Rows.push_back(
            {std::string("1 kHz ") + szSpeed + ": THD+N (dB)", "<= -50", dfThd, dfThd <= -50.0, "%12.1f"});
    }
    Rows.push_back({"duration: worst |output - input / speed| (frames)", "<= 512 (a hop)", dfWorstDuration,
                    dfWorstDuration <= dfHop, "%12.1f"});

    // The chord at x0.75: both partials where they were, nothing added.
    {
        const double dfSpeed = SpeedOfPosition(70);
        std::vector<double> Chord(static_cast<size_t>(SECONDS * INPUT_RATE));
        for (size_t n = 0; n < Chord.size(); ++n)
        {
            const double t = static_cast<double>(n) / INPUT_RATE;
            Chord[n] = 0.4 * std::sin(2.0 * std::numbers::pi * 440.0 * t) +
                       0.4 * std::sin(2.0 * std::numbers::pi * 554.37 * t);
        }
        const std::vector<double> Played =
            Middle(ConvertOurs(LeftOf(StretchStereo(Widened(Chord), dfSpeed, {}, nullptr)), 1.0));
        const std::vector<double> Db = SpectrumDb(Played, 16);
        const double dfLow = PeakFrequency(Db, 440.0, 5.0);
        const double dfHigh = PeakFrequency(Db, 554.37, 5.0);
        // Outside +-8 Hz of the two partials (the window's main lobe is +-3 Hz).
        const double dfBinHz = DEVICE_RATE / static_cast<double>(2 * Db.size());
        double dfAdded = -300.0;
        for (size_t k = 1; k < Db.size(); ++k)
        {
            const double f = static_cast<double>(k) * dfBinHz;
            if (std::fabs(f - 440.0) > 8.0 && std::fabs(f - 554.37) > 8.0)
            {
                dfAdded = std::max(dfAdded, Db[k]);
            }
        }
        const double dfLowError = 100.0 * (dfLow / 440.0 - 1.0);
        const double dfHighError = 100.0 * (dfHigh / 554.37 - 1.0);
        Rows.push_back({"chord x0.7492: 440 Hz partial error %", "|e| <= 0.05", dfLowError,
                        std::fabs(dfLowError) <= 0.05, "%12.5f"});
        Rows.push_back({"chord x0.7492: 554.37 Hz partial error %", "|e| <= 0.05", dfHighError,
                        std::fabs(dfHighError) <= 0.05, "%12.5f"});
        Rows.push_back(
            {"chord x0.7492: strongest added partial (dB)", "<= -50", dfAdded, dfAdded <= -50.0, "%12.1f"});
    }

    // The click train at x0.75: a click every 250 ms; each click's energy centre against t / speed,
    // and the loudest sound more than 10 ms ahead of it against the click's peak.
    {
        const double dfSpeed = SpeedOfPosition(70);
        std::vector<double> Clicks(static_cast<size_t>(SECONDS * INPUT_RATE), 0.0);
        std::vector<double> ClickTimes;
        for (double t = 0.5; t < SECONDS - 0.5; t += 0.25)
        {
            const size_t n = static_cast<size_t>(std::llround(t * INPUT_RATE));
            Clicks[n] = 0.9;
            ClickTimes.push_back(static_cast<double>(n) / INPUT_RATE);
        }
        const std::vector<double> Out = LeftOf(StretchStereo(Widened(Clicks), dfSpeed, {}, nullptr));
        double dfWorstCentre = 0.0;
        double dfWorstEcho = -300.0;
        for (const double t : ClickTimes)
        {
            const double dfIdeal = t / dfSpeed * INPUT_RATE;
            const int64_t llFrom = std::llround(dfIdeal - 0.1 * INPUT_RATE);
            const int64_t llTo = std::llround(dfIdeal + 0.1 * INPUT_RATE);
            double dfEnergy = 0.0;
            double dfMoment = 0.0;
            double dfPeak = 0.0;
            for (int64_t n = std::max<int64_t>(llFrom, 0); n < llTo && n < static_cast<int64_t>(Out.size());
                 ++n)
            {
                const double e = Out[static_cast<size_t>(n)] * Out[static_cast<size_t>(n)];
                dfEnergy += e;
                dfMoment += e * static_cast<double>(n);
                dfPeak = std::max(dfPeak, std::fabs(Out[static_cast<size_t>(n)]));
            }
            const double dfCentre = dfEnergy > 0.0 ? dfMoment / dfEnergy : 0.0;
            dfWorstCentre = std::max(dfWorstCentre, std::fabs(dfCentre - dfIdeal) / INPUT_RATE * 1000.0);
            double dfEcho = 0.0;
            for (int64_t n = std::max<int64_t>(llFrom, 0); n < std::llround(dfCentre - 0.010 * INPUT_RATE);
                 ++n)
            {
                dfEcho = std::max(dfEcho, std::fabs(Out[static_cast<size_t>(n)]));
            }
            dfWorstEcho = std::max(dfWorstEcho, Decibels(std::max(dfEcho, 1e-15) / dfPeak));
        }
        Rows.push_back({"clicks x0.7492: worst energy centre error (ms)", "<= 5", dfWorstCentre,
                        dfWorstCentre <= 5.0, "%12.2f"});
        Rows.push_back({"clicks x0.7492: worst pre-echo > 10 ms ahead (dB)", "< -30", dfWorstEcho,
                        dfWorstEcho < -30.0, "%12.1f"});
    }

    // A glide x1 -> x0.5 (the slider dragged a step every 10 ms) under a quadrature 1 kHz tone: the
    // pitch from the phase of (left, right), over 5 ms windows, after the tone's first 100 ms.
    {
        std::vector<double> Pair(2 * static_cast<size_t>(4.0 * INPUT_RATE));
        for (size_t n = 0; n < Pair.size() / 2; ++n)
        {
            const double x = 2.0 * std::numbers::pi * 1000.0 * static_cast<double>(n) / INPUT_RATE;
            Pair[2 * n] = 0.5 * std::sin(x);
            Pair[2 * n + 1] = 0.5 * std::cos(x);
        }
        std::vector<SliderMove> Moves;
        AddDrag(Moves, 500.0, 120, 0);
        const std::vector<double> Out = StretchStereo(Pair, 1.0, Moves, nullptr);
        const size_t W = static_cast<size_t>(0.005 * INPUT_RATE);
        std::vector<double> Phase(Out.size() / 2);
        double dfWorst = 0.0;
        for (size_t n = 0; n < Phase.size(); ++n)
        {
            Phase[n] = std::atan2(Out[2 * n], Out[2 * n + 1]);
            if (n > 0)
            {
                Phase[n] = Phase[n - 1] + std::remainder(Phase[n] - Phase[n - 1], 2.0 * std::numbers::pi);
            }
            if (n >= static_cast<size_t>(0.1 * INPUT_RATE) + W &&
                n + static_cast<size_t>(0.1 * INPUT_RATE) < Phase.size())
            {
                const double dfHz = (Phase[n] - Phase[n - W]) / static_cast<double>(W) * INPUT_RATE /
                                    (2.0 * std::numbers::pi);
                dfWorst = std::max(dfWorst, std::fabs(dfHz / 1000.0 - 1.0) * 100.0);
            }
        }
        Rows.push_back(
            {"glide x1 -> x0.5: worst pitch error (5 ms) %", "<= 0.1", dfWorst, dfWorst <= 0.1, "%12.4f"});
    }
    const double dfLatencyMs = static_cast<double>(ullLatency) / INPUT_RATE * 1000.0;
    Rows.push_back({"added latency (ms)", "<= 100", dfLatencyMs, dfLatencyMs <= 100.0, "%12.1f"});

    bool bAllMet = true;
    for (const KeepPitchRow& Row : Rows)
    {
        std::printf("%-48s %16s", Row.Name.c_str(), Row.Target.c_str());
        std::printf(Row.pFormat, Row.dfValue);
        std::printf("  %s\n", Row.bMet ? "met" : "MISSED");
        bAllMet = bAllMet && Row.bMet;
    }
    std::fflush(stdout);
    return bAllMet;
}
} // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::string(argv[1]) == "keeppitch")
    {
        return PrintKeepPitchTable() ? 0 : 1;
    }
    if (argc > 1 && std::string(argv[1]) == "glides")
    {
        return PrintGlideTable() ? 0 : 1;
    }
    std::vector<std::pair<std::string, Resampler>> Resamplers = {{"ours", ConvertOurs}};
#ifdef LARKSPUR_HAVE_SOXR
    Resamplers.emplace_back("soxr-vhq", ConvertSoxr);
#endif
#ifdef LARKSPUR_HAVE_SAMPLERATE
    Resamplers.emplace_back("src-best", ConvertSamplerate);
#endif
    const auto AtMost = [](double dfLimit)
    { return [dfLimit](double dfValue) { return dfValue <= dfLimit; }; };
    const std::vector<Measure> Measures = {
        {"THD+N 1 kHz x1 (dB)", "<= -90", [](const Resampler& R) { return ThdPlusNoise(R, 1000, 1.0); },
         AtMost(-90), "%12.1f"},
        {"THD+N 1 kHz x2.52 (dB)", "<= -90", [](const Resampler& R) { return ThdPlusNoise(R, 1000, 2.52); },
         AtMost(-90), "%12.1f"},
        {"THD+N 10 kHz x1 (dB)", "<= -68", [](const Resampler& R) { return ThdPlusNoise(R, 10000, 1.0); },
         AtMost(-68), "%12.1f"},
        // The new half-rate is 9.5 kHz: the tone is removed but for what leaks near the cut-off.
        {"10 kHz x2.52 residue (dBFS)", "-", [](const Resampler& R) { return ResidueDbfs(R, 10000, 2.52); },
         nullptr, "%12.1f"},
        {"15 kHz x2.52 residue (dBFS)", "<= -105",
         [](const Resampler& R) { return ResidueDbfs(R, 15000, 2.52); }, AtMost(-105), "%12.1f"},
        {"frequency 1 kHz x1 (ratio - 1)", "|e| <= 1e-6",
         [](const Resampler& R) { return FrequencyError(R, 1000, 1.0); },
         [](double dfValue) { return std::fabs(dfValue) <= 1e-6; }, "%12.1e"},
        {"frequency 1 kHz x2.52 (ratio - 1)", "|e| <= 1e-6",
         [](const Resampler& R) { return FrequencyError(R, 1000, 2.52); },
         [](double dfValue) { return std::fabs(dfValue) <= 1e-6; }, "%12.1e"},
    };

    std::printf("44.1 kHz input, 48 kHz device; full-scale sines of %.0f s, %.2f s left out at each end\n\n",
                SECONDS, MARGIN_SECONDS);
    std::printf("%-36s %12s", "measure", "target");
    for (const auto& [Name, Convert] : Resamplers)
    {
        std::printf("%12s", Name.c_str());
    }
    std::printf("  ours\n");
    bool bAllMet = true;
    for (const Measure& Item : Measures)
    {
        std::printf("%-36s %12s", Item.Name.c_str(), Item.Target.c_str());
        double dfOurs = 0.0;
        for (size_t i = 0; i < Resamplers.size(); ++i)
        {
            const double dfValue = Item.Evaluate(Resamplers[i].second);
            std::printf(Item.pFormat, dfValue);
            if (i == 0)
            {
                dfOurs = dfValue;
            }
        }
        if (!Item.Meets)
        {
            std::printf("\n");
            continue;
        }
        const bool bMet = Item.Meets(dfOurs);
        bAllMet = bAllMet && bMet;
        std::printf("  %s\n", bMet ? "met" : "MISSED");
        std::fflush(stdout);
    }
    bAllMet = PrintGlideTable() && bAllMet;
    bAllMet = PrintKeepPitchTable() && bAllMet;
    return bAllMet ? 0 : 1;
}
