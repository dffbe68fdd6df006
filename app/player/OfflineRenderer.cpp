#include "app/player/OfflineRenderer.h"

#include "app/player/ConverterFeeder.h"
#include "app/player/PlayerScales.h"
#include "conversion/ParameterSmoother.h"
#include "conversion/SamplingFrequencyConverter.h"
#include "conversion/TimeStretcher.h"
#include "output/Quantizer.h"
#include "runtime/CFileReplacement.h"
#include "wave/AudioFileOpener.h"
#include "wave/WaveRecordingFile.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace
{
// The volume slider's level in tenths of a decibel made into a gain, as the player does it.
double GainOf(double dfVolumeDb)
{
    return PlayerScales::GainOfVolumePosition(
        static_cast<int32_t>(PlayerScales::VolumePositionOfLevel(dfVolumeDb)));
}

bool IsSameFile(const char16_t* pFirst, const char16_t* pSecond)
{
    std::error_code Error;
    const std::filesystem::path First{std::u16string(pFirst)};
    const std::filesystem::path Second{std::u16string(pSecond)};
    return std::filesystem::exists(Second, Error) && std::filesystem::equivalent(First, Second, Error);
}

// Times within the section that never go back, speeds the slider can reach.
bool AreSpeedChangesValid(const std::vector<OfflineRenderer::SpeedChange>& Changes, double dfFromSeconds,
                          double dfToSeconds)
{
    const double dfSlowest = PlayerScales::SpeedOfPosition(0);
    const double dfFastest = PlayerScales::SpeedOfPosition(PlayerScales::SPEED_MAXIMUM_POSITION);
    double dfPrevious = dfFromSeconds;
    for (const OfflineRenderer::SpeedChange& Change : Changes)
    {
        // Comparisons written so that NaN fails them.
        if (!(Change.dfInputSeconds >= dfPrevious && Change.dfInputSeconds <= dfToSeconds) ||
            !(Change.dfSpeed >= dfSlowest * (1.0 - 1e-12) && Change.dfSpeed <= dfFastest * (1.0 + 1e-12)))
        {
            return false;
        }
        dfPrevious = Change.dfInputSeconds;
    }
    return true;
}

} // namespace

bool OfflineRenderer::IsSection(const Settings& Choice)
{
    return Choice.dfFromSeconds > 0.0 || Choice.dfToSeconds >= 0.0;
}

bool OfflineRenderer::SectionFrames(const Settings& Choice, uint32_t uiRate, uint64_t ullFrames,
                                    uint64_t& ullFrom, uint64_t& ullTo)
{
    ullFrom = 0;
    ullTo = ullFrames;
    const double dfLength = static_cast<double>(ullFrames) / static_cast<double>(uiRate);
    const bool bToEnd = Choice.dfToSeconds < 0.0;
    // Comparisons written so that NaN fails them.
    if (uiRate == 0 || !(Choice.dfFromSeconds >= 0.0 && Choice.dfFromSeconds <= dfLength) ||
        !(bToEnd || (Choice.dfToSeconds > Choice.dfFromSeconds && Choice.dfToSeconds <= dfLength)))
    {
        return false;
    }
    ullFrom = static_cast<uint64_t>(std::llround(Choice.dfFromSeconds * uiRate));
    ullTo = bToEnd ? ullFrames
                   : std::min(ullFrames, static_cast<uint64_t>(std::llround(Choice.dfToSeconds * uiRate)));
    return ullTo > ullFrom;
}

uint64_t OfflineRenderer::PeriodFrames(uint32_t uiDeviceRate)
{
    return PlayerScales::PeriodFrames(uiDeviceRate);
}

uint32_t OfflineRenderer::DefaultContainer(uint32_t uiBitCount)
{
    for (const uint32_t uiContainer : {16u, 24u, 32u})
    {
        if (uiBitCount <= uiContainer)
        {
            return uiContainer;
        }
    }
    return 0;
}

int32_t OfflineRenderer::Fail(Step At, int32_t iResult)
{
    FailedStep = At;
    return iResult < 0 ? iResult : -1;
}

int32_t OfflineRenderer::Render(const char16_t* pInput, const char16_t* pOutput, const Settings& Choice,
                                const ProgressFunction& Progress)
{
    FailedStep = Step::None;
    iSystemError = 0;
    ullFramesWritten = 0;
    uiInputRate = 0;
    ullInputFrames = 0;
    if (pInput == nullptr)
    {
        return Fail(Step::OpenInput, -4);
    }
    if (pOutput == nullptr)
    {
        return Fail(Step::CreateOutput, -4);
    }
    const bool bInteger = Choice.uiBitCount != 0;
    const uint32_t uiContainer =
        Choice.uiContainerBits != 0 ? Choice.uiContainerBits : DefaultContainer(Choice.uiBitCount);
    Quantizer Quant;
    if (bInteger && (uiContainer % 8 != 0 || uiContainer < 16 ||
                     Quant.Initialize(Choice.uiBitCount, uiContainer, 1) != 1))
    {
        return Fail(Step::Settings, -4);
    }
    if (!(Choice.dfVolumeDb <= 0.0 && Choice.dfVolumeDb >= PlayerScales::LOWEST_VOLUME_DB))
    {
        return Fail(Step::Settings, -4);
    }
    ParameterSmoother Volume;
    Volume.Initialize(GainOf(Choice.dfVolumeDb));
    Volume.SetDefaultSteps(PeriodFrames(Choice.uiDeviceRate));
    AudioFileOpener Reader;
    const int32_t iOpen = Reader.Open(pInput);
    if (iOpen < 0)
    {
        return Fail(Step::OpenInput, iOpen);
    }
    uiInputRate = Reader.GetFormat().uiSamplingFrequency;
    ullInputFrames = Reader.GetFormat().ullFrameCount;
    uint64_t ullFrom = 0;
    uint64_t ullTo = 0;
    if (!SectionFrames(Choice, uiInputRate, ullInputFrames, ullFrom, ullTo))
    {
        return Fail(Step::Section, -4);
    }
    if (!AreSpeedChangesValid(Choice.SpeedChanges, static_cast<double>(ullFrom) / uiInputRate,
                              static_cast<double>(ullTo) / uiInputRate))
    {
        return Fail(Step::SpeedChanges, -4);
    }

    SamplingFrequencyConverter Converter(PlayerScales::OVERSAMPLING_FACTOR);
    int32_t iResult =
        Converter.Setup(2, uiInputRate, Choice.uiDeviceRate, PlayerScales::BLOCK_ORDER, Choice.iShift, 0.0);
    // Keeping the pitch, the stretcher takes the speed and the converter runs at x1.
    TimeStretcher Stretcher;
    if (iResult == 1 && Choice.bKeepPitch != 0)
    {
        iResult = Stretcher.Setup(uiInputRate, Choice.dfSpeed);
    }
    const double dfConverterSpeed = Choice.bKeepPitch != 0 ? 1.0 : Choice.dfSpeed;
    if (iResult == 1)
    {
        iResult = (Choice.dfSpeed > 0.0 && std::isfinite(Choice.dfSpeed))
                      ? Converter.SetOutputRate(Choice.uiDeviceRate / dfConverterSpeed, 1)
                      : -4;
    }
    if (iResult != 1)
    {
        return Fail(Step::SetupConverter, iResult);
    }

    // Writing over the file being read would destroy it before it is read.
    if (IsSameFile(pInput, pOutput))
    {
        return Fail(Step::OutputIsInput, -4);
    }
    // Written beside the output and renamed over it only when complete, so a failure or an
    // interrupt leaves a file that was there as it was.
    WaveRecordingFile Output;
    Output.LimitSize(ullOutputSizeLimit);
    const WaveSampleFormat Format = !bInteger           ? WaveSampleFormat::Float32
                                    : uiContainer == 16 ? WaveSampleFormat::Pcm16
                                    : uiContainer == 24 ? WaveSampleFormat::Pcm24
                                                        : WaveSampleFormat::Pcm32;
    iResult = Output.Open(pOutput, 2, Choice.uiDeviceRate, Format);
    if (iResult != 1)
    {
        return Fail(Step::CreateOutput, iResult);
    }

    // The player's chain: read, stereo, convert and the volume, one smoother step per frame.
    std::vector<double> InputBuffer(ConverterFeeder::BUFFER_BYTES / sizeof(double));
    std::vector<double> OutputBuffer(ConverterFeeder::BUFFER_BYTES / sizeof(double));
    std::vector<uint32_t> Words(bInteger ? OutputBuffer.size() : 0);
    ConverterFeeder Feeder;
    iResult = Feeder.Setup(&Reader, &Converter, InputBuffer.data(), ConverterFeeder::BUFFER_BYTES,
                           OutputBuffer.data(), ConverterFeeder::BUFFER_BYTES, &Volume);
    Feeder.SetStretcher(&Stretcher, Choice.bKeepPitch);
    // The section converts as a file that holds only it: the converter starts afresh at its first
    // frame and the reads end at its last. It ends where its last frame ends at the speed, without
    // the silence that drains the converter past it; a whole-file render keeps that tail.
    if (iResult == 1 && ullFrom != 0)
    {
        iResult = Feeder.Restart(ullFrom);
    }
    // A whole file whose length is only estimated is read to where its sound ends.
    const bool bToSoundEnd = !IsSection(Choice) && Reader.GetFormat().bFrameCountEstimated != 0;
    Feeder.SetSectionEnd(bToSoundEnd ? ConverterFeeder::NO_END : ullTo, 0, !IsSection(Choice));
    Step FailingStep = Step::Convert;
    uint64_t ullBlockFrames = 1;
    size_t ullNextChange = 0;
    while (iResult == 1 && ullBlockFrames > 0)
    {
        iResult = Feeder.ReadBlock(ullBlockFrames);
        while (iResult == 1)
        {
            // Slider moves that are due, between two feeds as the user-interface thread makes them.
            const double dfConsumed = static_cast<double>(Feeder.GetConsumedFrames());
            while (iResult == 1 && ullNextChange < Choice.SpeedChanges.size() &&
                   dfConsumed >= Choice.SpeedChanges[ullNextChange].dfInputSeconds * uiInputRate)
            {
                const double dfChange = Choice.SpeedChanges[ullNextChange].dfSpeed;
                iResult = Feeder.IsStretching() != 0
                              ? Stretcher.SetSpeed(dfChange, 0)
                              : Converter.SetOutputRate(Choice.uiDeviceRate / dfChange, 0);
                ++ullNextChange;
            }
            if (iResult != 1)
            {
                break;
            }
            uint64_t ullFrames = 0;
            iResult = Feeder.ConvertStep(ullFrames);
            if (iResult < 0 || ullFrames == 0)
            {
                continue;
            }
            // Then the render thread's words, a block at a time as the render thread makes them.
            const double* pdfFrames = Feeder.GetOutput();
            if (bInteger)
            {
                Quant.QuantizeFrames(pdfFrames, ullFrames, Words.data());
            }
            uint64_t ullWritten = ullFrames;
            const int32_t iWrite = bInteger ? Output.AppendWords(Words.data(), ullWritten)
                                            : Output.AppendFrames(pdfFrames, ullWritten);
            if (iWrite != 1 || ullWritten != ullFrames)
            {
                iSystemError = Output.GetSystemError();
                FailingStep = Step::WriteOutput;
                iResult = -1;
                break;
            }
            ullFramesWritten += ullWritten;
            if (Progress)
            {
                Progress(Feeder.GetConsumedFrames() - ullFrom, ullTo - ullFrom);
            }
            if (CFileReplacement::IsInterruptPending())
            {
                FailingStep = Step::Interrupted;
                iResult = -1;
                break;
            }
        }
        if (iResult == 0)
        {
            iResult = 1;
        }
    }
    if (iResult < 0)
    {
        Output.Abandon();
        return Fail(FailingStep, iResult);
    }
    if (Output.Finalise() != 1)
    {
        iSystemError = Output.GetSystemError();
        return Fail(Output.HasRenameFailed() ? Step::ReplaceOutput : Step::WriteOutput, -1);
    }
    return 1;
}
