#include "app/ConverterFeeder.h"

#include "conversion/SamplingFrequencyConverter.h"
#include "runtime/CriticalSectionHolder.h"
#include "wave/WaveFileReader.h"

namespace
{
constexpr uint64_t STEREO = 2;
} // namespace

int32_t ConverterFeeder::Setup(WaveFileReader* pWaveReader, SamplingFrequencyConverter* pFrequencyConverter,
                               double* pdfInput, uint64_t ullInputBytes, double* pdfOutput,
                               uint64_t ullOutputBytes)
{
    pReader = nullptr;
    if (pWaveReader == nullptr || pFrequencyConverter == nullptr || pdfInput == nullptr ||
        pdfOutput == nullptr || pWaveReader->bOpened == 0 || pWaveReader->uiChannelCount == 0 ||
        pFrequencyConverter->bReady == 0 || pFrequencyConverter->ullChannels != STEREO)
    {
        return -4;
    }
    const uint64_t ullChannels = pWaveReader->uiChannelCount;
    // I = (bytes / 8) / channels frames; halved for one channel, so the block can be widened in
    // place to stereo; for more channels the down-mix also works in place.
    uint64_t ullRequest = ullInputBytes / sizeof(double) / ullChannels;
    if (ullChannels == 1)
    {
        ullRequest /= 2;
    }
    const uint64_t ullOutput = ullOutputBytes / (STEREO * sizeof(double));
    if (ullRequest == 0 || ullOutput == 0 ||
        Downmixer.Setup(pWaveReader->uiChannelCount, pWaveReader->GetChannelMask()) != 1)
    {
        return -4;
    }
    pReader = pWaveReader;
    pConverter = pFrequencyConverter;
    pdfInputBuffer = pdfInput;
    pdfOutputBuffer = pdfOutput;
    ullRequestFrames = ullRequest;
    ullOutputFrames = ullOutput;
    ullBlockFrames = 0;
    ullBlockConsumed = 0;
    bEndOfFile = 0;
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
    uint64_t ullRead = ullRequestFrames;
    const int32_t iRead = pReader->ReadFrames(pdfInputBuffer, &ullRead);
    if (iRead < 0)
    {
        return iRead;
    }
    if (ullRead == 0)
    {
        bEndOfFile = 1;
        if (pConverter->bReady == 0)
        {
            return 1;
        }
        // The last frames come out one block later: complete the partial hop and add one more hop
        // of silence. rem = S mod (2 x N / 2) samples with N = 2^block order frames.
        SignalFIFO& Input = pConverter->InputFIFO;
        CriticalSectionHolder Holder(Input.pLock);
        const uint64_t N = pConverter->GetBlockFrames();
        const uint64_t ullRemainder = Input.GetFill() % (STEREO * N / 2);
        if (ullRemainder % STEREO == 0)
        {
            const uint64_t ullSilence = STEREO * N - ullRemainder;
            uint64_t ullCount = ullSilence;
            if (Input.WriteValue(0.0, ullCount) != 1 || ullCount != ullSilence)
            {
                return -1;
            }
        }
        return 1;
    }
    const int32_t iStereo = Downmixer.Process(pdfInputBuffer, ullRead);
    if (iStereo < 0)
    {
        return iStereo;
    }
    ullBlockFrames = ullRead;
    ullFrames = ullRead;
    return 1;
}

int32_t ConverterFeeder::ConvertStep(uint64_t& ullFrames)
{
    ullFrames = 0;
    if (pReader == nullptr || pConverter->bReady == 0)
    {
        return -1;
    }
    if (ullBlockFrames > ullBlockConsumed)
    {
        uint64_t ullCount = STEREO * (ullBlockFrames - ullBlockConsumed);
        if (pConverter->InputFIFO.Write(pdfInputBuffer + STEREO * ullBlockConsumed, ullCount) != 1)
        {
            return -1;
        }
        if (ullCount % STEREO != 0)
        {
            return -99;
        }
        ullBlockConsumed += ullCount / STEREO;
    }
    const int32_t iProcess = pConverter->Process();
    if (iProcess < 0)
    {
        return iProcess;
    }
    uint64_t ullCount = STEREO * ullOutputFrames;
    if (pConverter->OutputFIFO.Read(pdfOutputBuffer, ullCount) != 1)
    {
        return -1;
    }
    if (ullCount % STEREO != 0)
    {
        return -99;
    }
    ullFrames = ullCount / STEREO;
    return (ullFrames == 0 && ullBlockConsumed == ullBlockFrames) ? 0 : 1;
}
