#include "output/Quantizer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace
{
struct WorkedRow
{
    uint32_t uiBits;
    std::vector<double> Inputs;
    std::vector<uint32_t> Words;
    std::vector<double> Errors;
};

void Prepare(Quantizer& Q, uint32_t uiLogicalBits, uint32_t uiDeviceBits)
{
    ASSERT_EQ(Q.Initialize(uiLogicalBits, uiDeviceBits, 1), 1);
}
} // namespace

TEST(Quantizer, WorkedValuesTable)
{
    const std::vector<WorkedRow> Rows = {
        {16, {0.5, 0.5, 0.5, 0.5}, {0x3FFF0000, 0x40000000, 0x3FFF0000, 0x40000000}, {0.5, 0.0, 0.5, 0.0}},
        {16, {1.0, -1.0}, {0x7FFF0000, 0x80010000}, {0.0, 0.0}},
        {24, {1.0, -1.0}, {0x7FFFFF00, 0x80000100}, {0.0, 0.0}},
        {32, {0.5, -0.5}, {0x3FFFFFFF, 0xC0000001}, {0.5, 0.0}},
        {2, {0.3, 0.3, 0.3, 0.3}, {0x00000000, 0x40000000, 0x00000000, 0x00000000}, {0.3, -0.4, -0.1, 0.2}},
    };
    for (const WorkedRow& Row : Rows)
    {
        for (uint32_t uiChannel = 0; uiChannel < 2; ++uiChannel)
        {
            Quantizer Q;
            ASSERT_EQ(Q.Initialize(Row.uiBits, 32, 0), 1);
            for (size_t i = 0; i < Row.Inputs.size(); ++i)
            {
                SCOPED_TRACE(testing::Message()
                             << "L=" << Row.uiBits << " channel " << uiChannel << " input " << i);
                EXPECT_EQ(Q.Quantize(Row.Inputs[i], uiChannel), Row.Words[i]);
                EXPECT_NEAR(Q.GetError(uiChannel), Row.Errors[i], 1e-9);
            }
        }
    }
}

TEST(Quantizer, InitializeDerivesGridAndRefusesBadBitCounts)
{
    Quantizer Q;
    Prepare(Q, 16, 24);
    EXPECT_EQ(Q.GetCodeMask(), 0xFFFF0000u);
    EXPECT_EQ(Q.GetCodeUnit(), 0x00010000u);
    EXPECT_EQ(Q.GetMaxCode(), 32767.0);
    EXPECT_EQ(Q.GetEnhancer(), 1);
    // A new Initialize starts the accumulators from 0 again.
    Q.Quantize(0.5, 0);
    ASSERT_EQ(Q.Initialize(16, 16, 0), 1);
    EXPECT_EQ(Q.GetEnhancer(), 0);
    EXPECT_EQ(Q.GetError(0), 0.0);

    // The one-bit grid has no code but 0; it must not turn 0 x infinity into a word.
    ASSERT_EQ(Q.Initialize(1, 8, 0), 1);
    EXPECT_EQ(Q.GetCodeMask(), 0x80000000u);
    EXPECT_EQ(Q.Quantize(1.0, 0), 0u);
    EXPECT_EQ(Q.Quantize(-1.0, 1), 0u);

    const uint32_t Refused[][2] = {{0, 16}, {17, 16}, {8, 12}, {8, 40}, {1, 0}};
    for (const auto& Bits : Refused)
    {
        Prepare(Q, 16, 16);
        EXPECT_EQ(Q.Quantize(0.5, 0), 0x3FFF0000u);
        EXPECT_EQ(Q.Initialize(Bits[0], Bits[1], 1), -4) << Bits[0] << "/" << Bits[1];
        EXPECT_EQ(Q.IsInitialized(), 0);
        EXPECT_EQ(Q.GetEnhancer(), 0);
        EXPECT_EQ(Q.GetStep(), 0.0);
        // An unusable quantiser yields silence instead of touching freed accumulators.
        EXPECT_EQ(Q.Quantize(0.5, 0), 0u);
    }
}

TEST(Quantizer, OverRangeInputIsLimitedAndLeavesTheErrorAlone)
{
    Quantizer Q;
    Prepare(Q, 16, 16);
    ASSERT_EQ(Q.Quantize(0.5, 0), 0x3FFF0000u);
    ASSERT_EQ(Q.GetError(0), 0.5);
    // Beyond full scale: the largest codes, never 0x80000000, and the excess is not fed back.
    EXPECT_EQ(Q.Quantize(1.5, 0), 0x7FFF0000u);
    EXPECT_EQ(Q.GetError(0), 0.5);
    EXPECT_EQ(Q.Quantize(-1.5, 0), 0x80010000u);
    EXPECT_EQ(Q.GetError(0), 0.5);
    EXPECT_EQ(Q.Quantize(-std::numeric_limits<double>::infinity(), 0), 0x80010000u);
    // The carried half step still pays out on the next in-range sample.
    EXPECT_EQ(Q.Quantize(0.5, 0), 0x40000000u);
    EXPECT_EQ(Q.GetError(0), 0.0);

    Quantizer Q24;
    Prepare(Q24, 24, 24);
    EXPECT_EQ(Q24.Quantize(1.5, 1), 0x7FFFFF00u);
    EXPECT_EQ(Q24.Quantize(-1.5, 1), 0x80000100u);
    EXPECT_EQ(Q24.GetError(1), 0.0);
}

TEST(Quantizer, NaNAndBadChannelGiveSilenceWithoutPoisoningTheChannel)
{
    Quantizer Q;
    Prepare(Q, 16, 16);
    EXPECT_EQ(Q.Quantize(std::numeric_limits<double>::quiet_NaN(), 0), 0u);
    EXPECT_EQ(Q.GetError(0), 0.0);
    EXPECT_EQ(Q.Quantize(0.5, 2), 0u);
    EXPECT_EQ(Q.Quantize(0.5, 0), 0x3FFF0000u);
}

TEST(Quantizer, ChannelsKeepSeparateAccumulators)
{
    Quantizer Q;
    Prepare(Q, 16, 16);
    EXPECT_EQ(Q.Quantize(0.5, 0), 0x3FFF0000u);
    // Channel 1 starts from its own zero accumulator, not from channel 0's half step.
    EXPECT_EQ(Q.Quantize(0.5, 1), 0x3FFF0000u);
    EXPECT_EQ(Q.Quantize(-0.25, 1), 0xE0010000u);
    EXPECT_EQ(Q.GetError(0), 0.5);
    EXPECT_EQ(Q.Quantize(0.5, 0), 0x40000000u);
    EXPECT_EQ(Q.GetError(0), 0.0);
    EXPECT_EQ(Q.GetError(1), -0.25);
}

TEST(Quantizer, ConstantInputAveragesOnTheLogicalGrid)
{
    Quantizer Q;
    Prepare(Q, 12, 16);
    EXPECT_EQ(Q.Quantize(0.0, 1), 0u);
    // A constant between two codes: the codes alternate so that their average is the input, and
    // every bit below the top 12 stays 0.
    const double dfCodes = 0.3 * Q.GetMaxCode();
    double dfSum = 0.0;
    const int iCount = 10000;
    for (int i = 0; i < iCount; ++i)
    {
        const uint32_t uiWord = Q.Quantize(0.3, 0);
        ASSERT_EQ(uiWord & 0x000FFFFFu, 0u);
        const double dfCode = static_cast<double>(static_cast<int32_t>(uiWord) >> 20);
        ASSERT_TRUE(dfCode == std::floor(dfCodes) || dfCode == std::ceil(dfCodes)) << dfCode;
        dfSum += dfCode;
    }
    EXPECT_NEAR(dfSum / iCount, dfCodes, 1.0 / iCount);
}

namespace
{
// The rounding with error feedback written out step by step, decision by decision, as the yardstick
// for the branch-free quantiser: it must give the same words and the same accumulators.
struct LiteralQuantizer
{
    explicit LiteralQuantizer(uint32_t uiBits)
        : dfMaxCode(std::ldexp(1.0, static_cast<int>(uiBits) - 1) - 1.0), dfStep(1.0 / dfMaxCode),
          uiMask(static_cast<uint32_t>(((uint64_t{1} << uiBits) - 1) << (32 - uiBits))),
          uiUnit(uint32_t{1} << (32 - uiBits))
    {
    }

    uint32_t Quantize(double dfSample, uint32_t c)
    {
        double x = std::isnan(dfSample) ? 0.0 : dfSample;
        if (x > 1.0)
        {
            x = 1.0;
        }
        else if (x < -1.0)
        {
            x = -1.0;
        }
        const double v = x / dfStep;
        const double t = std::trunc(v);
        double q = t;
        if (v - t > 0.5)
        {
            q = t + 1.0;
        }
        else if (v - t < -0.5)
        {
            q = t - 1.0;
        }
        double e = Error[c] + (v - q);
        for (;;)
        {
            if (e > 0.5)
            {
                e -= 1.0;
                q += 1.0;
            }
            else if (e < -0.5)
            {
                e += 1.0;
                q -= 1.0;
            }
            else
            {
                break;
            }
        }
        if (q > dfMaxCode)
        {
            e += dfMaxCode - v;
            q = dfMaxCode;
        }
        else if (q < -dfMaxCode)
        {
            e += -dfMaxCode - v;
            q = -dfMaxCode;
        }
        Error[c] = e;
        if (q == 0.0)
        {
            return 0;
        }
        const double y = q * dfStep;
        const double dfMagnitude = std::min(std::fabs(y) * 2147483647.0, 2147483647.0);
        const double dfWhole = std::trunc(dfMagnitude);
        uint32_t m = static_cast<uint32_t>(dfWhole) + (dfMagnitude - dfWhole >= 0.5 ? 1u : 0u);
        if (y < 0.0)
        {
            m = (m ^ uiMask) + uiUnit;
        }
        return m & uiMask;
    }

    double dfMaxCode;
    double dfStep;
    uint32_t uiMask;
    uint32_t uiUnit;
    double Error[2] = {0.0, 0.0};
};

// Stereo samples that visit every decision: random values beyond full scale, values a hair either
// side of the half-step boundaries, exact codes, NaN and infinities, tiny values, and runs of full
// scale that clip and leave the accumulator far out.
std::vector<double> HostileSignal(uint32_t uiBits)
{
    const double dfStep = 1.0 / (std::ldexp(1.0, static_cast<int>(uiBits) - 1) - 1.0);
    std::vector<double> Signal;
    uint64_t ullState = 0x9E3779B97F4A7C15ull * (uiBits + 1);
    auto Random = [&ullState]
    {
        ullState = ullState * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<double>(ullState >> 11) * 0x1.0p-53;
    };
    for (int i = 0; i < 3000; ++i)
    {
        Signal.push_back(2.6 * Random() - 1.3);
    }
    for (int k = -40; k <= 40; ++k)
    {
        const double dfHalf = (k + 0.5) * (std::isfinite(dfStep) ? dfStep : 0.0);
        for (const double dfAround : {std::nextafter(dfHalf, -2.0), dfHalf, std::nextafter(dfHalf, 2.0)})
        {
            Signal.push_back(dfAround);
        }
    }
    for (const double dfSpecial :
         {1.0, -1.0, 0.0, -0.0, 1e-300, -1e-300, std::numeric_limits<double>::quiet_NaN(),
          std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()})
    {
        Signal.push_back(dfSpecial);
    }
    for (int i = 0; i < 64; ++i)
    {
        Signal.push_back(i < 32 ? 1.0 - 0.3 * Random() * dfStep : -1.0);
    }
    for (int i = 0; i < 1000; ++i)
    {
        Signal.push_back(0.999999 * std::sin(0.01 * i) + 0.02 * Random());
    }
    if (Signal.size() % 2 != 0)
    {
        Signal.push_back(0.25);
    }
    return Signal;
}
} // namespace

TEST(Quantizer, SampleAndBlockQuantisingGiveTheWordsOfTheLiteralAlgorithm)
{
    for (const uint32_t uiBits : {1u, 2u, 3u, 8u, 12u, 16u, 20u, 24u, 31u, 32u})
    {
        SCOPED_TRACE(testing::Message() << "L=" << uiBits);
        const std::vector<double> Signal = HostileSignal(uiBits);
        const uint64_t ullFrames = Signal.size() / 2;
        LiteralQuantizer Literal(uiBits);
        Quantizer BySample;
        Quantizer ByBlock;
        Prepare(BySample, uiBits, 32);
        Prepare(ByBlock, uiBits, 32);
        std::vector<uint32_t> Blocked(Signal.size());
        // Uneven blocks, so the accumulators cross block boundaries at every phase.
        for (uint64_t f = 0, n = 1; f < ullFrames; f += n, n = n % 7 + 1)
        {
            ByBlock.QuantizeFrames(&Signal[2 * f], std::min(n, ullFrames - f), &Blocked[2 * f]);
        }
        for (uint64_t i = 0; i < Signal.size(); ++i)
        {
            const uint32_t uiChannel = static_cast<uint32_t>(i % 2);
            const uint32_t uiExpected = Literal.Quantize(Signal[i], uiChannel);
            ASSERT_EQ(BySample.Quantize(Signal[i], uiChannel), uiExpected) << "sample " << i;
            ASSERT_EQ(BySample.GetError(uiChannel), Literal.Error[uiChannel]) << "sample " << i;
            ASSERT_EQ(Blocked[i], uiExpected) << "sample " << i;
        }
        EXPECT_EQ(ByBlock.GetError(0), Literal.Error[0]);
        EXPECT_EQ(ByBlock.GetError(1), Literal.Error[1]);
    }
}
