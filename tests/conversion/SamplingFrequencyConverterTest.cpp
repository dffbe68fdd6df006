#include "conversion/SamplingFrequencyConverter.h"
#include "conversion/TransformKernels.h"
#include "tests/common/ReferenceTransform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <functional>
#include <limits>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

namespace
{
constexpr double FACTOR = 10.0;

// Feeds the interleaved input through the converter as far as it goes and collects every output
// sample. After each round, BetweenCalls (when given) may change the rate.
std::vector<double> Convert(SamplingFrequencyConverter& Converter, const std::vector<double>& Input,
                            const std::function<void(uint64_t)>& BetweenCalls = nullptr)
{
    const uint64_t C = Converter.ullChannels;
    std::vector<double> Output;
    std::vector<double> Buffer(1 << 16);
    uint64_t ullPosition = 0;
    uint64_t ullCall = 0;
    for (;;)
    {
        uint64_t ullTaken = (Input.size() - ullPosition) / C;
        uint64_t ullRead = Buffer.size() / C;
        EXPECT_EQ(Converter.Convert(Input.data() + ullPosition, ullTaken, Buffer.data(), ullRead), 1);
        ullPosition += C * ullTaken;
        if (BetweenCalls)
        {
            BetweenCalls(ullCall);
        }
        ++ullCall;
        Output.insert(Output.end(), Buffer.begin(),
                      Buffer.begin() + static_cast<std::ptrdiff_t>(C * ullRead));
        if (ullPosition == Input.size() && ullRead == 0 &&
            Converter.InputFIFO.GetFill() < C * Converter.GetBlockFrames() / 2)
        {
            return Output;
        }
    }
}

// Interleaved stereo: a sine in the left channel and a different one in the right.
std::vector<double> StereoSines(uint64_t ullFrames, double dfRate, double dfLeftHz, double dfRightHz,
                                double dfAmplitude = 0.9)
{
    std::vector<double> Signal(2 * ullFrames);
    for (uint64_t n = 0; n < ullFrames; ++n)
    {
        const double t = static_cast<double>(n) / dfRate;
        Signal[2 * n] = dfAmplitude * std::sin(2.0 * std::numbers::pi * dfLeftHz * t);
        Signal[2 * n + 1] = dfAmplitude * std::sin(2.0 * std::numbers::pi * dfRightHz * t + 0.3);
    }
    return Signal;
}

double PeakOf(const std::vector<double>& Signal)
{
    double dfPeak = 0.0;
    for (double dfValue : Signal)
    {
        dfPeak = std::max(dfPeak, std::fabs(dfValue));
    }
    return dfPeak;
}

[[maybe_unused]] double RmsOf(const std::vector<double>& Signal, uint64_t ullFirst, uint64_t ullLast)
{
    double dfSum = 0.0;
    for (uint64_t i = ullFirst; i < ullLast; ++i)
    {
        dfSum += Signal[i] * Signal[i];
    }
    return std::sqrt(dfSum / static_cast<double>(ullLast - ullFirst));
}

// Frequency of one channel from its zero crossings, with the crossing instants interpolated.
[[maybe_unused]] double MeasureFrequency(const std::vector<double>& Interleaved, uint64_t ullChannel,
                                         double dfRate, uint64_t ullFirst, uint64_t ullLast)
{
    double dfFirstCrossing = -1.0;
    double dfLastCrossing = -1.0;
    uint64_t ullCrossings = 0;
    for (uint64_t n = ullFirst; n + 1 < ullLast; ++n)
    {
        const double a = Interleaved[2 * n + ullChannel];
        const double b = Interleaved[2 * n + 2 + ullChannel];
        if (a < 0.0 && b >= 0.0)
        {
            const double dfAt = static_cast<double>(n) + a / (a - b);
            if (dfFirstCrossing < 0.0)
            {
                dfFirstCrossing = dfAt;
            }
            else
            {
                ++ullCrossings;
            }
            dfLastCrossing = dfAt;
        }
    }
    return static_cast<double>(ullCrossings) * dfRate / (dfLastCrossing - dfFirstCrossing);
}

// The literal radix-2 kernel with every twiddle computed directly instead of by a running rotation:
// the literal kernel's rotation drifts by about 1e-12 over the 65536 steps of its last stage at
// N2 = 131072, this one does not.
int32_t ExactTwiddleInverse(double* pdfInput, double* pdfOutput, uint32_t uiOrder)
{
    const uint64_t N = uint64_t{1} << uiOrder;
    for (uint64_t k = 0; k < N; ++k)
    {
        pdfInput[2 * k + 1] = -pdfInput[2 * k + 1];
    }
    return ReferenceExactFFTComplex(pdfInput, pdfOutput, uiOrder);
}

struct Case
{
    double dfInput;
    double dfOutput;
    double dfSpeed;
    int32_t iShift;
    uint64_t ullFrames;
};
} // namespace

TEST(SamplingFrequencyConverter, SetupChoosesOctavesAndSizes)
{
    struct Expected
    {
        double dfInput;
        double dfOutput;
        uint32_t h;
    };
    const Expected Cases[] = {{44100, 48000, 4}, {96000, 48000, 3}, {48000, 384000, 7},
                              {384000, 8000, 0}, {44100, 44100, 4}, {8000, 384000, 9}};
    SamplingFrequencyConverter Converter(FACTOR);
    for (const Expected& Item : Cases)
    {
        ASSERT_EQ(Converter.Setup(2, Item.dfInput, Item.dfOutput, 8, 0, 0.0), 1) << Item.dfInput;
        EXPECT_EQ(Converter.uiOversamplingOctaves, Item.h) << Item.dfInput << " -> " << Item.dfOutput;
        const uint64_t N2 = uint64_t{256} << Item.h;
        EXPECT_EQ(Converter.GetOversampledFrames(), N2);
        EXPECT_EQ(Converter.InputFIFO.GetCapacity(), 1024u);
        EXPECT_EQ(Converter.OutputFIFO.GetCapacity(), 4 * N2);
        EXPECT_EQ(Converter.bDiscardBlock, 1);
        EXPECT_EQ(Converter.bReady, 1);
        EXPECT_EQ(Converter.dfOutputRate, Item.dfOutput);
    }
    // 44100 into 48000: N2 = 4096, M = 2048; the synthesis window is power-complementary.
    ASSERT_EQ(Converter.Setup(2, 44100, 48000, 8, 0, 0.0), 1);
    const double* w = Converter.pdfSynthesisWindow.get();
    for (uint64_t i = 0; i < 2048; i += 97)
    {
        EXPECT_NEAR(w[i] * w[i] + w[i + 2048] * w[i + 2048], 1.0, 4e-15);
        EXPECT_EQ(w[i], w[4095 - i]);
    }
    // Buffer seconds: K = ceil(rate x seconds / 256) blocks.
    ASSERT_EQ(Converter.Setup(2, 44100, 48000, 8, 0, 0.1), 1);
    EXPECT_EQ(Converter.InputFIFO.GetCapacity(), 18u * 2 * 256);
    EXPECT_EQ(Converter.OutputFIFO.GetCapacity(), 18u * 2 * 4096);
}

TEST(SamplingFrequencyConverter, RefusesBadSetupsAndRates)
{
    SamplingFrequencyConverter Converter(FACTOR);
    EXPECT_EQ(Converter.SetOutputRate(48000, 1), -1);
    EXPECT_EQ(Converter.Process(), 1);
    const double dfNaN = std::numeric_limits<double>::quiet_NaN();
    const double dfInfinity = std::numeric_limits<double>::infinity();
    EXPECT_EQ(Converter.Setup(2, 44100, 0, 8, 0, 0.0), -4);
    EXPECT_EQ(Converter.Setup(2, -1, 48000, 8, 0, 0.0), -4);
    EXPECT_EQ(Converter.Setup(2, dfNaN, 48000, 8, 0, 0.0), -4);
    EXPECT_EQ(Converter.Setup(2, 44100, dfInfinity, 8, 0, 0.0), -4);
    EXPECT_EQ(Converter.Setup(0, 44100, 48000, 8, 0, 0.0), -4);
    EXPECT_EQ(Converter.Setup(257, 44100, 48000, 8, 0, 0.0), -4);
    EXPECT_EQ(Converter.Setup(2, 44100, 48000, 1, 0, 0.0), -4);
    EXPECT_EQ(Converter.Setup(2, 44100, 48000, 8, 0, dfNaN), -4);
    // A shift of hop bins or more would write outside the spectrum.
    EXPECT_EQ(Converter.Setup(2, 44100, 48000, 8, 128, 0.0), -4);
    EXPECT_EQ(Converter.Setup(2, 44100, 48000, 8, -128, 0.0), -4);
    EXPECT_EQ(Converter.Setup(2, 44100, 48000, 8, std::numeric_limits<int32_t>::min(), 0.0), -4);
    // More than 128 times down is refused; at exactly 128 the logarithms decide.
    EXPECT_EQ(Converter.Setup(2, 1600000, 8000, 8, 0, 0.0), -1);
    EXPECT_EQ(Converter.Setup(2, 128.0 * 8000, 8000, 8, 0, 0.0), -1);
    EXPECT_EQ(Converter.Setup(2, 128.0 * 44100, 44100, 8, 0, 0.0), -1);
    EXPECT_EQ(Converter.Setup(2, 128.0 * 48000, 48000, 8, 0, 0.0), -1);
    EXPECT_EQ(Converter.bReady, 0);
    EXPECT_EQ(Converter.InputFIFO.GetCapacity(), 0u);
    EXPECT_EQ(Converter.SetOutputRate(48000, 0), -1);
    EXPECT_EQ(Converter.Setup(2, 128.0 * 9600, 9600, 8, 0, 0.0), 1);
    EXPECT_EQ(Converter.Setup(2, 128.0 * 96000, 96000, 8, 0, 0.0), 1);
    EXPECT_EQ(Converter.Setup(2, 128.0 * 384000, 384000, 8, 0, 0.0), 1);
    EXPECT_EQ(Converter.Setup(2, 384000, 8000, 8, 0, 0.0), 1);

    ASSERT_EQ(Converter.Setup(2, 44100, 48000, 8, 127, 0.0), 1);
    EXPECT_EQ(Converter.SetOutputRate(0, 1), -4);
    EXPECT_EQ(Converter.SetOutputRate(-48000, 0), -4);
    EXPECT_EQ(Converter.SetOutputRate(dfNaN, 0), -4);
    // Less than one oversampled sample per output frame (2^4 x 44100 = 705600 Hz).
    EXPECT_EQ(Converter.SetOutputRate(705601, 1), -4);
    EXPECT_EQ(Converter.SetOutputRate(705600, 1), 1);
    double dfTarget = 0.0;
    EXPECT_EQ(Converter.pRateSmoother->GetRampTarget(dfTarget), 1);
    EXPECT_EQ(dfTarget, 705600.0);
    // A ramp of floor(128 / 44100 x 300) = 0 steps would be refused and the rate would silently
    // stay; it is queued as a one-step change instead.
    EXPECT_EQ(Converter.SetOutputRate(300, 0), 1);
    EXPECT_EQ(Converter.pRateSmoother->GetPendingTarget(dfTarget), 1);
    EXPECT_EQ(dfTarget, 300.0);

    // An oversampling factor that would step below one sample per frame.
    SamplingFrequencyConverter Odd(0.5);
    EXPECT_EQ(Odd.Setup(2, 44100, 48000, 8, 0, 0.0), -1);

    EXPECT_EQ(Converter.Release(), 1);
    EXPECT_EQ(Converter.bReady, 0);
    EXPECT_EQ(Converter.SetOutputRate(48000, 1), -1);
    EXPECT_EQ(Converter.Process(), 1);
}

// A file rate far below the device rate would need more oversampling than the bound: refused before
// anything is made (68 Hz into 384 kHz would oversample 2^16 times, hundreds of megabytes), while
// the lowest rate the bound leaves is taken, for every rate of the player's table.
TEST(SamplingFrequencyConverter, RefusesOversamplingBeyondTheBoundBeforeAllocating)
{
    SamplingFrequencyConverter Converter(FACTOR);
#ifdef __linux__
    // The peak of resident memory from now on (clear_refs 5 resets it to the current size).
    const auto PeakKiB = []
    {
        std::ifstream Status("/proc/self/status");
        for (std::string Line; std::getline(Status, Line);)
        {
            if (Line.rfind("VmHWM:", 0) == 0)
            {
                return std::stol(Line.substr(6));
            }
        }
        return -1L;
    };
    const bool bPeakReset = static_cast<bool>(std::ofstream("/proc/self/clear_refs") << "5");
    const long lPeakBefore = PeakKiB();
#endif
    EXPECT_EQ(Converter.Setup(2, 68, 384000, 8, 0, 0.0), -1);
#ifdef __linux__
    if (bPeakReset && lPeakBefore > 0)
    {
        EXPECT_LT(PeakKiB() - lPeakBefore, 4096L);
    }
#endif
    EXPECT_EQ(Converter.bReady, 0);
    EXPECT_EQ(Converter.OutputFIFO.GetCapacity(), 0u);
    EXPECT_EQ(Converter.pdfSynthesisWindow, nullptr);

    EXPECT_EQ(SamplingFrequencyConverter::LowestInputRate(384000, FACTOR), 1875u); // 3840000 / 2^11
    for (const double dfDevice : {384000.0, 352800.0, 308700.0, 96000.0, 44100.0, 11025.0, 9600.0, 8000.0})
    {
        const uint32_t uiLowest = SamplingFrequencyConverter::LowestInputRate(dfDevice, FACTOR);
        ASSERT_GT(uiLowest, 1u) << dfDevice;
        EXPECT_EQ(Converter.Setup(2, uiLowest - 1, dfDevice, 8, 0, 0.0), -1) << dfDevice;
        ASSERT_EQ(Converter.Setup(2, uiLowest, dfDevice, 8, 0, 0.0), 1) << dfDevice;
        EXPECT_EQ(Converter.uiOversamplingOctaves, SamplingFrequencyConverter::MAX_OVERSAMPLING_OCTAVES);
    }
    EXPECT_EQ(SamplingFrequencyConverter::LowestInputRate(0.0, FACTOR), 0u);
    EXPECT_EQ(SamplingFrequencyConverter::LowestInputRate(48000, std::numeric_limits<double>::quiet_NaN()),
              0u);
}

// The fast run and the plain run with the literal transform kernels agree to 1e-12 of the peak,
// across octave counts, narrowed bands, spectrum shifts and a speed ramp. At N2 = 131072 the literal
// kernel's own twiddle drift is 1.4e-12 of the peak; there the fast run is held to 1e-13 of a plain
// run with exact twiddles, and to the literal run within that drift.
TEST(SamplingFrequencyConverter, FastRunMatchesLiteralKernels)
{
    const Case Cases[] = {
        {44100, 48000, 1.0, 0, 3000},   {44100, 48000, 2.52, 0, 3000},   {8000, 384000, 0.5, 0, 700},
        {384000, 8000, 1.0, 0, 6000},   {48000, 96000, 1.3, 5, 2000},    {44100, 44100, 0.8, -7, 2000},
        {22050, 48000, 1.7, 127, 1500}, {96000, 44100, 1.0, -127, 3000}, {48000, 384000, 2.52, 0, 1000},
        {96000, 16000, 1.0, 2, 6000},   {192000, 48000, 2.52, -1, 6000},
    };
    const SamplingFrequencyConverter::InverseTransform Inverses[] = {nullptr, ReferenceInverseFFT,
                                                                     ExactTwiddleInverse};
    for (const Case& Item : Cases)
    {
        SCOPED_TRACE(testing::Message() << Item.dfInput << " -> " << Item.dfOutput << " x" << Item.dfSpeed
                                        << " shift " << Item.iShift);
        const std::vector<double> Input =
            StereoSines(Item.ullFrames, Item.dfInput, 997.0, Item.dfInput * 0.31);
        std::vector<double> Results[3];
        uint64_t ullOversampled = 0;
        for (int iRun = 0; iRun < 3; ++iRun)
        {
            SamplingFrequencyConverter Converter(FACTOR);
            if (Inverses[iRun] != nullptr)
            {
                Converter.UsePlainTransforms(ReferenceForwardFFT, Inverses[iRun]);
            }
            ASSERT_EQ(Converter.Setup(2, Item.dfInput, Item.dfOutput, 8, Item.iShift, 0.0), 1);
            ASSERT_EQ(Converter.SetOutputRate(Item.dfOutput / Item.dfSpeed, 1), 1);
            ullOversampled = Converter.GetOversampledFrames();
            Results[iRun] = Convert(Converter, Input,
                                    [&](uint64_t ullCall)
                                    {
                                        if (ullCall == 2)
                                        {
                                            Converter.SetOutputRate(Item.dfOutput, 0);
                                        }
                                    });
        }
        ASSERT_EQ(Results[0].size(), Results[1].size());
        ASSERT_EQ(Results[0].size(), Results[2].size());
        ASSERT_GT(Results[0].size(), 100u);
        const double dfPeak = PeakOf(Results[1]);
        double dfFromLiteral = 0.0;
        double dfFromExact = 0.0;
        for (size_t i = 0; i < Results[0].size(); ++i)
        {
            dfFromLiteral = std::max(dfFromLiteral, std::fabs(Results[0][i] - Results[1][i]));
            dfFromExact = std::max(dfFromExact, std::fabs(Results[0][i] - Results[2][i]));
        }
        EXPECT_LE(dfFromLiteral, (ullOversampled < 131072 ? 1e-12 : 2e-12) * dfPeak) << "peak " << dfPeak;
        EXPECT_LE(dfFromExact, 1e-13 * dfPeak) << "peak " << dfPeak;
    }
}

TEST(SamplingFrequencyConverter, DiscardsTheFirstBlockAndStartsAtInputFrameZero)
{
    SamplingFrequencyConverter Converter(FACTOR);
    ASSERT_EQ(Converter.Setup(2, 44100, 44100, 8, 0, 0.0), 1);
    EXPECT_EQ(Converter.GetOversampledFrames(), 4096u);
    // An impulse at frame 40 in the left channel, at frame 41 in the right.
    std::vector<double> Input(2 * 128 * 4, 0.0);
    Input[2 * 40] = 1.0;
    Input[2 * 41 + 1] = 1.0;

    uint64_t ullCount = 128;
    ASSERT_EQ(Converter.WriteInput(Input.data(), ullCount), 1);
    ASSERT_EQ(Converter.Process(), 1);
    EXPECT_EQ(Converter.OutputFIFO.GetFill(), 0u);
    EXPECT_EQ(Converter.ullConsumedFrames.load(), 0u);
    EXPECT_EQ(Converter.bDiscardBlock, 0);
    EXPECT_EQ(Converter.InputFIFO.GetFill(), 0u);

    const std::vector<double> Rest(Input.begin() + 256, Input.end());
    const std::vector<double> Output = Convert(Converter, Rest);
    EXPECT_EQ(Converter.ullConsumedFrames.load(), 3u * 128);
    // At equal rates each block spans its 2048 oversampled intervals in steps of 16: 128 frames.
    ASSERT_EQ(Output.size(), 2u * 3 * 128);
    for (uint64_t c = 0; c < 2; ++c)
    {
        uint64_t ullPeak = 0;
        for (uint64_t n = 0; n < Output.size() / 2; ++n)
        {
            if (std::fabs(Output[2 * n + c]) > std::fabs(Output[2 * ullPeak + c]))
            {
                ullPeak = n;
            }
        }
        EXPECT_EQ(ullPeak, 40 + c);
        EXPECT_NEAR(Output[2 * ullPeak + c], 1.0, 0.01);
    }
}

TEST(SamplingFrequencyConverter, ConstantInputSettlesWithinATenThousandth)
{
    for (double dfOutput : {44100.0, 48000.0})
    {
        SamplingFrequencyConverter Converter(FACTOR);
        ASSERT_EQ(Converter.Setup(2, 44100, dfOutput, 8, 0, 0.0), 1);
        const std::vector<double> Input(2 * 128 * 40, 0.5);
        const std::vector<double> Output = Convert(Converter, Input);
        const uint64_t ullFrames = Output.size() / 2;
        ASSERT_GE(ullFrames, 39u * 128);
        const uint64_t ullFirstBlock = static_cast<uint64_t>(128 * dfOutput / 44100) + 1;
        double dfWorst = 0.0;
        for (uint64_t n = ullFirstBlock; n < ullFrames; ++n)
        {
            dfWorst = std::max({dfWorst, std::fabs(Output[2 * n] - 0.5), std::fabs(Output[2 * n + 1] - 0.5)});
        }
        EXPECT_LT(dfWorst, 0.5e-4) << dfOutput;
    }
}

// A slow quadrature pair in (sine left, cosine right), so the phase of every output frame tells its
// position in input frames. The positions expected come from a smoother given the same targets at
// the same block boundaries.
TEST(SamplingFrequencyConverter, ImmediateAndRampedRateChangesMoveThePositions)
{
    constexpr uint64_t HOPS = 60;
    constexpr double OVERSAMPLED_RATE = 16.0 * 44100.0;
    constexpr double M = 2048.0;
    const double dfOmega = 2.0 * std::numbers::pi * 20.0 / 44100.0;
    std::vector<double> Input(2 * 128 * HOPS);
    for (uint64_t n = 0; n < Input.size() / 2; ++n)
    {
        Input[2 * n] = 0.5 * std::sin(dfOmega * static_cast<double>(n));
        Input[2 * n + 1] = 0.5 * std::cos(dfOmega * static_cast<double>(n));
    }
    struct Change
    {
        uint64_t ullAfterBlock;
        double dfRate;
        int32_t bImmediate;
    };
    const Change Changes[] = {{12, 22050.0, 1}, {20, 44100.0, 0}, {21, 30000.0, 0}, {30, 60000.0, 0}};

    SamplingFrequencyConverter Converter(FACTOR);
    ASSERT_EQ(Converter.Setup(2, 44100, 44100, 8, 0, 0.0), 1);
    ParameterSmoother Model;
    Model.Initialize(44100.0);
    std::vector<double> Expected;
    double dfCarry = 0.0;
    std::vector<double> Output;
    std::vector<double> Buffer(1 << 14);
    for (uint64_t ullHop = 0; ullHop < HOPS; ++ullHop)
    {
        uint64_t ullTaken = 128;
        uint64_t ullRead = Buffer.size() / 2;
        ASSERT_EQ(Converter.Convert(Input.data() + 256 * ullHop, ullTaken, Buffer.data(), ullRead), 1);
        ASSERT_EQ(ullTaken, 128u);
        Output.insert(Output.end(), Buffer.begin(),
                      Buffer.begin() + static_cast<std::ptrdiff_t>(2 * ullRead));
        if (ullHop >= 1)
        {
            // Output block ullHop - 1 (the first block was discarded): frame 0 at the carry, each
            // frame after it one step at its own rate further.
            double p = dfCarry;
            for (uint64_t j = 0;; ++j)
            {
                double r = 0.0;
                Model.Next(r);
                p += j > 0 ? OVERSAMPLED_RATE / r : 0.0;
                if (p >= M - 1.0)
                {
                    dfCarry = p - M;
                    break;
                }
                Expected.push_back((static_cast<double>(ullHop - 1) * M + p) / 16.0);
            }
        }
        for (const Change& Item : Changes)
        {
            if (Item.ullAfterBlock == ullHop)
            {
                ASSERT_EQ(Converter.SetOutputRate(Item.dfRate, Item.bImmediate), 1);
                const uint64_t ullSteps =
                    Item.bImmediate != 0 ? 1
                                         : static_cast<uint64_t>(std::floor(128.0 / 44100.0 * Item.dfRate));
                Model.SetTarget(Item.dfRate, ullSteps);
            }
        }
    }
    ASSERT_EQ(Output.size(), 2 * Expected.size());
    // The immediate change after block 12: the first frame computed afterwards still steps one
    // input frame, the second already two.
    uint64_t ullFirstAfter = 0;
    while (Expected[ullFirstAfter] < 12.0 * 128.0 - 1.0 / 16.0)
    {
        ++ullFirstAfter;
    }
    EXPECT_NEAR(Expected[ullFirstAfter] - Expected[ullFirstAfter - 1], 1.0, 1e-9);
    EXPECT_NEAR(Expected[ullFirstAfter + 1] - Expected[ullFirstAfter], 2.0, 1e-9);
    // Positions agree to a hundredth of a frame; one ramp step or one frame off is far more.
    for (uint64_t f = 512; f < Expected.size(); ++f)
    {
        const double dfPhase = std::atan2(Output[2 * f], Output[2 * f + 1]);
        const double dfError =
            std::remainder(dfPhase - dfOmega * Expected[f], 2.0 * std::numbers::pi) / dfOmega;
        ASSERT_LT(std::fabs(dfError), 0.01) << f;
    }
    EXPECT_EQ(Converter.dfOutputRate, 60000.0);
}

TEST(SamplingFrequencyConverter, RemovesASineAboveTheNewHalfRate)
{
    SamplingFrequencyConverter Converter(FACTOR);
    ASSERT_EQ(Converter.Setup(2, 44100, 48000, 8, 0, 0.0), 1);
    ASSERT_EQ(Converter.SetOutputRate(48000 / 2.52, 1), 1);
    // 15 kHz on the left is above 19048 / 2 Hz; 1 kHz on the right passes.
    const std::vector<double> Output = Convert(Converter, StereoSines(44100, 44100, 15000, 1000, 1.0));
    const uint64_t ullFrames = Output.size() / 2;
    ASSERT_GT(ullFrames, 15000u);
    std::vector<double> Left(ullFrames);
    std::vector<double> Right(ullFrames);
    for (uint64_t n = 0; n < ullFrames; ++n)
    {
        Left[n] = Output[2 * n];
        Right[n] = Output[2 * n + 1];
    }
    EXPECT_LT(RmsOf(Left, 1000, ullFrames - 1000), 1e-5);
    EXPECT_NEAR(RmsOf(Right, 1000, ullFrames - 1000), std::sqrt(0.5), 1e-3);
    EXPECT_NEAR(MeasureFrequency(Output, 1, 48000, 1000, ullFrames - 1000), 2520.0, 0.01);
}

// The shift moves a tone by whole bins of input rate / 256, up or down, for odd shifts too: the
// output is the moved tone at full level, not sidebands around it.
TEST(SamplingFrequencyConverter, ShiftMovesEveryComponentByWholeBins)
{
    for (int32_t iShift : {3, -3, 4, 1})
    {
        SamplingFrequencyConverter Converter(FACTOR);
        ASSERT_EQ(Converter.Setup(2, 44100, 44100, 8, iShift, 0.0), 1);
        const std::vector<double> Output = Convert(Converter, StereoSines(44100, 44100, 1000, 1000));
        const uint64_t ullFrames = Output.size() / 2;
        std::vector<double> Left(ullFrames);
        for (uint64_t n = 0; n < ullFrames; ++n)
        {
            Left[n] = Output[2 * n];
        }
        const double dfExpected = 1000.0 + iShift * 44100.0 / 256.0;
        EXPECT_NEAR(MeasureFrequency(Output, 0, 44100, 2000, ullFrames - 2000), dfExpected, 0.05) << iShift;
        EXPECT_NEAR(RmsOf(Left, 2000, ullFrames - 2000), 0.9 * std::sqrt(0.5), 2e-3) << iShift;
    }
}

TEST(SamplingFrequencyConverter, FullOutputQueueStopsWithoutConsumingInput)
{
    SamplingFrequencyConverter Converter(FACTOR);
    ASSERT_EQ(Converter.Setup(2, 44100, 48000, 8, 0, 0.0), 1);
    const std::vector<double> Hops(1024, 0.25);
    uint64_t ullConsumed = 0;
    for (int i = 0; i < 100; ++i)
    {
        uint64_t ullCount = Hops.size() / 2;
        ASSERT_EQ(Converter.WriteInput(Hops.data(), ullCount), 1);
        ASSERT_EQ(Converter.Process(), 1);
        if (Converter.ullConsumedFrames.load() == ullConsumed && Converter.InputFIFO.GetFill() > 0)
        {
            break;
        }
        ullConsumed = Converter.ullConsumedFrames.load();
    }
    // Less than C x N2 = 8192 free: nothing moves, however often Process runs.
    const uint64_t ullOutputFill = Converter.OutputFIFO.GetFill();
    const uint64_t ullInputFill = Converter.InputFIFO.GetFill();
    EXPECT_GT(ullOutputFill, 16384u - 8192u);
    EXPECT_GE(ullInputFill, 256u);
    EXPECT_EQ(Converter.Process(), 1);
    EXPECT_EQ(Converter.OutputFIFO.GetFill(), ullOutputFill);
    EXPECT_EQ(Converter.InputFIFO.GetFill(), ullInputFill);
    EXPECT_EQ(Converter.ullConsumedFrames.load(), ullConsumed);
    // Room again: the waiting hops are converted.
    std::vector<double> Sink(ullOutputFill);
    uint64_t ullRead = Sink.size() / 2;
    ASSERT_EQ(Converter.ReadOutput(Sink.data(), ullRead), 1);
    EXPECT_EQ(Converter.Process(), 1);
    EXPECT_GT(Converter.ullConsumedFrames.load(), ullConsumed);
}

// Each block spans exactly M oversampled intervals, so a long input at a fixed speed yields the
// frames its length asks for: every f with f x step below the last position reached.
TEST(SamplingFrequencyConverter, OutputCountFollowsTheSpeedExactly)
{
    struct Length
    {
        double dfInput;
        double dfOutput;
        double dfSpeed;
    };
    for (const Length& Item :
         {Length{44100, 48000, 1.0}, Length{44100, 48000, 2.52}, Length{8000, 96000, 0.5}})
    {
        SamplingFrequencyConverter Converter(FACTOR);
        ASSERT_EQ(Converter.Setup(2, Item.dfInput, Item.dfOutput, 8, 0, 0.0), 1);
        const double dfRate = Item.dfOutput / Item.dfSpeed;
        ASSERT_EQ(Converter.SetOutputRate(dfRate, 1), 1);
        constexpr uint64_t HOPS = 400;
        const std::vector<double> Output = Convert(Converter, std::vector<double>(2 * 128 * HOPS, 0.1));
        const double dfM = static_cast<double>(Converter.GetOversampledFrames() / 2);
        const double dfStep =
            static_cast<double>(uint64_t{1} << Converter.uiOversamplingOctaves) * Item.dfInput / dfRate;
        const double dfLastPosition = static_cast<double>(HOPS - 1) * dfM - 1.0;
        EXPECT_EQ(Output.size() / 2, static_cast<uint64_t>(std::ceil(dfLastPosition / dfStep)))
            << Item.dfSpeed;
        EXPECT_EQ(Converter.ullConsumedFrames.load(), (HOPS - 1) * 128);
    }
}

// The user-interface thread moves the speed while the playback thread converts.
TEST(SamplingFrequencyConverter, RateChangesFromAnotherThreadWhileConverting)
{
    SamplingFrequencyConverter Converter(FACTOR);
    ASSERT_EQ(Converter.Setup(2, 44100, 48000, 8, 0, 0.0), 1);
    std::atomic<bool> bDone{false};
    std::thread Slider(
        [&]
        {
            // However long the conversion takes, i only picks a speed and a ramp length: unsigned,
            // so no wait overflows it.
            for (uint64_t i = 0; !bDone.load(); ++i)
            {
                EXPECT_EQ(Converter.SetOutputRate(48000.0 / (0.5 + static_cast<double>(i % 50) * 0.04),
                                                  i % 7 == 0 ? 1 : 0),
                          1);
                std::this_thread::yield();
            }
        });
    const std::vector<double> Output = Convert(Converter, StereoSines(128 * 300, 44100, 440, 660));
    bDone.store(true);
    Slider.join();
    EXPECT_EQ(Converter.ullConsumedFrames.load(), 299u * 128);
    EXPECT_GT(Output.size(), 0u);
    EXPECT_LE(PeakOf(Output), 1.0);
}

// The rounds its users make refuse a converter that is not set up, null arrays and silence that
// does not fit, with every count 0.
TEST(SamplingFrequencyConverter, RoundsRefuseWhatTheyCannotMove)
{
    SamplingFrequencyConverter Converter(FACTOR);
    std::vector<double> Frames(2 * 512, 0.25);
    uint64_t ullIn = 4;
    uint64_t ullOut = 4;
    EXPECT_EQ(Converter.WriteInput(Frames.data(), ullIn), -1);
    EXPECT_EQ(ullIn, 0u);
    EXPECT_EQ(Converter.ReadOutput(Frames.data(), ullOut), -1);
    EXPECT_EQ(ullOut, 0u);
    ullIn = 4;
    ullOut = 4;
    EXPECT_EQ(Converter.Convert(Frames.data(), ullIn, Frames.data(), ullOut), -1);
    EXPECT_EQ(ullIn + ullOut, 0u);
    EXPECT_EQ(Converter.CompleteLastBlock(), -1);

    ASSERT_EQ(Converter.Setup(2, 44100, 48000, 8, 0, 0.0), 1);
    ullIn = 4;
    EXPECT_EQ(Converter.WriteInput(nullptr, ullIn), -1);
    EXPECT_EQ(ullIn, 0u);
    ullOut = 4;
    EXPECT_EQ(Converter.ReadOutput(nullptr, ullOut), -1);
    EXPECT_EQ(ullOut, 0u);
    // 3 frames waiting: 125 complete the hop, 128 more follow.
    ullIn = 3;
    ASSERT_EQ(Converter.WriteInput(Frames.data(), ullIn), 1);
    EXPECT_EQ(Converter.CompleteLastBlock(), 1);
    EXPECT_EQ(Converter.InputFIFO.GetFill(), 2u * 256);
    // 456 frames waiting: the queue of 512 frames has no room for the 184 frames of silence.
    ullIn = 200;
    ASSERT_EQ(Converter.WriteInput(Frames.data(), ullIn), 1);
    EXPECT_EQ(Converter.CompleteLastBlock(), -1);
}

// A ramp that starts and ends inside one block: the positions rise strictly, frame 0 sits at the
// carry, and each difference is one oversampled step at the rate the smoother gives that frame, so
// the speed follows the raised cosine instead of leaving it.
TEST(SamplingFrequencyConverter, PositionsDuringARampAreARunningSumOfTheSteps)
{
    for (const double dfNewRate : {48000.0 / 2.52, 48000.0 * 2.0})
    {
        SamplingFrequencyConverter Converter(FACTOR);
        ASSERT_EQ(Converter.Setup(2, 44100, 48000, 8, 0, 0.0), 1);
        const std::vector<double> Hops = StereoSines(3 * 128, 44100, 1000, 1000);
        std::vector<double> Sink(2 * 1024);
        uint64_t ullFrames = 2 * 128;
        uint64_t ullRead = 1024;
        ASSERT_EQ(Converter.Convert(Hops.data(), ullFrames, Sink.data(), ullRead), 1);
        ASSERT_GT(ullRead, 0u);
        const double dfCarry = Converter.dfReadPosition;
        // 20 steps: the ramp ends early in the next block of about 139 frames.
        ASSERT_EQ(Converter.pRateSmoother->SetTarget(dfNewRate, 20), 1);
        ParameterSmoother Model;
        Model.Initialize(48000.0);
        Model.SetTarget(dfNewRate, 20);
        ullFrames = 128;
        ullRead = 1024;
        ASSERT_EQ(Converter.Convert(Hops.data() + 2 * 2 * 128, ullFrames, Sink.data(), ullRead), 1);
        ASSERT_GT(ullRead, 40u);
        const double* pdfPosition = Converter.pdfPositions.get();
        EXPECT_EQ(pdfPosition[0], dfCarry);
        double r = 0.0;
        Model.Next(r);
        for (uint64_t j = 1; j < ullRead; ++j)
        {
            Model.Next(r);
            ASSERT_GT(pdfPosition[j], pdfPosition[j - 1]) << j;
            ASSERT_NEAR(pdfPosition[j] - pdfPosition[j - 1], 16.0 * 44100.0 / r, 1e-9) << j;
        }
        EXPECT_EQ(r, dfNewRate);
    }
}

// Twenty seconds at one fixed speed come out as they always have: frames far into the render hold
// the values recorded before the positions became a running sum during ramps.
TEST(SamplingFrequencyConverter, LongFixedSpeedRenderIsUnchanged)
{
    SamplingFrequencyConverter Converter(FACTOR);
    ASSERT_EQ(Converter.Setup(2, 44100, 48000, 8, 0, 0.0), 1);
    ASSERT_EQ(Converter.SetOutputRate(48000.0 / 1.1, 1), 1);
    const std::vector<double> Output = Convert(Converter, StereoSines(20 * 44100, 44100, 997, 13671));
    ASSERT_EQ(Output.size() / 2, 872522u);
    struct Recorded
    {
        uint64_t ullFrame;
        double dfLeft;
        double dfRight;
    };
    const Recorded Values[] = {
        {1000, -0.73497556154115773, 0.75532442187218762},
        {77777, 0.23701890453229746, 0.50900423979719189},
        {300001, 0.53878038565940978, 0.078781677005680298},
        {555555, 0.88944554362776584, -0.23966359895786379},
        {790000, -0.71398145258007129, 0.5747255222268588},
        {800099, -0.5071636637251643, 0.35099283389316094},
    };
    for (const Recorded& Item : Values)
    {
        EXPECT_NEAR(Output[2 * Item.ullFrame], Item.dfLeft, 1e-12) << Item.ullFrame;
        EXPECT_NEAR(Output[2 * Item.ullFrame + 1], Item.dfRight, 1e-12) << Item.ullFrame;
    }
}

// Equal channels (a mono file widened to stereo) come out equal to the bit, with a speed ramp
// running; channels that differ for a while and then agree again are equal again two blocks later.
TEST(SamplingFrequencyConverter, EqualChannelsStayEqualToTheBit)
{
    const double Pairs[][2] = {{44100, 48000}, {8000, 384000}, {96000, 44100}};
    for (const auto& Pair : Pairs)
    {
        SCOPED_TRACE(testing::Message() << Pair[0] << " -> " << Pair[1]);
        const uint64_t ullFrames = 40 * 128;
        std::vector<double> Input = StereoSines(ullFrames, Pair[0], 997.0, 997.0);
        for (uint64_t n = 0; n < ullFrames; ++n)
        {
            // Left and right differ from hop 10 to hop 20 only.
            Input[2 * n + 1] = n >= 10 * 128 && n < 20 * 128 ? 0.5 * Input[2 * n] : Input[2 * n];
        }
        SamplingFrequencyConverter Converter(FACTOR);
        ASSERT_EQ(Converter.Setup(2, Pair[0], Pair[1], 8, 0, 0.0), 1);
        ASSERT_EQ(Converter.SetOutputRate(Pair[1] / 1.3, 1), 1);
        const std::vector<double> Output = Convert(Converter, Input,
                                                   [&](uint64_t ullCall)
                                                   {
                                                       if (ullCall == 0)
                                                       {
                                                           Converter.SetOutputRate(Pair[1] / 0.7, 0);
                                                       }
                                                   });
        // The frames where the channels differ form one stretch around hops 10 ... 20, with agreeing
        // frames before it and a long run of them after it.
        const uint64_t ullOutputFrames = Output.size() / 2;
        uint64_t ullFirst = ullOutputFrames;
        uint64_t ullLast = 0;
        uint64_t ullDifferent = 0;
        for (uint64_t f = 0; f < ullOutputFrames; ++f)
        {
            if (std::memcmp(&Output[2 * f], &Output[2 * f + 1], sizeof(double)) != 0)
            {
                ullFirst = std::min(ullFirst, f);
                ullLast = f;
                ++ullDifferent;
            }
        }
        const double dfFramesPerHop = 128.0 * Pair[1] / Pair[0];
        EXPECT_GT(static_cast<double>(ullFirst), 8.0 * dfFramesPerHop / 1.3);
        EXPECT_LT(static_cast<double>(ullLast), static_cast<double>(ullOutputFrames) - 12.0 * dfFramesPerHop);
        EXPECT_GT(ullDifferent, 0u);
    }
}

// A restart forgets the signal so far: after other sound, with a shift and in the plain run too, with
// two phases and with 256, what follows comes out bit for bit as from a converter set up afresh,
// counted from the given frame.
TEST(SamplingFrequencyConverter, RestartConvertsLikeAFreshConverter)
{
    const double Rates[][2] = {{44100.0, 96000.0 / 1.3}, {192000.0, 32000.0}, {8000.0, 192000.0}};
    for (const auto& Rate : Rates)
    {
        const std::vector<double> Before = StereoSines(5000, Rate[0], Rate[0] / 15, Rate[0] / 6);
        const std::vector<double> After = StereoSines(7000, Rate[0], Rate[0] / 100, Rate[0] / 35, 0.5);
        for (const int32_t iShift : {0, 3})
        {
            // The plain run's reference transforms are slow at many phases; one rate shows it.
            const std::vector<bool> Runs =
                &Rate == &Rates[0] ? std::vector<bool>{false, true} : std::vector<bool>{false};
            for (const bool bPlain : Runs)
            {
                SCOPED_TRACE(std::to_string(Rate[0]) + " -> " + std::to_string(Rate[1]) + ", shift " +
                             std::to_string(iShift) + (bPlain ? " plain" : " fast"));
                SamplingFrequencyConverter Fresh(FACTOR);
                SamplingFrequencyConverter Restarted(FACTOR);
                for (SamplingFrequencyConverter* pConverter : {&Fresh, &Restarted})
                {
                    if (bPlain)
                    {
                        pConverter->UsePlainTransforms(ReferenceForwardFFT, ReferenceInverseFFT);
                    }
                    // At a steady rate from the start: the restart keeps the rate (and a ramp under way).
                    ASSERT_EQ(pConverter->Setup(2, Rate[0], Rate[1], 8, iShift, 0.0), 1);
                }
                Convert(Restarted, Before);
                ASSERT_EQ(Restarted.Restart(123456), 1);
                EXPECT_EQ(Restarted.ullConsumedFrames.load(), 123456u);
                const std::vector<double> Expected = Convert(Fresh, After);
                const std::vector<double> Got = Convert(Restarted, After);
                ASSERT_EQ(Got.size(), Expected.size());
                EXPECT_EQ(std::memcmp(Got.data(), Expected.data(), Got.size() * sizeof(double)), 0);
                EXPECT_EQ(Restarted.ullConsumedFrames.load(), 123456u + Fresh.ullConsumedFrames.load());
            }
        }
    }
    SamplingFrequencyConverter Unready(FACTOR);
    EXPECT_EQ(Unready.Restart(0), -1);
}
