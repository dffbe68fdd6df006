// Quality of the sampling frequency converter against two established resamplers (when their
// development packages are installed): THD+N of full-scale sines, the residue of a sine above the
// new half-rate, and the measured output frequency against the set speed. 44.1 kHz input played on
// a 48 kHz device at x1 and x2.52. Prints a table; not part of the test run.
#include "conversion/SamplingFrequencyConverter.h"

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
} // namespace

int main()
{
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
    return bAllMet ? 0 : 1;
}
