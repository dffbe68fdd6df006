#include "wave/WaveRecordingFile.h"

#include <filesystem>
#include <system_error>

WaveRecordingFile::~WaveRecordingFile()
{
    Abandon();
}

int32_t WaveRecordingFile::Open(const char16_t* pPath, uint32_t uiChannels, uint32_t uiRate,
                                WaveSampleFormat Format)
{
    Abandon();
    if (pPath == nullptr)
    {
        return -4;
    }
    const int32_t iResult = Writer.Open(pPath, uiChannels, uiRate, Format);
    if (iResult != 1)
    {
        return iResult;
    }
    Path = pPath;
    bOpen = 1;
    return 1;
}

int32_t WaveRecordingFile::AppendFrames(const double* pdfFrames, uint64_t& ullFrames)
{
    return Writer.WriteFrames(pdfFrames, ullFrames);
}

int32_t WaveRecordingFile::AppendWords(const uint32_t* puiWords, uint64_t& ullFrames)
{
    return Writer.WriteWords(puiWords, ullFrames);
}

int32_t WaveRecordingFile::Finalise()
{
    if (bOpen == 0)
    {
        return 0;
    }
    if (Writer.Close() != 1)
    {
        Abandon();
        return -1;
    }
    bOpen = 0;
    Path.clear();
    return 1;
}

int32_t WaveRecordingFile::Abandon()
{
    if (bOpen == 0)
    {
        return 0;
    }
    Writer.Close();
    std::error_code Error;
    const std::filesystem::path Output{Path};
    if (std::filesystem::is_regular_file(Output, Error))
    {
        std::filesystem::remove(Output, Error);
    }
    bOpen = 0;
    Path.clear();
    return 1;
}
