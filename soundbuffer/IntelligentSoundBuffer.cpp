#include "soundbuffer/IntelligentSoundBuffer.h"

#include "runtime/CriticalSectionHolder.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <new>
#include <numbers>
#include <utility>

namespace
{
// Frames per period from here on would make twice the period overflow 64 bits.
constexpr double dfTwoToThe63 = 9223372036854775808.0;

std::unique_ptr<double[]> MakeZeros(uint64_t ullCount)
{
    return std::unique_ptr<double[]>(new (std::nothrow) double[ullCount]());
}
} // namespace

IntelligentSoundBuffer::~IntelligentSoundBuffer()
{
    Release();
}

uint64_t IntelligentSoundBuffer::PeriodFrames(double dfRate, double dfSeconds)
{
    const double dfFrames = std::ceil(dfRate * dfSeconds);
    return dfRate > 0.0 && dfSeconds > 0.0 && dfFrames < dfTwoToThe63 ? static_cast<uint64_t>(dfFrames) : 0;
}

void IntelligentSoundBuffer::MakeFadeRamp(double* pdfRamp, uint64_t ullLength)
{
    for (uint64_t i = 0; i < ullLength; ++i)
    {
        pdfRamp[i] = 0.5 - 0.5 * std::cos(std::numbers::pi * static_cast<double>(i + 1) /
                                          static_cast<double>(ullLength));
    }
}

int32_t IntelligentSoundBuffer::Initialize(double dfRate, double& dfPeriodSeconds)
{
    Release();
    const double dfSeconds = dfPeriodSeconds;
    if (!(dfRate > 0.0) || !(dfSeconds > 0.0))
    {
        return -4;
    }
    if (!(std::ceil(dfRate * dfSeconds) < dfTwoToThe63))
    {
        return -5;
    }
    const uint64_t n = PeriodFrames(dfRate, dfSeconds);
    if (n == 0)
    {
        return -1;
    }
    const uint64_t C = 2;
    if (n > SIZE_MAX / sizeof(double) / C)
    {
        return -5;
    }

    pdfFadeRamp = MakeZeros(n);
    pdfStagedBlock = MakeZeros(C * n);
    pdfOutgoingBlock = MakeZeros(C * n);
    if (!pdfFadeRamp || !pdfStagedBlock || !pdfOutgoingBlock)
    {
        Release();
        return -2;
    }
    MakeFadeRamp(pdfFadeRamp.get(), n);

    // The queue starts at two periods and grows by two periods.
    const int32_t iResult = Queue.Setup(dfRate, 2 * n);
    if (iResult < 0)
    {
        Release();
        return iResult;
    }
    {
        CriticalSectionHolder Holder(&Queue.CriticalSection);
        if (Queue.bReady == 0)
        {
            Holder.Leave();
            Release();
            return -1;
        }
        // Growth at the high mark only up to the limit the caller sets.
        Queue.bUnlimitedGrowth = 0;
    }

    // Nothing has gone out yet: the outgoing block is silence, as after a fade-out, so the first
    // whole period fades in however full the queue already is at the first read.
    bFaded = 1;
    dfSamplingFrequency = dfRate;
    ullChannels = C;
    ullPeriodFrames = n;
    dfPeriodSeconds = static_cast<double>(n) / dfRate;
    bReady = 1;
    return 1;
}

int32_t IntelligentSoundBuffer::SetCapacityLimit(uint64_t ullLimitFrames)
{
    CriticalSectionHolder Holder(&Queue.CriticalSection);
    if (Queue.bReady == 0)
    {
        return -1;
    }
    Queue.ullCapacityLimit = ullLimitFrames;
    return 1;
}

int32_t IntelligentSoundBuffer::Write(const double* pdfFrames, uint64_t& ullFrames)
{
    const uint64_t ullOffered = ullFrames;
    ullFrames = 0;
    if (bReady == 0)
    {
        return -1;
    }
    // Held across the check and the write, so a Finish cannot slip in between.
    CriticalSectionHolder Holder(&Queue.CriticalSection);
    if (Queue.bFinishing != 0)
    {
        return 0;
    }
    uint64_t ullStored = ullOffered;
    const int32_t iResult = Queue.Write(pdfFrames, ullStored);
    if (iResult < 0)
    {
        return iResult;
    }
    ullFrames = ullStored;
    return 1;
}

int32_t IntelligentSoundBuffer::ReadPeriod(double* pdfDestination)
{
    if (bReady == 0)
    {
        return -1;
    }
    const uint64_t n = ullPeriodFrames;
    const uint64_t C = ullChannels;
    double* pdfStaged = pdfStagedBlock.get();
    double* pdfOutgoing = pdfOutgoingBlock.get();

    uint64_t k = 0;
    bool bJump = false;
    {
        CriticalSectionHolder Holder(&Queue.CriticalSection);
        bJump = bJumpPending != 0;
        bJumpPending = 0;
        const bool bTake =
            Queue.bReady != 0 &&
            (Queue.bFinishing != 0 || (Queue.bBuffering == 0 && Queue.ullFill >= Queue.ullLowMark)) &&
            // After a jump only a whole period of the new place is taken: a part would be glued to
            // the old sound.
            !(bJump && Queue.ullFill < n);
        if (bTake)
        {
            uint64_t ullSamples = C * n;
            if (Queue.pFIFO->Read(pdfStaged, ullSamples) < 0)
            {
                ullSamples = 0;
            }
            k = ullSamples / C;
            if (Queue.ullFill >= k)
            {
                Queue.ullFill -= k;
                if (Queue.bBuffering == 0 && Queue.bFinishing == 0 && Queue.ullFill < Queue.ullLowMark)
                {
                    // Running low: refill to the start mark before taking more, with more room
                    // for the producer's irregularity. At the limit the queue keeps its size.
                    Queue.bBuffering = 1;
                    if (Queue.ullCapacity <= UINT64_MAX - Queue.ullGrowthStep)
                    {
                        Queue.Resize(Queue.ullCapacity + Queue.ullGrowthStep);
                    }
                }
            }
        }
    }

    const double* pdfRamp = pdfFadeRamp.get();
    if (bJump && bFaded == 0)
    {
        // The stream jumped: the outgoing block fades out whole, and the new place fades in from the
        // start of its first period (or after the refill, when it has none yet).
        for (uint64_t f = 0; f < n; ++f)
        {
            for (uint64_t c = 0; c < C; ++c)
            {
                pdfOutgoing[f * C + c] *= pdfRamp[n - 1 - f];
            }
        }
        if (k == n)
        {
            for (uint64_t f = 0; f < n; ++f)
            {
                for (uint64_t c = 0; c < C; ++c)
                {
                    pdfStaged[f * C + c] *= pdfRamp[f];
                }
            }
        }
        else
        {
            std::fill(pdfStaged, pdfStaged + C * n, 0.0);
            bFaded = 1;
        }
    }
    else if (k < n)
    {
        if (bFaded != 0)
        {
            // Already silent: what little arrived is dropped rather than played as a fragment.
            std::fill(pdfStaged, pdfStaged + C * n, 0.0);
        }
        else
        {
            // Fade out across the period boundary: the rest of the outgoing block, then the frames
            // obtained now, along the ramp backwards; nothing after them.
            for (uint64_t f = k; f < n; ++f)
            {
                const double dfGain = pdfRamp[n - 1 - (f - k)];
                for (uint64_t c = 0; c < C; ++c)
                {
                    pdfOutgoing[f * C + c] *= dfGain;
                }
            }
            for (uint64_t f = 0; f < k; ++f)
            {
                const double dfGain = pdfRamp[k - 1 - f];
                for (uint64_t c = 0; c < C; ++c)
                {
                    pdfStaged[f * C + c] *= dfGain;
                }
            }
            std::fill(pdfStaged + k * C, pdfStaged + n * C, 0.0);
            bFaded = 1;
        }
    }
    else if (bFaded != 0)
    {
        // Data is back: the fresh period goes out next, faded in.
        for (uint64_t f = 0; f < n; ++f)
        {
            for (uint64_t c = 0; c < C; ++c)
            {
                pdfStaged[f * C + c] *= pdfRamp[f];
            }
        }
        bFaded = 0;
    }

    if (pdfDestination != nullptr)
    {
        std::memcpy(pdfDestination, pdfOutgoing, C * n * sizeof(double));
    }
    // The staged block becomes the outgoing one; the old outgoing block is overwritten or zeroed
    // at the next call before anything reads it.
    std::swap(pdfStagedBlock, pdfOutgoingBlock);
    return 1;
}

int32_t IntelligentSoundBuffer::Finish()
{
    CriticalSectionHolder Holder(&Queue.CriticalSection);
    if (Queue.bReady == 0)
    {
        return 0;
    }
    Queue.bFinishing = 1;
    return 1;
}

int32_t IntelligentSoundBuffer::Discard()
{
    CriticalSectionHolder Holder(&Queue.CriticalSection);
    if (bReady == 0 || Queue.bReady == 0)
    {
        return -1;
    }
    Queue.pFIFO->Clear();
    Queue.ullFill = 0;
    // The next read fades the outgoing block out, whenever it comes; reads resume, faded in, once
    // the refill reaches the start mark.
    Queue.bBuffering = 1;
    bJumpPending = 1;
    return 1;
}

int32_t IntelligentSoundBuffer::HoldsPeriods(uint64_t ullReads)
{
    CriticalSectionHolder Holder(&Queue.CriticalSection);
    if (bReady == 0 || Queue.bReady == 0)
    {
        return -1;
    }
    if (Queue.bFinishing != 0 || Queue.ullFill >= Queue.ullCapacity)
    {
        return 1;
    }
    if (Queue.bBuffering != 0)
    {
        return 0;
    }
    const uint64_t ullRoom = Queue.ullFill - std::min(Queue.ullFill, Queue.ullLowMark);
    return ullRoom / ullPeriodFrames >= ullReads ? 1 : 0;
}

uint64_t IntelligentSoundBuffer::QueuedFrames()
{
    CriticalSectionHolder Holder(&Queue.CriticalSection);
    if (bReady == 0 || Queue.bReady == 0)
    {
        return 0;
    }
    return Queue.ullFill + ullPeriodFrames;
}

int32_t IntelligentSoundBuffer::Release()
{
    pdfFadeRamp.reset();
    pdfStagedBlock.reset();
    pdfOutgoingBlock.reset();
    Queue.Release();
    bReady = 0;
    dfSamplingFrequency = 0.0;
    ullChannels = 0;
    ullPeriodFrames = 0;
    bFaded = 0;
    bJumpPending = 0;
    return 1;
}
