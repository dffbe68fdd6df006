#include "wave/AudioFileReaderBase.h"

#include "runtime/ResultCodes.h"

int32_t AudioFileReaderBase::ReadFrames(double* pdfOut, uint64_t* pullFrames)
{
    if (pullFrames == nullptr)
    {
        return RESULT_INVALID_ARGUMENT;
    }
    const uint64_t ullWanted = *pullFrames;
    *pullFrames = 0;
    if (bOpened == 0)
    {
        return RESULT_FAILED;
    }
    if (pdfOut == nullptr)
    {
        return RESULT_INVALID_ARGUMENT;
    }
    uint64_t ullDelivered = 0;
    const int32_t iRead = ReadOpenFile(pdfOut, ullWanted, ullDelivered);
    *pullFrames = ullDelivered;
    return iRead;
}

int32_t AudioFileReaderBase::Rewind()
{
    return SeekFrame(0);
}

int32_t AudioFileReaderBase::SeekFrame(uint64_t ullFrame)
{
    return bOpened != 0 ? SeekOpenFile(ullFrame) : RESULT_FAILED;
}
