#include "wave/WaveRecordingFile.h"

#include <cerrno>

WaveRecordingFile::~WaveRecordingFile()
{
    Abandon();
}

int32_t WaveRecordingFile::Open(const char16_t* pPath, uint32_t uiChannels, uint32_t uiRate,
                                WaveSampleFormat Format)
{
    Abandon();
    bRenameFailed = false;
    iSystemError = 0;
    if (pPath == nullptr)
    {
        return -4;
    }
    int32_t iResult = Replacement.Begin(pPath);
    if (iResult != 1)
    {
        iSystemError = Replacement.GetSystemError();
        return iResult;
    }
    Writer.LimitSize(ullSizeLimit);
    errno = 0;
    iResult = Writer.Open(Replacement.GetWritePath().c_str(), uiChannels, uiRate, Format);
    if (iResult != 1)
    {
        iSystemError = errno;
        Replacement.Abandon();
        return iResult;
    }
    bOpen = 1;
    return 1;
}

int32_t WaveRecordingFile::AppendFrames(const double* pdfFrames, uint64_t& ullFrames)
{
    errno = 0;
    const int32_t iResult = Writer.WriteFrames(pdfFrames, ullFrames);
    iSystemError = iResult == 1 ? 0 : errno;
    return iResult;
}

int32_t WaveRecordingFile::AppendWords(const uint32_t* puiWords, uint64_t& ullFrames)
{
    errno = 0;
    const int32_t iResult = Writer.WriteWords(puiWords, ullFrames);
    iSystemError = iResult == 1 ? 0 : errno;
    return iResult;
}

int32_t WaveRecordingFile::Finalise()
{
    if (bOpen == 0)
    {
        return 0;
    }
    errno = 0;
    if (Writer.Close() != 1)
    {
        iSystemError = errno;
        Abandon();
        return -1;
    }
    bOpen = 0;
    if (Replacement.Commit() != 1)
    {
        iSystemError = Replacement.GetSystemError();
        bRenameFailed = true;
        return -1;
    }
    return 1;
}

int32_t WaveRecordingFile::Abandon()
{
    if (bOpen == 0)
    {
        return 0;
    }
    Writer.Close();
    Replacement.Abandon();
    bOpen = 0;
    return 1;
}
