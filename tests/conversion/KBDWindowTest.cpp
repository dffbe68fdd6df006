#include "conversion/KBDWindow.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <vector>

namespace
{
// The window as the series defines it: I0 from all 10001 terms, Horner from k = 10000 down.
std::vector<double> LiteralWindow(uint64_t N, double dfAlpha)
{
    const uint64_t M = N / 2;
    const double dfScale = dfAlpha * std::numbers::pi / static_cast<double>(M);
    std::vector<double> Sum(M);
    double dfSum = 0.0;
    for (uint64_t i = 0; i < M; ++i)
    {
        const double x = dfScale * dfScale * static_cast<double>(i) * static_cast<double>(M - i);
        double s = 1.0;
        for (uint64_t k = 10000; k >= 1; --k)
        {
            s = s * x / static_cast<double>(k * k) + 1.0;
        }
        dfSum += s;
        Sum[i] = dfSum;
    }
    std::vector<double> Window(N);
    for (uint64_t i = 0; i < M; ++i)
    {
        Window[i] = std::sqrt(Sum[i] / (dfSum + 1.0));
        Window[N - 1 - i] = Window[i];
    }
    return Window;
}
} // namespace

TEST(KBDWindow, EqualsTheFullSeriesBitForBit)
{
    struct Shape
    {
        uint64_t N;
        double dfAlpha;
    };
    for (const Shape& Item : {Shape{2, 4.0}, Shape{256, 4.0}, Shape{4096, 4.0}, Shape{16384, 4.0},
                              Shape{4096, 1.5}, Shape{4096, 9.0}})
    {
        std::vector<double> Window(Item.N, -1.0);
        ASSERT_EQ(MakeKBDWindow(Window.data(), Item.N, Item.dfAlpha), 1);
        const std::vector<double> Literal = LiteralWindow(Item.N, Item.dfAlpha);
        for (uint64_t i = 0; i < Item.N; ++i)
        {
            ASSERT_EQ(Window[i], Literal[i]) << Item.N << " " << Item.dfAlpha << " " << i;
        }
        // A second call comes from the cache and is the same.
        std::vector<double> Again(Item.N, -1.0);
        ASSERT_EQ(MakeKBDWindow(Again.data(), Item.N, Item.dfAlpha), 1);
        EXPECT_EQ(Again, Window);
    }
}

TEST(KBDWindow, IsSymmetricAndPowerComplementary)
{
    std::vector<double> Window(256);
    ASSERT_EQ(MakeKBDWindow(Window.data(), 256, 4.0), 1);
    for (uint64_t i = 0; i < 128; ++i)
    {
        EXPECT_EQ(Window[i], Window[255 - i]);
        EXPECT_NEAR(Window[i] * Window[i] + Window[i + 128] * Window[i + 128], 1.0, 1e-15) << i;
    }
    EXPECT_LT(Window[0], 1e-3);
    EXPECT_GT(Window[127], 0.9999);
    // 8 kHz into 384 kHz: N2 = 131072, the length that used to stall set-up.
    std::vector<double> Long(131072);
    ASSERT_EQ(MakeKBDWindow(Long.data(), Long.size(), 4.0), 1);
    EXPECT_NEAR(Long[1000] * Long[1000] + Long[66536] * Long[66536], 1.0, 1e-14);
}

TEST(KBDWindow, RefusesBadArguments)
{
    std::vector<double> Window(8, 7.0);
    EXPECT_EQ(MakeKBDWindow(nullptr, 8, 4.0), -4);
    EXPECT_EQ(MakeKBDWindow(Window.data(), 0, 4.0), -4);
    EXPECT_EQ(MakeKBDWindow(Window.data(), 7, 4.0), -4);
    EXPECT_EQ(MakeKBDWindow(Window.data(), 8, -1.0), -4);
    EXPECT_EQ(MakeKBDWindow(Window.data(), 8, std::numeric_limits<double>::quiet_NaN()), -4);
    EXPECT_EQ(MakeKBDWindow(Window.data(), 8, std::numeric_limits<double>::infinity()), -4);
    for (double dfValue : Window)
    {
        EXPECT_EQ(dfValue, 7.0);
    }
}
