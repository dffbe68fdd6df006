#include "app/player/ConverterFeeder.h"

#include "conversion/ParameterSmoother.h"
#include "conversion/SamplingFrequencyConverter.h"
#include "wave/WaveFileReader.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace
{
constexpr uint64_t STEREO = 2;
} // namespace

int32_t ConverterFeeder::Setup(WaveFileReader* pWaveReader, SamplingFrequencyConverter* pFrequencyConverter,
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
    eRefusal = Refusal::Reader;
    if (pWaveReader == nullptr || pWaveReader->bOpened == 0 || pWaveReader->uiChannelCount == 0 ||
        Downmixer.Setup(pWaveReader->uiChannelCount, pWaveReader->GetChannelMask()) != 1)
    {
        return -4;
    }
    pReader = pWaveReader;
    // The converter is kept even when refused below: the end of the file still completes its last
    // block when it is ready.
    pConverter = pFrequencyConverter;

    const uint64_t ullChannels = pWaveReader->uiChannelCount;
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
    if (ullRead == 0)
    {
        bEndOfFile = 1;
        bSectionEnd = bAtSectionEnd ? 1 : 0;
        if (pConverter == nullptr || pConverter->bReady == 0)
        {
            return 1;
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

void ConverterFeeder::SetSectionEnd(uint64_t ullEnd, uint64_t ullFadeOutLength)
{
    ullSectionEnd = ullEnd;
    ullFadeOutFrames = ullEnd == NO_END ? 0 : ullFadeOutLength;
}

int32_t ConverterFeeder::ConvertStep(uint64_t& ullFrames)
{
    ullFrames = 0;
    if (eRefusal != Refusal::None || pConverter->bReady == 0)
    {
        return -1;
    }
    uint64_t ullTaken = ullBlockFrames - ullBlockConsumed;
    uint64_t ullConverted = ullOutputFrames;
    const int32_t iResult = pConverter->Convert(pdfInputBuffer + STEREO * ullBlockConsumed, ullTaken,
                                                pdfOutputBuffer, ullConverted);
    ullBlockConsumed += ullTaken;
    if (iResult != 1)
    {
        return iResult;
    }
    if (pGain != nullptr)
    {
        // One ramp step per frame; both samples of a frame get the same gain. One lock for the block.
        pGain->ScaleFrames(pdfOutputBuffer, ullConverted, STEREO);
    }
    ullFrames = ullConverted;
    return (ullFrames == 0 && ullBlockConsumed == ullBlockFrames) ? 0 : 1;
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
    ullReadFrame = std::min(ullFrame, pReader->ullFrameCount);
    ullFadeInStart = ullReadFrame;
    ullFadeInFrames = ullFadeInLength;
    return 1;
}
