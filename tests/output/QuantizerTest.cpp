#include "output/Quantizer.h"

#include <gtest/gtest.h>

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
