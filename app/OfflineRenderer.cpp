#include "app/OfflineRenderer.h"

#include "app/ConverterFeeder.h"
#include "conversion/SamplingFrequencyConverter.h"
#include "wave/WaveFileReader.h"
#include "wave/WaveFileWriter.h"

#include <cmath>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace
{
// The converter as the player sets it up: oversampling factor 10, blocks of 2^8 frames.
constexpr double OVERSAMPLING_FACTOR = 10.0;
constexpr uint32_t BLOCK_ORDER = 8;

bool IsSameFile(const char16_t* pFirst, const char16_t* pSecond)
{
    std::error_code Error;
    const std::filesystem::path First{std::u16string(pFirst)};
    const std::filesystem::path Second{std::u16string(pSecond)};
    return std::filesystem::exists(Second, Error) && std::filesystem::equivalent(First, Second, Error);
}

// Removes what a failed render wrote, but only a regular file: an output such as a device node is
// not ours to delete.
void RemoveOutput(const char16_t* pOutput)
{
    std::error_code Error;
    const std::filesystem::path Output{std::u16string(pOutput)};
    if (std::filesystem::is_regular_file(Output, Error))
    {
        std::filesystem::remove(Output, Error);
    }
}
} // namespace

int32_t OfflineRenderer::Fail(Step At, int32_t iResult)
{
    FailedStep = At;
    return iResult < 0 ? iResult : -1;
}

int32_t OfflineRenderer::Render(const char16_t* pInput, const char16_t* pOutput, const Settings& Choice,
                                const ProgressFunction& Progress)
{
    FailedStep = Step::None;
    ullFramesWritten = 0;
    uiInputRate = 0;
    if (pInput == nullptr)
    {
        return Fail(Step::OpenInput, -4);
    }
    if (pOutput == nullptr)
    {
        return Fail(Step::CreateOutput, -4);
    }
    WaveFileReader Reader;
    const int32_t iOpen = Reader.Open(pInput);
    if (iOpen < 0)
    {
        return Fail(Step::OpenInput, iOpen);
    }
    uiInputRate = Reader.uiSamplingFrequency;

    SamplingFrequencyConverter Converter(OVERSAMPLING_FACTOR);
    int32_t iResult =
        Converter.Setup(2, Reader.uiSamplingFrequency, Choice.uiDeviceRate, BLOCK_ORDER, Choice.iShift, 0.0);
    if (iResult == 1)
    {
        iResult = (Choice.dfSpeed > 0.0 && std::isfinite(Choice.dfSpeed))
                      ? Converter.SetOutputRate(Choice.uiDeviceRate / Choice.dfSpeed, 1)
                      : -4;
    }
    if (iResult != 1)
    {
        return Fail(Step::SetupConverter, iResult);
    }

    // Writing over the file being read would destroy it before it is read.
    if (IsSameFile(pInput, pOutput))
    {
        return Fail(Step::CreateOutput, -4);
    }
    WaveFileWriter Writer;
    iResult = Writer.Open(pOutput, 2, Choice.uiDeviceRate, WaveSampleFormat::Float32);
    if (iResult != 1)
    {
        return Fail(Step::CreateOutput, iResult);
    }

    std::vector<double> InputBuffer(ConverterFeeder::BUFFER_BYTES / sizeof(double));
    std::vector<double> OutputBuffer(ConverterFeeder::BUFFER_BYTES / sizeof(double));
    ConverterFeeder Feeder;
    iResult = Feeder.Setup(&Reader, &Converter, InputBuffer.data(), ConverterFeeder::BUFFER_BYTES,
                           OutputBuffer.data(), ConverterFeeder::BUFFER_BYTES);
    Step FailingStep = Step::Convert;
    uint64_t ullBlockFrames = 1;
    while (iResult == 1 && ullBlockFrames > 0)
    {
        iResult = Feeder.ReadBlock(ullBlockFrames);
        while (iResult == 1)
        {
            uint64_t ullFrames = 0;
            iResult = Feeder.ConvertStep(ullFrames);
            if (iResult < 0 || ullFrames == 0)
            {
                continue;
            }
            uint64_t ullWritten = ullFrames;
            if (Writer.WriteFrames(Feeder.GetOutput(), ullWritten) != 1 || ullWritten != ullFrames)
            {
                FailingStep = Step::WriteOutput;
                iResult = -1;
                break;
            }
            ullFramesWritten += ullWritten;
            if (Progress)
            {
                Progress(Converter.ullConsumedFrames.load(std::memory_order_relaxed), Reader.ullFrameCount);
            }
        }
        if (iResult == 0)
        {
            iResult = 1;
        }
    }
    if (iResult < 0)
    {
        Writer.Close();
        RemoveOutput(pOutput);
        return Fail(FailingStep, iResult);
    }
    if (Writer.Close() != 1)
    {
        RemoveOutput(pOutput);
        return Fail(Step::WriteOutput, -1);
    }
    return 1;
}
