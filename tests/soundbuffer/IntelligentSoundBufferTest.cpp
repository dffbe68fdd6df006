#include "soundbuffer/IntelligentSoundBuffer.h"
#include "tests/soundbuffer/NumberedFrames.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace
{
constexpr uint64_t n = 480; // frames per period at 48000 Hz and 0.01 s

// Writes ullCount frames numbered from ullFirst in chunks; returns the frames accepted.
uint64_t WriteInChunks(IntelligentSoundBuffer& Buffer, uint64_t ullFirst, uint64_t ullCount,
                       uint64_t ullChunk)
{
    uint64_t ullAccepted = 0;
    while (ullAccepted < ullCount)
    {
        const uint64_t ullOffer = std::min(ullChunk, ullCount - ullAccepted);
        const std::vector<double> Chunk = NumberedFrames(ullFirst + ullAccepted, ullOffer);
        uint64_t ullFrames = ullOffer;
        if (Buffer.Write(Chunk.data(), ullFrames) != 1 || ullFrames == 0)
        {
            break;
        }
        ullAccepted += ullFrames;
    }
    return ullAccepted;
}

std::vector<double> ReadOnePeriod(IntelligentSoundBuffer& Buffer)
{
    std::vector<double> Out(2 * Buffer.ullPeriodFrames, 7.0);
    EXPECT_EQ(Buffer.ReadPeriod(Out.data()), 1);
    return Out;
}

// Frames [ullFrom, ullTo) of Out must be frames ullFirst, ullFirst + 1, ... scaled by Gain(f).
template <typename GainOf>
void ExpectRun(const std::vector<double>& Out, uint64_t ullFrom, uint64_t ullTo, uint64_t ullFirst,
               GainOf Gain)
{
    for (uint64_t f = ullFrom; f < ullTo; ++f)
    {
        const double dfValue = static_cast<double>(ullFirst + (f - ullFrom) + 1);
        // Equal but for rounding where two fades meet on one frame.
        ASSERT_DOUBLE_EQ(Out[2 * f], dfValue * Gain(f)) << "frame " << f;
        ASSERT_DOUBLE_EQ(Out[2 * f + 1], -dfValue * Gain(f)) << "frame " << f;
    }
}

void ExpectRun(const std::vector<double>& Out, uint64_t ullFrom, uint64_t ullTo, uint64_t ullFirst)
{
    ExpectRun(Out, ullFrom, ullTo, ullFirst, [](uint64_t) { return 1.0; });
}

void ExpectSilence(const std::vector<double>& Out, uint64_t ullFrom, uint64_t ullTo)
{
    for (uint64_t i = 2 * ullFrom; i < 2 * ullTo; ++i)
    {
        ASSERT_EQ(Out[i], 0.0) << "sample " << i;
    }
}

void InitializeAt48k(IntelligentSoundBuffer& Buffer)
{
    double dfSeconds = 0.01;
    ASSERT_EQ(Buffer.Initialize(48000.0, dfSeconds), 1);
    ASSERT_EQ(Buffer.SetCapacityLimit(4800), 1);
}
} // namespace

TEST(IntelligentSoundBuffer, InitializeRoundsThePeriodAndRefusesBadArguments)
{
    IntelligentSoundBuffer Buffer;
    const std::vector<double> One = NumberedFrames(0, 1);
    uint64_t ullFrames = 1;
    EXPECT_EQ(Buffer.Write(One.data(), ullFrames), -1);
    EXPECT_EQ(ullFrames, 0u);
    EXPECT_EQ(Buffer.ReadPeriod(nullptr), -1);
    EXPECT_EQ(Buffer.SetCapacityLimit(4800), -1);
    EXPECT_EQ(Buffer.Finish(), 0);

    const double adfRefused[][3] = {{0.0, 0.01, -4},      {-48000.0, 0.01, -4}, {std::nan(""), 0.01, -4},
                                    {48000.0, 0.0, -4},   {48000.0, -1.0, -4},  {48000.0, std::nan(""), -4},
                                    {1e-200, 1e-200, -1}, {1e300, 1e10, -5},    {1e18, 10.0, -5}};
    for (const auto& Row : adfRefused)
    {
        double dfSeconds = Row[1];
        EXPECT_EQ(Buffer.Initialize(Row[0], dfSeconds), static_cast<int32_t>(Row[2]))
            << Row[0] << " " << Row[1];
        EXPECT_TRUE(dfSeconds == Row[1] || std::isnan(Row[1]));
        EXPECT_EQ(Buffer.bReady, 0);
        EXPECT_EQ(Buffer.Queue.bReady, 0);
    }

    double dfSeconds = 0.01;
    ASSERT_EQ(Buffer.Initialize(48000.0, dfSeconds), 1);
    EXPECT_EQ(dfSeconds, 0.01);
    ullFrames = 100;
    EXPECT_EQ(Buffer.Write(nullptr, ullFrames), -4);
    EXPECT_EQ(ullFrames, 0u);
    EXPECT_EQ(Buffer.Queue.ullFill, 0u);
    EXPECT_EQ(Buffer.ullPeriodFrames, n);
    EXPECT_EQ(Buffer.ullChannels, 2u);
    EXPECT_EQ(Buffer.dfSamplingFrequency, 48000.0);
    EXPECT_EQ(Buffer.Queue.ullCapacity, 960u);
    EXPECT_EQ(Buffer.Queue.ullGrowthStep, 960u);
    EXPECT_EQ(Buffer.Queue.bUnlimitedGrowth, 0);
    EXPECT_EQ(Buffer.IsFaded(), 1); // nothing went out yet: silence, as after a fade-out
    const double* pdfRamp = Buffer.GetFadeRamp();
    EXPECT_EQ(pdfRamp[n - 1], 1.0);
    EXPECT_DOUBLE_EQ(pdfRamp[0], 0.5 - 0.5 * std::cos(3.14159265358979323846 / 480.0));
    EXPECT_DOUBLE_EQ(pdfRamp[239], 0.5);
    for (uint64_t i = 1; i < n; ++i)
    {
        ASSERT_LT(pdfRamp[i - 1], pdfRamp[i]);
    }

    // 220.5 frames round up; the caller learns the period actually used.
    dfSeconds = 0.01;
    ASSERT_EQ(Buffer.Initialize(22050.0, dfSeconds), 1);
    EXPECT_EQ(Buffer.ullPeriodFrames, 221u);
    EXPECT_EQ(dfSeconds, 221.0 / 22050.0);
    EXPECT_EQ(Buffer.Queue.ullCapacity, 442u);
    EXPECT_EQ(Buffer.Queue.ullGrowthStep, 442u);

    EXPECT_EQ(Buffer.Release(), 1);
    EXPECT_EQ(Buffer.bReady + Buffer.Queue.bReady, 0);
    EXPECT_EQ(Buffer.ullPeriodFrames + Buffer.ullChannels, 0u);
    EXPECT_EQ(Buffer.GetFadeRamp(), nullptr);
    EXPECT_EQ(Buffer.ReadPeriod(nullptr), -1);
}

TEST(IntelligentSoundBuffer, GrowthStopsBelowTheLimitAt22050Hz)
{
    IntelligentSoundBuffer Buffer;
    double dfSeconds = 0.01;
    ASSERT_EQ(Buffer.Initialize(22050.0, dfSeconds), 1);
    ASSERT_EQ(Buffer.SetCapacityLimit(2205), 1);
    std::vector<uint64_t> Capacities{Buffer.Queue.ullCapacity};
    uint64_t ullAccepted = 0;
    while (WriteInChunks(Buffer, ullAccepted, 50, 50) == 50)
    {
        ullAccepted += 50;
        if (Buffer.Queue.ullCapacity != Capacities.back())
        {
            Capacities.push_back(Buffer.Queue.ullCapacity);
        }
    }
    EXPECT_EQ(Capacities, (std::vector<uint64_t>{442, 884, 1326, 1768}));
    EXPECT_EQ(Buffer.Queue.ullFill, 1768u);
}

TEST(IntelligentSoundBuffer, EmptyStartIsSilentAndTheFirstPeriodFadesIn)
{
    IntelligentSoundBuffer Buffer;
    InitializeAt48k(Buffer);
    const double* pdfRamp = Buffer.GetFadeRamp();

    ExpectSilence(ReadOnePeriod(Buffer), 0, n);
    EXPECT_EQ(Buffer.IsFaded(), 1);

    ASSERT_EQ(WriteInChunks(Buffer, 0, 960, 100), 960u);
    EXPECT_EQ(Buffer.Queue.ullCapacity, 1920u);
    ExpectSilence(ReadOnePeriod(Buffer), 0, n); // the silent block, while the fresh one is staged
    EXPECT_EQ(Buffer.IsFaded(), 0);
    ExpectRun(ReadOnePeriod(Buffer), 0, n, 0, [pdfRamp](uint64_t f) { return pdfRamp[f]; });
    // The queue ran low after that read, so the next period fades out over its whole length.
    EXPECT_EQ(Buffer.Queue.bBuffering, 1);
    ExpectRun(ReadOnePeriod(Buffer), 0, n, n, [pdfRamp](uint64_t f) { return pdfRamp[n - 1 - f]; });
    EXPECT_EQ(Buffer.IsFaded(), 1);
    ExpectSilence(ReadOnePeriod(Buffer), 0, n);

    // A queue already full at the first read (the start waited for sound): its first period still
    // fades in, and only that one.
    InitializeAt48k(Buffer);
    pdfRamp = Buffer.GetFadeRamp();
    ASSERT_EQ(WriteInChunks(Buffer, 0, 1440, 100), 1440u);
    ExpectSilence(ReadOnePeriod(Buffer), 0, n);
    ExpectRun(ReadOnePeriod(Buffer), 0, n, 0, [pdfRamp](uint64_t f) { return pdfRamp[f]; });
    ExpectRun(ReadOnePeriod(Buffer), 0, n, n);
}

TEST(IntelligentSoundBuffer, StoppedProducerBuffersGrowsAndResumesAtTheStartMark)
{
    IntelligentSoundBuffer Buffer;
    InitializeAt48k(Buffer);
    const double* pdfRamp = Buffer.GetFadeRamp();
    AdaptiveFrameBuffer& Queue = Buffer.Queue;
    ASSERT_EQ(WriteInChunks(Buffer, 0, 1200, 100), 1200u);
    ASSERT_EQ(Queue.ullCapacity, 1920u);
    ASSERT_EQ(Queue.ullLowMark, 480u);

    ExpectSilence(ReadOnePeriod(Buffer), 0, n);
    EXPECT_EQ(Queue.bBuffering, 0);
    ExpectRun(ReadOnePeriod(Buffer), 0, n, 0, [pdfRamp](uint64_t f) { return pdfRamp[f]; });
    EXPECT_EQ(Queue.ullFill, 240u);
    EXPECT_EQ(Queue.bBuffering, 1);
    EXPECT_EQ(Queue.ullCapacity, 2880u);
    EXPECT_EQ(Queue.ullLowMark, 720u);
    EXPECT_EQ(Queue.ullStartMark, 960u);
    EXPECT_EQ(Queue.ullHighMark, 1680u);

    ExpectRun(ReadOnePeriod(Buffer), 0, n, n, [pdfRamp](uint64_t f) { return pdfRamp[n - 1 - f]; });
    EXPECT_EQ(Buffer.IsFaded(), 1);
    ExpectSilence(ReadOnePeriod(Buffer), 0, n);
    EXPECT_EQ(Queue.ullFill, 240u);

    // The 240 frames stay queued until writes bring the fill to the start mark.
    ASSERT_EQ(WriteInChunks(Buffer, 1200, 719, 100), 719u);
    EXPECT_EQ(Queue.bBuffering, 1);
    ExpectSilence(ReadOnePeriod(Buffer), 0, n);
    EXPECT_EQ(Queue.ullFill, 959u);
    ASSERT_EQ(WriteInChunks(Buffer, 1919, 1, 100), 1u);
    EXPECT_EQ(Queue.bBuffering, 0);
    ASSERT_EQ(WriteInChunks(Buffer, 1920, 480, 100), 480u);
    ExpectSilence(ReadOnePeriod(Buffer), 0, n);
    EXPECT_EQ(Queue.ullFill, 960u);
    ExpectRun(ReadOnePeriod(Buffer), 0, n, 960, [pdfRamp](uint64_t f) { return pdfRamp[f]; });
    EXPECT_EQ(Queue.ullCapacity, 3840u); // ran low again
}

TEST(IntelligentSoundBuffer, FinishDrainsFadesOutAndFallsSilent)
{
    IntelligentSoundBuffer Buffer;
    InitializeAt48k(Buffer);
    const double* pdfRamp = Buffer.GetFadeRamp();
    ASSERT_EQ(WriteInChunks(Buffer, 0, 720, 100), 720u);
    ExpectSilence(ReadOnePeriod(Buffer), 0, n);
    ASSERT_EQ(Buffer.Queue.ullFill, 240u);
    ASSERT_EQ(Buffer.Queue.bBuffering, 0);

    EXPECT_EQ(Buffer.Finish(), 1);
    const std::vector<double> More = NumberedFrames(720, 100);
    uint64_t ullFrames = 100;
    EXPECT_EQ(Buffer.Write(More.data(), ullFrames), 0);
    EXPECT_EQ(ullFrames, 0u);
    EXPECT_EQ(Buffer.Queue.ullFill, 240u);

    // The remaining 240 frames come out; the descending ramp spans the period boundary (on the
    // first period, which also fades in).
    std::vector<double> Out = ReadOnePeriod(Buffer);
    ExpectRun(Out, 0, 240, 0, [pdfRamp](uint64_t f) { return pdfRamp[f]; });
    ExpectRun(Out, 240, n, 240, [pdfRamp](uint64_t f) { return pdfRamp[f] * pdfRamp[n - 1 - (f - 240)]; });
    EXPECT_EQ(Buffer.IsFaded(), 1);
    EXPECT_EQ(Buffer.Queue.ullCapacity, 960u); // no growth while finishing
    Out = ReadOnePeriod(Buffer);
    ExpectRun(Out, 0, 240, n, [pdfRamp](uint64_t f) { return pdfRamp[239 - f]; });
    ExpectSilence(Out, 240, n);
    ExpectSilence(ReadOnePeriod(Buffer), 0, n);
    ExpectSilence(ReadOnePeriod(Buffer), 0, n);

    // Finishing drains even a buffering queue below its low mark.
    InitializeAt48k(Buffer);
    pdfRamp = Buffer.GetFadeRamp(); // a new ramp came with the new set-up
    ASSERT_EQ(WriteInChunks(Buffer, 0, 700, 100), 700u);
    ReadOnePeriod(Buffer);
    ASSERT_EQ(Buffer.Queue.bBuffering, 1);
    ASSERT_EQ(Buffer.Queue.ullFill, 220u);
    EXPECT_EQ(Buffer.Finish(), 1);
    ExpectRun(ReadOnePeriod(Buffer), 0, 220, 0, [pdfRamp](uint64_t f) { return pdfRamp[f]; });
    Out = ReadOnePeriod(Buffer);
    ExpectRun(Out, 0, 220, n, [pdfRamp](uint64_t f) { return pdfRamp[219 - f]; });
    ExpectSilence(Out, 220, n);
    EXPECT_EQ(Buffer.Queue.ullFill, 0u);
}

TEST(IntelligentSoundBuffer, FragmentArrivingWhileSilentIsDropped)
{
    IntelligentSoundBuffer Buffer;
    InitializeAt48k(Buffer);
    const double* pdfRamp = Buffer.GetFadeRamp();
    ExpectSilence(ReadOnePeriod(Buffer), 0, n);
    // 300 frames pass the low mark (240) but make no whole period: taken, and dropped while silent.
    ASSERT_EQ(WriteInChunks(Buffer, 0, 300, 100), 300u);
    ExpectSilence(ReadOnePeriod(Buffer), 0, n);
    EXPECT_EQ(Buffer.Queue.ullFill, 0u);
    EXPECT_EQ(Buffer.Queue.ullCapacity, 1920u);
    ExpectSilence(ReadOnePeriod(Buffer), 0, n);
    ASSERT_EQ(WriteInChunks(Buffer, 300, 1440, 100), 1440u);
    // Without a destination the period is still taken and the delay line still moves on.
    EXPECT_EQ(Buffer.ReadPeriod(nullptr), 1);
    EXPECT_EQ(Buffer.Queue.ullFill, 960u);
    ExpectRun(ReadOnePeriod(Buffer), 0, n, 300, [pdfRamp](uint64_t f) { return pdfRamp[f]; });
    ExpectRun(ReadOnePeriod(Buffer), 0, n, 300 + n);
}
