#include "conversion/TransformKernels.h"
#include "tests/common/ReferenceTransform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <thread>
#include <vector>

namespace
{
std::vector<double> MakeSignal(uint64_t ullCount, uint64_t ullSeed)
{
    std::vector<double> Signal(ullCount);
    uint64_t ullState = ullSeed * 0x9E3779B97F4A7C15ull + 1;
    for (double& dfValue : Signal)
    {
        ullState = ullState * 6364136223846793005ull + 1442695040888963407ull;
        dfValue = static_cast<double>(ullState >> 11) / 9007199254740992.0 * 2.0 - 1.0;
    }
    return Signal;
}

double PeakMagnitude(const std::vector<double>& Values)
{
    double dfPeak = 0.0;
    for (size_t i = 0; i + 1 < Values.size(); i += 2)
    {
        dfPeak = std::max(dfPeak, std::hypot(Values[i], Values[i + 1]));
    }
    return dfPeak;
}

// Largest deviation of the kernel's result from the reference's, and the number of values whose
// bits differ.
struct Comparison
{
    double dfMaxError = 0.0;
    uint64_t ullDifferentBits = 0;
};

Comparison Compare(const std::vector<double>& Kernel, const std::vector<double>& Reference)
{
    Comparison Result;
    for (size_t i = 0; i < Kernel.size(); ++i)
    {
        Result.dfMaxError = std::max(Result.dfMaxError, std::fabs(Kernel[i] - Reference[i]));
        if (std::memcmp(&Kernel[i], &Reference[i], sizeof(double)) != 0)
        {
            ++Result.ullDifferentBits;
        }
    }
    return Result;
}

// The literal algorithm's running twiddles drift by more than 1e-12 of the peak from here on.
constexpr uint32_t LITERAL_DRIFT_ORDER = 17;

// To the bit where bBitExact. Otherwise (exact twiddles) within 1e-13 of the peak of the literal
// butterflies with exact twiddles, and within 1e-12 of the literal algorithm up to the order where
// its own drift gets larger.
void ExpectSameAsReference(const std::vector<double>& Kernel, const std::vector<double>& Reference,
                           const std::vector<double>& Exact, const char* szWhat, uint32_t uiOrder,
                           bool bBitExact)
{
    const Comparison Result = Compare(Kernel, Reference);
    if (bBitExact)
    {
        EXPECT_EQ(Result.ullDifferentBits, 0u) << szWhat << " order " << uiOrder;
        return;
    }
    if (uiOrder < LITERAL_DRIFT_ORDER)
    {
        EXPECT_LE(Result.dfMaxError, 1e-12 * PeakMagnitude(Reference)) << szWhat << " order " << uiOrder;
    }
    EXPECT_LE(Compare(Kernel, Exact).dfMaxError, 1e-13 * PeakMagnitude(Exact))
        << szWhat << " order " << uiOrder;
}
} // namespace

namespace
{
void ExpectEveryOrderSameAsReference(const char* szPath, bool bBitExact)
{
    for (uint32_t uiOrder = 0; uiOrder <= 17; ++uiOrder)
    {
        SCOPED_TRACE(szPath);
        const uint64_t N = uint64_t{1} << uiOrder;
        const std::vector<double> Real = MakeSignal(N, uiOrder);
        const std::vector<double> Complex = MakeSignal(2 * N, uiOrder + 100);
        std::vector<double> Kernel(2 * N);
        std::vector<double> Reference(2 * N);
        // The exact-twiddle yardstick: of the real input widened, of the complex input, and of the
        // conjugated complex input.
        std::vector<double> RealExact(2 * N);
        std::vector<double> ComplexExact(2 * N);
        std::vector<double> ConjugateExact(2 * N);
        std::vector<double> Widened(2 * N, 0.0);
        std::vector<double> Conjugated = Complex;
        for (uint64_t k = 0; k < N; ++k)
        {
            Widened[2 * k] = Real[k];
            Conjugated[2 * k + 1] = -Complex[2 * k + 1];
        }
        ReferenceExactFFTComplex(Widened.data(), RealExact.data(), uiOrder);
        ReferenceExactFFTComplex(Complex.data(), ComplexExact.data(), uiOrder);
        ReferenceExactFFTComplex(Conjugated.data(), ConjugateExact.data(), uiOrder);

        ASSERT_EQ(FFTReal(Real.data(), Kernel.data(), uiOrder), 1);
        ReferenceFFTReal(Real.data(), Reference.data(), uiOrder);
        ExpectSameAsReference(Kernel, Reference, RealExact, "FFTReal", uiOrder, bBitExact);

        ASSERT_EQ(FFTComplex(Complex.data(), Kernel.data(), uiOrder), 1);
        ReferenceFFTComplex(Complex.data(), Reference.data(), uiOrder);
        ExpectSameAsReference(Kernel, Reference, ComplexExact, "FFTComplex", uiOrder, bBitExact);

        ASSERT_EQ(ForwardFFT(Real.data(), Kernel.data(), uiOrder), 1);
        ReferenceForwardFFT(Real.data(), Reference.data(), uiOrder);
        for (double& dfValue : RealExact)
        {
            dfValue /= static_cast<double>(N);
        }
        ExpectSameAsReference(Kernel, Reference, RealExact, "ForwardFFT", uiOrder, bBitExact);

        std::vector<double> KernelInput = Complex;
        std::vector<double> ReferenceInput = Complex;
        ASSERT_EQ(InverseFFT(KernelInput.data(), Kernel.data(), uiOrder), 1);
        ReferenceInverseFFT(ReferenceInput.data(), Reference.data(), uiOrder);
        ExpectSameAsReference(Kernel, Reference, ConjugateExact, "InverseFFT", uiOrder, bBitExact);
        EXPECT_EQ(Compare(KernelInput, ReferenceInput).ullDifferentBits, 0u) << "conjugated input";
    }
}
} // namespace

TEST(TransformKernels, MatchTheLiteralAlgorithmAtEveryOrder)
{
    // Both vector paths where the processor has the wide one; the narrow one alone elsewhere. The
    // 128-bit path runs the literal butterflies and twiddles and agrees to the bit; the wide one
    // takes exact twiddles and fused multiply-adds (and so is closer to the exact transform).
    SetFFTWideVectors(0);
    ExpectEveryOrderSameAsReference("128-bit path", true);
    if (SetFFTWideVectors(1) == 1)
    {
        ExpectEveryOrderSameAsReference("256-bit path", false);
    }
}

// The transforms that take their input in bit-reversed order (the converter's rows) against the
// literal transform of the same values in natural order: in place, and with the products
// conj(x) w formed on the way in, one row or four at a time, at every order (the weighted one has
// its own passes up to 2^10 points), on each vector path.
TEST(TransformKernels, BitReversedInputsGiveTheLiteralSpectrum)
{
    for (const int32_t bWide : {0, 1})
    {
        if (SetFFTWideVectors(bWide) != bWide)
        {
            continue;
        }
        for (uint32_t uiOrder = 0; uiOrder <= 13; ++uiOrder)
        {
            SCOPED_TRACE(testing::Message() << (bWide != 0 ? "256-bit" : "128-bit") << " order " << uiOrder);
            const uint64_t N = uint64_t{1} << uiOrder;
            ASSERT_EQ(PrepareFFT(uiOrder), 1);
            const uint32_t* puiReverse = GetBitReversal(uiOrder);
            ASSERT_NE(puiReverse, nullptr);
            const std::vector<double> Values = MakeSignal(2 * N, uiOrder + 200);
            const std::vector<double> Weights = MakeSignal(2 * N, uiOrder + 300);
            // conj(x) w in natural order, the values whose literal transform the weighted ones give.
            const auto Products = [&Values, N](const std::vector<double>& W)
            {
                std::vector<double> Result(2 * N);
                for (uint64_t k = 0; k < N; ++k)
                {
                    const double dfRe = Values[2 * k];
                    const double dfIm = -Values[2 * k + 1];
                    Result[2 * k] = dfRe * W[2 * k] - dfIm * W[2 * k + 1];
                    Result[2 * k + 1] = dfRe * W[2 * k + 1] + dfIm * W[2 * k];
                }
                return Result;
            };
            std::vector<double> Reversed(2 * N);
            std::vector<double> ReversedWeights(2 * N);
            for (uint64_t k = 0; k < N; ++k)
            {
                for (uint64_t i = 0; i < 2; ++i)
                {
                    Reversed[2 * k + i] = Values[2 * puiReverse[k] + i];
                    ReversedWeights[2 * k + i] = Weights[2 * puiReverse[k] + i];
                }
            }
            std::vector<double> Reference(2 * N);
            ReferenceFFTComplex(Values.data(), Reference.data(), uiOrder);
            ASSERT_EQ(FFTComplexFromBitReversed(Reversed.data(), uiOrder), 1);
            EXPECT_LE(Compare(Reversed, Reference).dfMaxError, 1e-12 * PeakMagnitude(Reference));

            ReferenceFFTComplex(Products(Weights).data(), Reference.data(), uiOrder);
            std::vector<double> Weighted(2 * N);
            std::vector<double> Input(2 * N);
            for (uint64_t k = 0; k < 2 * N; ++k)
            {
                Input[k] = Values[(2 * puiReverse[k / 2]) + k % 2];
            }
            ASSERT_EQ(
                FFTWeightedFromBitReversed(Input.data(), ReversedWeights.data(), Weighted.data(), uiOrder),
                1);
            EXPECT_LE(Compare(Weighted, Reference).dfMaxError, 1e-12 * PeakMagnitude(Reference));

            // Four rows at once: the weights and the results of the four interleaved per bin, next to
            // each other or, as in a converter frame of many phases, far apart (up to 2^10 points).
            std::vector<double> FourWeights(8 * N);
            for (uint64_t r = 0; r < 4; ++r)
            {
                const std::vector<double> RowWeights = MakeSignal(2 * N, uiOrder + 400 + r);
                for (uint64_t k = 0; k < N; ++k)
                {
                    FourWeights[8 * k + r] = RowWeights[2 * puiReverse[k]];
                    FourWeights[8 * k + 4 + r] = RowWeights[2 * puiReverse[k] + 1];
                }
            }
            for (const uint64_t ullStride : {uint64_t{8}, uint64_t{1028}})
            {
                if (ullStride > 8 && uiOrder > 10)
                {
                    continue;
                }
                std::vector<double> Four(ullStride * N);
                std::vector<double> Scratch(8 * N);
                ASSERT_EQ(FFTWeightedFourFromBitReversed(Input.data(), FourWeights.data(), Scratch.data(),
                                                         Four.data(), Four.data() + 4, ullStride, uiOrder),
                          1);
                for (uint64_t r = 0; r < 4; ++r)
                {
                    const std::vector<double> RowWeights = MakeSignal(2 * N, uiOrder + 400 + r);
                    std::vector<double> Row(2 * N);
                    for (uint64_t k = 0; k < N; ++k)
                    {
                        Row[2 * k] = Four[ullStride * k + r];
                        Row[2 * k + 1] = Four[ullStride * k + 4 + r];
                    }
                    ReferenceFFTComplex(Products(RowWeights).data(), Reference.data(), uiOrder);
                    EXPECT_LE(Compare(Row, Reference).dfMaxError, 1e-12 * PeakMagnitude(Reference))
                        << "row " << r << ", stride " << ullStride;
                }
            }
        }
    }
    SetFFTWideVectors(1);
    EXPECT_EQ(FFTWeightedFromBitReversed(nullptr, nullptr, nullptr, 8), -4);
    double adfSome[8] = {};
    EXPECT_EQ(FFTWeightedFourFromBitReversed(nullptr, nullptr, nullptr, nullptr, nullptr, 8, 8), -4);
    EXPECT_EQ(FFTWeightedFourFromBitReversed(adfSome, adfSome, adfSome, adfSome, adfSome, 3, 0), -4);
}

TEST(TransformKernels, ConstantAndImpulseGiveTheirKnownSpectra)
{
    std::vector<double> Ones(256, 1.0);
    std::vector<double> Spectrum(512, -1.0);
    ASSERT_EQ(ForwardFFT(Ones.data(), Spectrum.data(), 8), 1);
    EXPECT_NEAR(Spectrum[0], 1.0, 1e-15);
    for (size_t i = 1; i < Spectrum.size(); ++i)
    {
        ASSERT_NEAR(Spectrum[i], 0.0, 1e-15) << i;
    }

    std::vector<double> Impulse(256, 0.0);
    Impulse[0] = 1.0;
    ASSERT_EQ(ForwardFFT(Impulse.data(), Spectrum.data(), 8), 1);
    for (size_t k = 0; k < 256; ++k)
    {
        ASSERT_EQ(Spectrum[2 * k], 1.0 / 256.0) << k;
        ASSERT_EQ(Spectrum[2 * k + 1], 0.0) << k;
    }
    EXPECT_EQ(Impulse[0], 1.0);

    std::vector<double> DC(2 * 4096, 0.0);
    DC[0] = 1.0;
    std::vector<double> Signal(2 * 4096, -1.0);
    ASSERT_EQ(InverseFFT(DC.data(), Signal.data(), 12), 1);
    for (size_t n = 0; n < 4096; ++n)
    {
        ASSERT_EQ(Signal[2 * n], 1.0) << n;
    }

    // N = 1: no stage runs, the output is the input.
    const double adfOne[2] = {0.75, -0.25};
    double adfOut[2] = {0.0, 0.0};
    ASSERT_EQ(FFTComplex(adfOne, adfOut, 0), 1);
    EXPECT_EQ(adfOut[0], 0.75);
    EXPECT_EQ(adfOut[1], -0.25);
    ASSERT_EQ(ForwardFFT(adfOne, adfOut, 0), 1);
    EXPECT_EQ(adfOut[0], 0.75);
    EXPECT_EQ(adfOut[1], 0.0);
}

TEST(TransformKernels, PositiveFrequencyLandsInItsOwnBin)
{
    // e^(+2 pi i m n / N) has all its energy in bin m with X[k] = sum x[n] e^(-2 pi i kn / N).
    constexpr uint32_t ORDER = 6;
    constexpr uint64_t N = 64;
    constexpr uint64_t BIN = 5;
    std::vector<double> Tone(2 * N);
    for (uint64_t n = 0; n < N; ++n)
    {
        const double dfPhase = 2.0 * std::numbers::pi * static_cast<double>(BIN * n) / static_cast<double>(N);
        Tone[2 * n] = std::cos(dfPhase);
        Tone[2 * n + 1] = std::sin(dfPhase);
    }
    const std::vector<double> Unchanged = Tone;
    std::vector<double> Spectrum(2 * N);
    ASSERT_EQ(FFTComplex(Tone.data(), Spectrum.data(), ORDER), 1);
    EXPECT_EQ(Tone, Unchanged);
    for (uint64_t k = 0; k < N; ++k)
    {
        EXPECT_NEAR(Spectrum[2 * k], k == BIN ? 64.0 : 0.0, 1e-12) << k;
        EXPECT_NEAR(Spectrum[2 * k + 1], 0.0, 1e-12) << k;
    }
}

TEST(TransformKernels, ForwardThenInverseGivesTheInputBack)
{
    for (uint32_t uiOrder : {1u, 2u, 5u, 8u, 12u, 15u})
    {
        const uint64_t N = uint64_t{1} << uiOrder;
        const std::vector<double> Input = MakeSignal(N, 7 * uiOrder);
        std::vector<double> Spectrum(2 * N);
        std::vector<double> Output(2 * N);
        ASSERT_EQ(ForwardFFT(Input.data(), Spectrum.data(), uiOrder), 1);
        const std::vector<double> Before = Spectrum;
        ASSERT_EQ(InverseFFT(Spectrum.data(), Output.data(), uiOrder), 1);
        double dfError = 0.0;
        for (uint64_t n = 0; n < N; ++n)
        {
            dfError = std::max(dfError, std::fabs(Output[2 * n] - Input[n]));
            // The inverse's input is conjugated in place.
            ASSERT_EQ(Spectrum[2 * n], Before[2 * n]);
            ASSERT_EQ(Spectrum[2 * n + 1], -Before[2 * n + 1]);
        }
        // The running twiddle rotation loses accuracy in proportion to the length.
        EXPECT_LE(dfError, 1e-15 * static_cast<double>(N)) << "order " << uiOrder;
    }
}

TEST(TransformKernels, RefuseNullArraysAndOrdersBeyondTheLimit)
{
    std::vector<double> Buffer(16, 1.0);
    std::vector<double> Output(16, 3.0);
    EXPECT_EQ(FFTReal(nullptr, Output.data(), 3), -4);
    EXPECT_EQ(FFTComplex(Buffer.data(), nullptr, 3), -4);
    EXPECT_EQ(ForwardFFT(nullptr, Output.data(), 3), -4);
    EXPECT_EQ(InverseFFT(Buffer.data(), nullptr, 3), -4);
    EXPECT_EQ(InverseFFT(Buffer.data(), Output.data(), FFT_MAX_ORDER + 1), -4);
    EXPECT_EQ(PrepareFFT(FFT_MAX_ORDER + 1), -4);
    // Nothing was touched, not even the inverse's input.
    EXPECT_EQ(Buffer, std::vector<double>(16, 1.0));
    EXPECT_EQ(Output, std::vector<double>(16, 3.0));
    EXPECT_EQ(PrepareFFT(3), 1);
    EXPECT_EQ(PrepareFFT(3), 1);
}

TEST(TransformKernelsThreads, ThreadsMeetingOnUnpreparedOrdersAgreeWithTheReference)
{
    // Orders no other test uses, so their tables are built here while threads race for them. The
    // wide path is held to the exact-twiddle yardstick, the narrow one to the literal algorithm's bits.
    constexpr uint32_t FIRST = 18;
    constexpr uint32_t LAST = 19;
    const bool bWide = SetFFTWideVectors(1) == 1;
    std::vector<std::vector<double>> Inputs;
    std::vector<std::vector<double>> Expected;
    for (uint32_t uiOrder = FIRST; uiOrder <= LAST; ++uiOrder)
    {
        const uint64_t N = uint64_t{1} << uiOrder;
        Inputs.push_back(MakeSignal(2 * N, uiOrder));
        Expected.emplace_back(2 * N);
        (bWide ? ReferenceExactFFTComplex : ReferenceFFTComplex)(Inputs.back().data(), Expected.back().data(),
                                                                 uiOrder);
    }

    std::vector<uint64_t> Mismatches(3, 0);
    std::vector<std::thread> Threads;
    for (size_t t = 0; t < Mismatches.size(); ++t)
    {
        Threads.emplace_back(
            [&, t]
            {
                for (uint32_t i = 0; i <= LAST - FIRST; ++i)
                {
                    // Each thread starts on a different order.
                    const uint32_t uiIndex = (i + static_cast<uint32_t>(t)) % (LAST - FIRST + 1);
                    std::vector<double> Output(Expected[uiIndex].size());
                    if (FFTComplex(Inputs[uiIndex].data(), Output.data(), FIRST + uiIndex) != 1)
                    {
                        ++Mismatches[t];
                    }
                    const Comparison Result = Compare(Output, Expected[uiIndex]);
                    if (bWide ? Result.dfMaxError > 1e-13 * PeakMagnitude(Expected[uiIndex])
                              : Result.ullDifferentBits != 0)
                    {
                        ++Mismatches[t];
                    }
                }
            });
    }
    for (std::thread& Thread : Threads)
    {
        Thread.join();
    }
    EXPECT_EQ(Mismatches, std::vector<uint64_t>(Mismatches.size(), 0));
}
