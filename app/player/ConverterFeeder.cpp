#include "app/player/ConverterFeeder.h"

#include "conversion/ParameterSmoother.h"
#include "conversion/SamplingFrequencyConverter.h"
#include "conversion/TimeStretcher.h"
#include "runtime/CriticalSectionHolder.h"
#include "wave/SAudioFileReader.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace
{
constexpr uint64_t STEREO = 2;
// Input frames by which a frame's position may fall short of a section's end and still count as
// lying on it: positions are sums of steps, rounded, and a frame that in exact arithmetic sits at the
// end is the first frame after the section.
constexpr double CUT_TOLERANCE = 1e-6;
} // namespace

int32_t ConverterFeeder::Setup(SAudioFileReader* pWaveReader, SamplingFrequencyConverter* pFrequencyConverter,
                               double* pdfInput, uint64_t ullInputBytes, double* pdfOutput,
                               uint64_t ullOutputBytes, ParameterSmoother* pVolume)
{
    pReader = nullptr;
    pConverter = nullptr;
    pGain = pVolume;
    pdfInputBuffer = nullptr;
    pdfOutputBuffer = nullptr;
    ullRequestFrames = 0;
    ullOutputFrames = 0;
    ullBlockFrames = 0;
    ullBlockConsumed = 0;
    bEndOfFile = 0;
    bSectionEnd = 0;
    ullReadFrame = 0;
    ullSectionEnd = NO_END;
    ullFadeOutFrames = 0;
    ullFadeInFrames = 0;
    bKeepTail = 0;
    ullStartFrame = 0;
    ullStartConsumed = pFrequencyConverter != nullptr
                           ? pFrequencyConverter->ullConsumedFrames.load(std::memory_order_relaxed)
                           : 0;
    ullGivenFrames = 0;
    ullCutFrame = NO_END;
    ullKeptFrames = NO_END;
    eRefusal = Refusal::Reader;
    bFreshStart = 1;
    bStretchDraining = 0;
    bStretching = bStretchWanted != 0 && pStretcher != nullptr && pStretcher->IsReady() != 0 ? 1 : 0;
    if (pWaveReader == nullptr || pWaveReader->IsOpen() == 0 ||
        pWaveReader->GetFormat().uiChannelCount == 0 ||
        Downmixer.Setup(pWaveReader->GetFormat().uiChannelCount, pWaveReader->GetFormat().uiChannelMask) != 1)
    {
        return -4;
    }
    pReader = pWaveReader;
    // The converter is kept even when refused below: the end of the file still completes its last
    // block when it is ready.
    pConverter = pFrequencyConverter;

    const uint64_t ullChannels = pWaveReader->GetFormat().uiChannelCount;
    // I = (bytes / 8) / channels frames; halved for one channel, so the block can be widened in
    // place to stereo; for more channels the down-mix also works in place.
    uint64_t ullRequest = pdfInput != nullptr ? ullInputBytes / sizeof(double) / ullChannels : 0;
    if (ullChannels == 1)
    {
        ullRequest /= 2;
    }
    if (ullRequest == 0)
    {
        eRefusal = Refusal::InputBuffer;
        return -4;
    }
    pdfInputBuffer = pdfInput;
    ullRequestFrames = ullRequest;

    const uint64_t ullOutput = pdfOutput != nullptr ? ullOutputBytes / (STEREO * sizeof(double)) : 0;
    if (pFrequencyConverter == nullptr || pFrequencyConverter->bReady == 0 ||
        pFrequencyConverter->ullChannels != STEREO || ullOutput == 0)
    {
        eRefusal = Refusal::Converter;
        return -4;
    }
    pdfOutputBuffer = pdfOutput;
    ullOutputFrames = ullOutput;
    eRefusal = Refusal::None;
    return 1;
}

int32_t ConverterFeeder::ReadBlock(uint64_t& ullFrames)
{
    ullFrames = 0;
    if (pReader == nullptr)
    {
        return -1;
    }
    ullBlockFrames = 0;
    ullBlockConsumed = 0;
    if (bEndOfFile != 0)
    {
        return 1;
    }
    // Without an input buffer nothing can be read: the file ends here.
    uint64_t ullRead = 0;
    const bool bAtSectionEnd = ullReadFrame >= ullSectionEnd;
    if (pdfInputBuffer != nullptr && !bAtSectionEnd)
    {
        ullRead = std::min(ullRequestFrames, ullSectionEnd - ullReadFrame);
        const int32_t iRead = pReader->ReadFrames(pdfInputBuffer, &ullRead);
        if (iRead < 0)
        {
            return iRead;
        }
    }
    bFreshStart = 0;
    if (ullRead == 0)
    {
        bEndOfFile = 1;
        bSectionEnd = bAtSectionEnd ? 1 : 0;
        // The drain is cut where the reads stopped (past the section's end when that end was moved
        // back behind them: what was read still plays).
        ullCutFrame = bAtSectionEnd && bKeepTail == 0 ? ullReadFrame : NO_END;
        if (pConverter == nullptr || pConverter->bReady == 0)
        {
            return 1;
        }
        if (bStretching != 0)
        {
            // The stretcher's tail goes first; the converter's last block is completed after it.
            bStretchDraining = 1;
            return pStretcher->Finish() == 1 ? 1 : -1;
        }
        // The last frames come out one block later: the converter completes its last block.
        return pConverter->CompleteLastBlock() == 1 ? 1 : -1;
    }
    const int32_t iStereo = Downmixer.Process(pdfInputBuffer, ullRead);
    if (iStereo < 0)
    {
        return iStereo;
    }
    ApplyFades(ullRead);
    ullReadFrame += ullRead;
    ullBlockFrames = ullRead;
    ullFrames = ullRead;
    return 1;
}

void ConverterFeeder::ApplyFades(uint64_t ullFrames)
{
    // The sound buffer's ramp, 0.5 - 0.5 cos(pi (i + 1) / n) for the i-th frame of a fade in, and the
    // same ramp backwards towards the section's end.
    const auto Ramp = [](uint64_t i, uint64_t n)
    { return 0.5 - 0.5 * std::cos(std::numbers::pi * static_cast<double>(i + 1) / static_cast<double>(n)); };
    for (uint64_t f = 0; f < ullFrames; ++f)
    {
        const uint64_t ullFrame = ullReadFrame + f;
        double dfGain = 1.0;
        if (ullFrame >= ullFadeInStart && ullFrame - ullFadeInStart < ullFadeInFrames)
        {
            dfGain = Ramp(ullFrame - ullFadeInStart, ullFadeInFrames);
        }
        if (ullSectionEnd != NO_END && ullFrame < ullSectionEnd &&
            ullSectionEnd - ullFrame <= ullFadeOutFrames)
        {
            dfGain *= Ramp(ullSectionEnd - ullFrame - 1, ullFadeOutFrames);
        }
        if (dfGain != 1.0)
        {
            pdfInputBuffer[STEREO * f] *= dfGain;
            pdfInputBuffer[STEREO * f + 1] *= dfGain;
        }
    }
}

void ConverterFeeder::SetSectionEnd(uint64_t ullEnd, uint64_t ullFadeOutLength, bool bKeepDrainedTail)
{
    ullSectionEnd = ullEnd;
    ullFadeOutFrames = ullEnd == NO_END ? 0 : ullFadeOutLength;
    bKeepTail = bKeepDrainedTail ? 1 : 0;
}

void ConverterFeeder::CutAtSectionEnd(uint64_t& ullFrames)
{
    if (ullKeptFrames == NO_END)
    {
        // Where the next frame the converter makes lies in the input, in input frames from where the
        // reads started: the frames its blocks consumed and the read position it carries into the
        // next block (in oversampled samples, 2^h to an input frame). The frames made so far lie
        // before it.
        const double dfOversampling = static_cast<double>(uint64_t{1} << pConverter->uiOversamplingOctaves);
        const double dfNext =
            static_cast<double>(pConverter->ullConsumedFrames.load(std::memory_order_relaxed) -
                                ullStartConsumed) +
            pConverter->dfReadPosition / dfOversampling;
        // Through the stretcher, the section ends where the stretched frames end.
        double dfEnd = static_cast<double>(ullCutFrame - ullStartFrame);
        if (bStretching != 0)
        {
            if (pStretcher->GetOutputEnd() < 0)
            {
                return;
            }
            dfEnd = static_cast<double>(pStretcher->GetOutputEnd());
        }
        if (dfNext < dfEnd - CUT_TOLERANCE)
        {
            return; // every frame made so far lies before the end
        }
        // The converter has passed the end: the frames at or past it are the last ones it made, one
        // step of the rate in force apart, back from the next one. (A glide's ramp lasts one hop of
        // frames, so it has ended by then unless it began within the section's last hop or two.)
        uint64_t ullQueued = 0;
        {
            CriticalSectionHolder Holder(pConverter->OutputFIFO.pLock);
            ullQueued = pConverter->OutputFIFO.GetFill() / STEREO;
        }
        const uint64_t ullMade = ullGivenFrames + ullFrames + ullQueued;
        const double dfStep = pConverter->dfInputRate / pConverter->dfOutputRate;
        const double dfPast = std::floor((dfNext - dfEnd + CUT_TOLERANCE) / dfStep);
        const uint64_t ullNotGiven = ullMade - ullGivenFrames;
        const uint64_t ullPast = dfPast >= static_cast<double>(ullNotGiven) ? ullNotGiven
                                 : dfPast > 0.0                             ? static_cast<uint64_t>(dfPast)
                                                                            : 0;
        ullKeptFrames = ullMade - ullPast;
    }
    ullFrames = std::min(ullFrames, ullKeptFrames - ullGivenFrames);
}

int32_t ConverterFeeder::ConvertStep(uint64_t& ullFrames)
{
    ullFrames = 0;
    if (eRefusal != Refusal::None || pConverter->bReady == 0)
    {
        return -1;
    }
    uint64_t ullConverted = ullOutputFrames;
    uint64_t ullMoved = 0;
    int32_t iResult = 1;
    if (bStretching != 0)
    {
        iResult = StretchAndConvert(ullConverted, ullMoved);
    }
    else
    {
        uint64_t ullTaken = ullBlockFrames - ullBlockConsumed;
        iResult = pConverter->Convert(pdfInputBuffer + STEREO * ullBlockConsumed, ullTaken, pdfOutputBuffer,
                                      ullConverted);
        ullBlockConsumed += ullTaken;
    }
    if (iResult != 1)
    {
        return iResult;
    }
    // Made by the converter; after a cut at a section's end fewer are given out, and the drain goes
    // on (dropping the rest) until the converter makes none.
    const uint64_t ullMade = ullConverted;
    if (ullCutFrame != NO_END)
    {
        CutAtSectionEnd(ullConverted);
    }
    if (pGain != nullptr)
    {
        // One ramp step per frame given out; both samples of a frame get the same gain. One lock for
        // the block.
        pGain->ScaleFrames(pdfOutputBuffer, ullConverted, STEREO);
    }
    ullGivenFrames += ullConverted;
    ullFrames = ullConverted;
    return (ullMade == 0 && ullMoved == 0 && bStretchDraining == 0 && ullBlockConsumed == ullBlockFrames) ? 0
                                                                                                          : 1;
}

int32_t ConverterFeeder::StretchAndConvert(uint64_t& ullConverted, uint64_t& ullMoved)
{
    const uint64_t ullAsked = ullConverted;
    ullConverted = 0;
    ullMoved = 0;
    uint64_t ullTaken = ullBlockFrames - ullBlockConsumed;
    if (ullTaken != 0 && pStretcher->Write(pdfInputBuffer + STEREO * ullBlockConsumed, ullTaken) < 0)
    {
        return -1;
    }
    ullBlockConsumed += ullTaken;
    pStretcher->Process();
    uint64_t ullStretched = 0;
    const double* pdfStretched = pStretcher->PeekOutput(ullStretched);
    ullConverted = ullAsked;
    const int32_t iResult = pConverter->Convert(pdfStretched, ullStretched, pdfOutputBuffer, ullConverted);
    pStretcher->ConsumeOutput(ullStretched);
    ullMoved = ullTaken + ullStretched;
    if (iResult == 1 && bStretchDraining != 0 && pStretcher->IsDrained() != 0)
    {
        bStretchDraining = 0;
        ullMoved += 1;
        if (pConverter->CompleteLastBlock() != 1)
        {
            return -1;
        }
    }
    pStretcher->MarkConsumed(pConverter->ullConsumedFrames.load(std::memory_order_relaxed) -
                             ullStartConsumed);
    return iResult;
}

void ConverterFeeder::SetStretcher(TimeStretcher* pTimeStretcher, int32_t bStretch)
{
    pStretcher = pTimeStretcher;
    bStretchWanted = bStretch != 0 && pTimeStretcher != nullptr ? 1 : 0;
    if (bFreshStart != 0)
    {
        bStretching = bStretchWanted != 0 && pStretcher->IsReady() != 0 ? 1 : 0;
    }
}

double ConverterFeeder::GetNextOutputPosition() const
{
    if (pConverter == nullptr || pConverter->bReady == 0 || !(pConverter->dfOutputRate > 0.0))
    {
        return static_cast<double>(ullReadFrame);
    }
    const double dfOversampling = static_cast<double>(uint64_t{1} << pConverter->uiOversamplingOctaves);
    uint64_t ullQueued = 0;
    {
        CriticalSectionHolder Holder(pConverter->OutputFIFO.pLock);
        ullQueued = pConverter->OutputFIFO.GetFill() / STEREO;
    }
    // In the converter's input frames since the start, then in the file's.
    const double dfNext = static_cast<double>(pConverter->ullConsumedFrames.load(std::memory_order_relaxed) -
                                              ullStartConsumed) +
                          pConverter->dfReadPosition / dfOversampling -
                          static_cast<double>(ullQueued) * pConverter->dfInputRate / pConverter->dfOutputRate;
    if (bStretching != 0)
    {
        return pStretcher->InputPositionOf(std::max(dfNext, 0.0));
    }
    return static_cast<double>(ullStartFrame) + std::max(dfNext, 0.0);
}

uint64_t ConverterFeeder::GetConsumedFrames() const
{
    if (bStretching != 0)
    {
        return pStretcher->ullConsumedFrames.load(std::memory_order_relaxed);
    }
    return pConverter != nullptr ? pConverter->ullConsumedFrames.load(std::memory_order_relaxed) : 0;
}

int32_t ConverterFeeder::Restart(uint64_t ullFrame, uint64_t ullFadeInLength)
{
    if (pReader == nullptr)
    {
        return -1;
    }
    const int32_t iSeek = pReader->SeekFrame(ullFrame);
    if (iSeek < 0)
    {
        return iSeek;
    }
    if (pConverter != nullptr && pConverter->bReady != 0)
    {
        pConverter->Restart(ullFrame);
    }
    ullBlockFrames = 0;
    ullBlockConsumed = 0;
    bEndOfFile = 0;
    bSectionEnd = 0;
    // An estimated length may fall short of the sound: the reader's end is then the real one.
    const AudioFileFormat& Format = pReader->GetFormat();
    ullReadFrame = Format.bFrameCountEstimated != 0 ? ullFrame : std::min(ullFrame, Format.ullFrameCount);
    bFreshStart = 1;
    bStretchDraining = 0;
    bStretching = bStretchWanted != 0 && pStretcher->IsReady() != 0 ? 1 : 0;
    if (bStretching != 0)
    {
        pStretcher->Restart(ullReadFrame);
    }
    ullFadeInStart = ullReadFrame;
    ullFadeInFrames = ullFadeInLength;
    ullStartFrame = ullReadFrame;
    ullStartConsumed =
        pConverter != nullptr ? pConverter->ullConsumedFrames.load(std::memory_order_relaxed) : 0;
    ullGivenFrames = 0;
    ullCutFrame = NO_END;
    ullKeptFrames = NO_END;
    return 1;
}
