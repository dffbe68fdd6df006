#include "wave/AudioFileOpener.h"

#include "runtime/ResultCodes.h"
#include "wave/DecoderReaderFactory.h"
#include "wave/WaveFileDiagnosis.h"

AudioFileOpener::~AudioFileOpener()
{
    Close();
}

int32_t AudioFileOpener::Open(const char16_t* pPath)
{
    Close();
    if (pPath == nullptr)
    {
        return RESULT_INVALID_ARGUMENT;
    }
    const int32_t iWave = Wave.Open(pPath);
    if (iWave >= 0)
    {
        pOpened = &Wave;
        return iWave;
    }
    WaveFileDiagnosis Diagnosis;
    Diagnosis.Examine(pPath);
    if (Diagnosis.Found != WaveFileDiagnosis::Problem::NotWave &&
        Diagnosis.Found != WaveFileDiagnosis::Problem::OtherEncoding)
    {
        ErrorText = Diagnosis.Reason();
        return iWave;
    }
    if (pDecoder == nullptr)
    {
        pDecoder = CreateDecoderReader();
        if (pDecoder == nullptr)
        {
            return RESULT_OUT_OF_MEMORY;
        }
    }
    const int32_t iDecoded = pDecoder->Open(pPath);
    if (iDecoded >= 0)
    {
        pOpened = pDecoder.get();
        return iDecoded;
    }
    ErrorText = pDecoder->GetErrorText();
    if (ErrorText.empty() || Diagnosis.Found == WaveFileDiagnosis::Problem::OtherEncoding)
    {
        // A WAV file of a coding the decoder does not take either: its format tag says more.
        ErrorText = Diagnosis.Reason();
    }
    return iDecoded;
}

int32_t AudioFileOpener::ReadFrames(double* pdfOut, uint64_t* pullFrames)
{
    if (pOpened == nullptr)
    {
        if (pullFrames == nullptr)
        {
            return RESULT_INVALID_ARGUMENT;
        }
        *pullFrames = 0;
        return RESULT_FAILED;
    }
    return pOpened->ReadFrames(pdfOut, pullFrames);
}

int32_t AudioFileOpener::Rewind()
{
    return pOpened != nullptr ? pOpened->Rewind() : RESULT_FAILED;
}

int32_t AudioFileOpener::SeekFrame(uint64_t ullFrame)
{
    return pOpened != nullptr ? pOpened->SeekFrame(ullFrame) : RESULT_FAILED;
}

int32_t AudioFileOpener::Close()
{
    ErrorText.clear();
    if (pOpened == nullptr)
    {
        return 0;
    }
    const int32_t iClosed = pOpened->Close();
    pOpened = nullptr;
    return iClosed;
}

int32_t AudioFileOpener::IsOpen() const
{
    return pOpened != nullptr ? pOpened->IsOpen() : 0;
}

const AudioFileFormat& AudioFileOpener::GetFormat() const
{
    return pOpened != nullptr ? pOpened->GetFormat() : Closed;
}

const char16_t* AudioFileOpener::GetErrorText() const
{
    return ErrorText.c_str();
}
