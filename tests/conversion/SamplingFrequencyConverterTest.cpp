#include "conversion/SamplingFrequencyConverter.h"
#include "conversion/TransformKernels.h"
#include "tests/common/ReferenceTransform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <numbers>
#include <thread>
#include <vector>

namespace
{
constexpr double FACTOR = 10.0;

// Feeds the interleaved input through the converter as far as it goes and collects every output
// sample. After each Process, BetweenCalls (when given) may change the rate.
std::vector<double> Convert(SamplingFrequencyConverter& Converter, const std::vector<double>& Input,
                            const std::function<void(uint64_t)>& BetweenCalls = nullptr)
{
    std::vector<double> Output;
    std::vector<double> Buffer(1 << 16);
    uint64_t ullPosition = 0;
    uint64_t ullCall = 0;
    for (;;)
    {
        uint64_t ullCount = Input.size() - ullPosition;
        if (ullCount > 0)
        {
            EXPECT_EQ(Converter.InputFIFO.Write(Input.data() + ullPosition, ullCount), 1);
            ullPosition += ullCount;
        }
        EXPECT_EQ(Converter.Process(), 1);
        if (BetweenCalls)
        {
            BetweenCalls(ullCall);
        }
        ++ullCall;
        uint64_t ullRead = Buffer.size();
        EXPECT_EQ(Converter.OutputFIFO.Read(Buffer.data(), ullRead), 1);
        Output.insert(Output.end(), Buffer.begin(), Buffer.begin() + static_cast<std::ptrdiff_t>(ullRead));
        if (ullPosition == Input.size() && ullRead == 0 &&
            Converter.InputFIFO.GetFill() < Converter.ullChannels * Converter.GetBlockFrames() / 2)
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
    std::vector<uint64_t> Reverse(N, 0);
    for (uint64_t b = 1, a = N / 2; b < N; b *= 2, a /= 2)
    {
        for (uint64_t i = 0; i < b; ++i)
        {
            Reverse[b + i] = Reverse[i] + a;
        }
    }
    for (uint64_t k = 0; k < N; ++k)
    {
        pdfOutput[2 * k] = pdfInput[2 * Reverse[k]];
        pdfOutput[2 * k + 1] = -pdfInput[2 * Reverse[k] + 1];
    }
    for (uint64_t c = 2; c <= N; c *= 2)
    {
        const uint64_t half = c / 2;
        for (uint64_t j = 0; j < half; ++j)
        {
            const double dfAngle = std::numbers::pi * static_cast<double>(j) / static_cast<double>(half);
            const double dfWRe = std::cos(dfAngle);
            const double dfWIm = -std::sin(dfAngle);
            for (uint64_t k = j; k < N; k += c)
            {
                double* a = pdfOutput + 2 * k;
                double* b = pdfOutput + 2 * (k + half);
                const double dfTRe = dfWRe * b[0] - dfWIm * b[1];
                const double dfTIm = dfWRe * b[1] + dfWIm * b[0];
                b[0] = a[0] - dfTRe;
                b[1] = a[1] - dfTIm;
                a[0] += dfTRe;
                a[1] += dfTIm;
            }
        }
    }
    return 1;
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

    // An oversampling factor that would step below one sample per frame.
    SamplingFrequencyConverter Odd(0.5);
    EXPECT_EQ(Odd.Setup(2, 44100, 48000, 8, 0, 0.0), -1);

    EXPECT_EQ(Converter.Release(), 1);
    EXPECT_EQ(Converter.bReady, 0);
    EXPECT_EQ(Converter.SetOutputRate(48000, 1), -1);
    EXPECT_EQ(Converter.Process(), 1);
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
