#include "output/ConvertCaptureSamples.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

TEST(ConvertCaptureSamples, Decodes24BitExtremesAndStopsAtCapacity)
{
    // Little-endian: 0x800000, 0x7FFFFF, 0x000100, 0xFFFFFF.
    const std::vector<uint8_t> Bytes = {0x00, 0x00, 0x80, 0xFF, 0xFF, 0x7F,
                                        0x00, 0x01, 0x00, 0xFF, 0xFF, 0xFF};
    std::vector<double> Out(4, 9.0);
    ASSERT_EQ(ConvertCaptureSamples(2, 24, Bytes.data(), 2, Out.data(), Out.size()), 1);
    EXPECT_EQ(Out[0], -1.0);
    EXPECT_EQ(Out[1], 8388607.0 / 8388608.0);
    EXPECT_EQ(Out[2], 256.0 / 8388608.0);
    EXPECT_EQ(Out[3], -1.0 / 8388608.0);

    // Room for three doubles: the fourth sample is dropped, nothing is written past the end.
    std::vector<double> Short(4, 9.0);
    ASSERT_EQ(ConvertCaptureSamples(2, 24, Bytes.data(), 2, Short.data(), 3), 1);
    EXPECT_EQ(Short[2], 256.0 / 8388608.0);
    EXPECT_EQ(Short[3], 9.0);
}

TEST(ConvertCaptureSamples, Decodes32BitFromAllFourBytes)
{
    const std::vector<uint8_t> Bytes = {0x00, 0x00, 0x00, 0x80, 0xFF, 0xFF, 0xFF, 0x7F,
                                        0x01, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF};
    std::vector<double> Out(4, 9.0);
    ASSERT_EQ(ConvertCaptureSamples(1, 32, Bytes.data(), 4, Out.data(), Out.size()), 1);
    EXPECT_EQ(Out[0], -1.0);
    EXPECT_EQ(Out[1], 2147483647.0 / 2147483648.0);
    EXPECT_EQ(Out[2], std::ldexp(1.0, -31));
    EXPECT_EQ(Out[3], -std::ldexp(1.0, -31));
}

TEST(ConvertCaptureSamples, Decodes16BitAndGivesZeroForOtherWidths)
{
    const std::vector<uint8_t> Bytes = {0x00, 0x80, 0xFF, 0x7F, 0x01, 0x00};
    std::vector<double> Out(3, 9.0);
    ASSERT_EQ(ConvertCaptureSamples(3, 16, Bytes.data(), 1, Out.data(), Out.size()), 1);
    EXPECT_EQ(Out[0], -1.0);
    EXPECT_EQ(Out[1], 32767.0 / 32768.0);
    EXPECT_EQ(Out[2], 1.0 / 32768.0);

    std::vector<double> Other(3, 9.0);
    ASSERT_EQ(ConvertCaptureSamples(1, 8, Bytes.data(), 3, Other.data(), Other.size()), 1);
    EXPECT_EQ(Other, (std::vector<double>{0.0, 0.0, 0.0}));
}

TEST(ConvertCaptureSamples, NullPointersAreRefusedOnlyWhenThereIsWork)
{
    double dfOut = 9.0;
    const uint8_t Bytes[2] = {0x00, 0x40};
    EXPECT_EQ(ConvertCaptureSamples(2, 16, nullptr, 0, nullptr, 0), 1);
    EXPECT_EQ(ConvertCaptureSamples(1, 16, Bytes, 1, nullptr, 0), 1);
    EXPECT_EQ(ConvertCaptureSamples(1, 16, nullptr, 1, &dfOut, 1), -4);
    EXPECT_EQ(ConvertCaptureSamples(1, 16, Bytes, 1, nullptr, 1), -4);
    EXPECT_EQ(dfOut, 9.0);
    EXPECT_EQ(ConvertCaptureSamples(1, 16, Bytes, 1, &dfOut, 1), 1);
    EXPECT_EQ(dfOut, 0.5);
}
