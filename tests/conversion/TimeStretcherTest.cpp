#include "conversion/TimeStretcher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <numbers>
#include <thread>
#include <vector>

// Counts the allocations of the thread that asks for it, so a test can show that the stream
// allocates nothing.
namespace
{
thread_local bool bCountAllocations = false;
thread_local uint64_t ullAllocations = 0;
} // namespace

// The replacements pair malloc with free, which the compiler cannot see through inlining.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
namespace
{
void* Allocate(std::size_t ullSize) noexcept
{
    if (bCountAllocations)
    {
        ++ullAllocations;
    }
    return std::malloc(ullSize == 0 ? 1 : ullSize);
}
} // namespace

// Every form, so that whatever allocates here is also freed here.
void* operator new(std::size_t ullSize)
{
    if (void* p = Allocate(ullSize))
    {
        return p;
    }
    throw std::bad_alloc();
}
void* operator new[](std::size_t ullSize)
{
    return operator new(ullSize);
}
void* operator new(std::size_t ullSize, const std::nothrow_t&) noexcept
{
    return Allocate(ullSize);
}
void* operator new[](std::size_t ullSize, const std::nothrow_t&) noexcept
{
    return Allocate(ullSize);
}
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete[](void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept
{
    std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept
{
    std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept
{
    std::free(p);
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

namespace
{
constexpr double RATE = 44100.0;

// Runs Input (interleaved stereo) through in blocks of ullBlock frames, finishes and drains.
std::vector<double> Stretch(TimeStretcher& Stretcher, const std::vector<double>& Input, uint64_t ullBlock)
{
    std::vector<double> Output;
    std::vector<double> Buffer(2 * 3000);
    const uint64_t ullFrames = Input.size() / 2;
    uint64_t ullPosition = 0;
    for (int iRound = 0; iRound < 100000 && Stretcher.IsDrained() == 0; ++iRound)
    {
        uint64_t ullTaken = std::min(ullBlock, ullFrames - ullPosition);
        uint64_t ullMade = Buffer.size() / 2;
        bCountAllocations = true;
        const int32_t iResult =
            Stretcher.Convert(Input.data() + 2 * ullPosition, ullTaken, Buffer.data(), ullMade);
        ullPosition += ullTaken;
        if (ullPosition == ullFrames)
        {
            Stretcher.Finish();
        }
        bCountAllocations = false;
        EXPECT_EQ(iResult, 1);
        Output.insert(Output.end(), Buffer.begin(),
                      Buffer.begin() + static_cast<std::ptrdiff_t>(2 * ullMade));
    }
    return Output;
}

std::vector<double> Tone(double dfHz, double dfSeconds, double dfLeft, double dfRight)
{
    std::vector<double> Signal(2 * static_cast<size_t>(dfSeconds * RATE));
    for (size_t n = 0; n < Signal.size() / 2; ++n)
    {
        const double dfValue = std::sin(2.0 * std::numbers::pi * dfHz * static_cast<double>(n) / RATE);
        Signal[2 * n] = dfLeft * dfValue;
        Signal[2 * n + 1] = dfRight * dfValue;
    }
    return Signal;
}

// The frequency of channel c between the quarter and three quarters of the signal, from its rising
// zero crossings.
double Frequency(const std::vector<double>& Signal, size_t c)
{
    const size_t ullFrames = Signal.size() / 2;
    double dfFirst = -1.0;
    double dfLast = -1.0;
    int iCrossings = 0;
    for (size_t n = ullFrames / 4; n + 1 < 3 * ullFrames / 4; ++n)
    {
        const double x0 = Signal[2 * n + c];
        const double x1 = Signal[2 * n + 2 + c];
        if (x0 < 0.0 && x1 >= 0.0)
        {
            const double t = static_cast<double>(n) - x0 / (x1 - x0);
            dfFirst = dfFirst < 0.0 ? t : dfFirst;
            dfLast = t;
            ++iCrossings;
        }
    }
    return iCrossings > 1 ? (iCrossings - 1) * RATE / (dfLast - dfFirst) : 0.0;
}
} // namespace

// Set-up and stream calls refuse what they cannot do, and nothing runs before a set-up.
TEST(TimeStretcher, RefusesBadSettingsAndCallsBeforeSetup)
{
    TimeStretcher Stretcher;
    uint64_t ullFrames = 10;
    double dfFrame[2] = {};
    EXPECT_EQ(Stretcher.Write(dfFrame, ullFrames), -1);
    EXPECT_EQ(ullFrames, 0u);
    EXPECT_EQ(Stretcher.Process(), -1);
    EXPECT_EQ(Stretcher.Finish(), -1);
    EXPECT_EQ(Stretcher.Restart(0), -1);
    EXPECT_EQ(Stretcher.SetSpeed(1.5, 0), -1);
    EXPECT_EQ(Stretcher.Setup(0.0, 1.0), -4);
    EXPECT_EQ(Stretcher.Setup(NAN, 1.0), -4);
    EXPECT_EQ(Stretcher.Setup(RATE, 0.0), -4);
    EXPECT_EQ(Stretcher.Setup(RATE, INFINITY), -4);
    EXPECT_EQ(Stretcher.IsReady(), 0);
    ASSERT_EQ(Stretcher.Setup(RATE, 1.0), 1);
    EXPECT_EQ(Stretcher.GetFrameLength(), 4096u);
    EXPECT_EQ(Stretcher.GetSynthesisHop(), 512u);
    EXPECT_LE(static_cast<double>(Stretcher.GetLatencyFrames()) / RATE, 0.1);
    EXPECT_EQ(Stretcher.SetSpeed(-1.0, 0), -4);
    EXPECT_EQ(Stretcher.SetSpeed(NAN, 1), -4);
    // After the input is finished no more is taken.
    EXPECT_EQ(Stretcher.Finish(), 1);
    ullFrames = 1;
    EXPECT_EQ(Stretcher.Write(dfFrame, ullFrames), -1);
    EXPECT_EQ(ullFrames, 0u);
}

// At exactly x1 the output is the input to the bit, as long as the input, whatever the blocks;
// after a stretch and a return to x1 it becomes a copy again. The stream allocates nothing.
TEST(TimeStretcher, BypassAtUnityIsBitIdenticalAndNothingIsAllocated)
{
    std::vector<double> Input(2 * 30000);
    uint32_t uiSeed = 1;
    for (double& dfValue : Input)
    {
        uiSeed = uiSeed * 1664525u + 1013904223u;
        dfValue = static_cast<double>(uiSeed) / 4294967296.0 - 0.5;
    }
    for (const uint64_t ullBlock : {1u, 333u, 1024u})
    {
        TimeStretcher Stretcher;
        ASSERT_EQ(Stretcher.Setup(RATE, 1.0), 1);
        const std::vector<double> Output = Stretch(Stretcher, Input, ullBlock);
        EXPECT_EQ(Output, Input) << ullBlock;
        EXPECT_EQ(Stretcher.IsBypassed(), 1);
    }
    EXPECT_EQ(ullAllocations, 0u);

    TimeStretcher Stretcher;
    ASSERT_EQ(Stretcher.Setup(RATE, 1.0), 1);
    std::vector<double> Buffer(2 * 4096);
    uint64_t ullPosition = 0;
    const auto Feed = [&](uint64_t ullFrames)
    {
        for (uint64_t i = 0; i < ullFrames; i += 512)
        {
            uint64_t ullTaken = 512;
            uint64_t ullMade = 4096;
            ASSERT_EQ(
                Stretcher.Convert(Input.data() + 2 * (ullPosition % 20000), ullTaken, Buffer.data(), ullMade),
                1);
            ullPosition += ullTaken;
        }
    };
    Stretcher.SetSpeed(0.75, 0);
    Feed(8192);
    EXPECT_EQ(Stretcher.IsBypassed(), 0);
    Stretcher.SetSpeed(1.0, 1);
    Feed(8192);
    EXPECT_EQ(Stretcher.IsBypassed(), 1);
}

// A tone keeps its frequency at every speed, the output lasts the input's length over the speed
// within one hop, the level stays and a stereo image (right = -0.5 left) stays put; a glide
// reaches its speed; the position given back follows the time map.
TEST(TimeStretcher, KeepsPitchLevelImageAndDuration)
{
    const std::vector<double> Input = Tone(1000.0, 2.0, 0.5, -0.25);
    for (const double dfSpeed : {0.5, 0.7492, 1.5, 2.5198})
    {
        TimeStretcher Stretcher;
        ASSERT_EQ(Stretcher.Setup(RATE, dfSpeed), 1);
        const std::vector<double> Output = Stretch(Stretcher, Input, 1024);
        const double dfExpected = static_cast<double>(Input.size() / 2) / dfSpeed;
        EXPECT_NEAR(static_cast<double>(Output.size() / 2), dfExpected,
                    static_cast<double>(Stretcher.GetSynthesisHop()))
            << dfSpeed;
        EXPECT_NEAR(Frequency(Output, 0), 1000.0, 0.5) << dfSpeed;
        double dfPeak = 0.0;
        double dfImage = 0.0;
        for (size_t n = Output.size() / 8; n < 3 * Output.size() / 8; ++n)
        {
            dfPeak = std::max(dfPeak, std::fabs(Output[2 * n]));
            dfImage = std::max(dfImage, std::fabs(Output[2 * n + 1] + 0.5 * Output[2 * n]));
        }
        EXPECT_NEAR(dfPeak, 0.5, 0.5 * 0.023) << dfSpeed; // 0.2 dB
        EXPECT_LT(dfImage, 1e-6) << dfSpeed;
        // The time map of the recent past: where a frame just given out lies in the input.
        const double dfRecent = static_cast<double>(Output.size() / 2 - 3000);
        Stretcher.MarkConsumed(static_cast<uint64_t>(dfRecent));
        EXPECT_NEAR(static_cast<double>(Stretcher.ullConsumedFrames.load()), dfRecent * dfSpeed, 2.0)
            << dfSpeed;
    }

    // A glide from another thread: the tone's pitch does not move.
    TimeStretcher Stretcher;
    ASSERT_EQ(Stretcher.Setup(RATE, 1.0), 1);
    std::thread Mover([&Stretcher] { Stretcher.SetSpeed(0.5, 0); });
    Mover.join();
    const std::vector<double> Output = Stretch(Stretcher, Input, 700);
    EXPECT_EQ(Stretcher.GetSpeed(), 0.5);
    EXPECT_NEAR(Frequency(Output, 1), 1000.0, 0.5);
    EXPECT_NEAR(static_cast<double>(Output.size() / 2), 2.0 * static_cast<double>(Input.size() / 2), 3000.0);
}
