#include "app/PlaybackThreadBody.h"

#include "app/ConverterFeeder.h"
#include "app/PlayerState.h"
#include "conversion/ParameterSmoother.h"
#include "runtime/CMultimediaTimer.h"
#include "runtime/SEvent.h"
#include "runtime/WorkerParameterNames.h"
#include "runtime/WorkerParameters.h"
#include "soundbuffer/IntelligentSoundBuffer.h"
#include "wave/WaveFileReader.h"

#include <cstdint>
#include <thread>

using namespace WorkerParameterNames;

namespace
{
constexpr uint64_t STEREO = 2;

// What the thread works with, fetched once at its start.
struct Playback
{
    SEvent* pStopEvent = nullptr;
    IntelligentSoundBuffer* pBuffer = nullptr;
    ParameterSmoother* pVolume = nullptr;
    ConverterFeeder Feeder; // read, stereo, convert, zero fill and drain, as the renderer does
    CMultimediaTimer Timer;
};

bool StopRequested(const Playback& Run)
{
    return Run.pStopEvent != nullptr && Run.pStopEvent->Wait(0) > 0;
}

// A millisecond on the precise timer; only a yield when the timer is refused.
void WaitOneMillisecond(Playback& Run)
{
    if (Run.Timer.Sleep(1) < 0)
    {
        std::this_thread::yield();
    }
}

// One ramp step per frame; both samples of a frame get the same gain. One lock for the block.
void ApplyVolume(ParameterSmoother* pVolume, double* pdfFrames, uint64_t ullFrames)
{
    if (pVolume == nullptr)
    {
        return;
    }
    pVolume->ScaleFrames(pdfFrames, ullFrames, STEREO);
}

// Offers ullFrames frames to the sound buffer until it has taken them all or a stop is requested,
// waiting 1 ms whenever it takes none. false when a write failed.
bool Deliver(Playback& Run, const double* pdfFrames, uint64_t ullFrames)
{
    uint64_t ullAccepted = ullFrames;
    if (Run.pBuffer->Write(pdfFrames, ullAccepted) < 0)
    {
        return false;
    }
    uint64_t ullDelivered = 0;
    for (;;)
    {
        ullDelivered += ullAccepted;
        if (ullAccepted == 0)
        {
            WaitOneMillisecond(Run);
        }
        if (ullDelivered == ullFrames || StopRequested(Run))
        {
            return true;
        }
        ullAccepted = ullFrames - ullDelivered;
        if (Run.pBuffer->Write(pdfFrames + STEREO * ullDelivered, ullAccepted) < 0)
        {
            return false;
        }
    }
}

// Converts the block last read and delivers everything the converter yields; after the end of the
// file this drains the converter. false when a step failed.
bool ConvertAndDeliver(Playback& Run)
{
    for (;;)
    {
        uint64_t ullConverted = 0;
        if (Run.pBuffer == nullptr)
        {
            return false;
        }
        const int32_t iStep = Run.Feeder.ConvertStep(ullConverted);
        if (iStep < 0)
        {
            return false;
        }
        if (iStep == 0)
        {
            return true;
        }
        if (ullConverted == 0)
        {
            continue; // the input FIFO had no room for the whole block; the rest goes in now
        }
        double* pdfFrames = Run.Feeder.GetOutput();
        ApplyVolume(Run.pVolume, pdfFrames, ullConverted);
        if (!Deliver(Run, pdfFrames, ullConverted))
        {
            return false;
        }
        if (StopRequested(Run))
        {
            return true;
        }
    }
}
} // namespace

uint64_t PlaybackThreadBody(ThreadContext* pContext)
{
    if (pContext == nullptr || pContext->pOwner == nullptr)
    {
        return PLAYBACK_THREAD_FAILED;
    }
    const SMultiThread& Owner = *pContext->pOwner;
    PlayerState& State = PlayerState::Instance();

    Playback Run;
    Run.pStopEvent = Owner.GetStopEvent();
    Run.pBuffer = ReadParameterAddress<IntelligentSoundBuffer>(&Owner, INTELLIGENT_SOUND_BUFFER);
    Run.pVolume = State.pVolume;
    uint64_t ullInputBytes = 0;
    uint64_t ullOutputBytes = 0;
    double* pdfInput = ReadParameterBuffer<double>(&Owner, INPUT_SIGNAL_BUFFER, ullInputBytes);
    double* pdfOutput = ReadParameterBuffer<double>(&Owner, OUTPUT_SIGNAL_BUFFER, ullOutputBytes);
    // A refusal is acted on below: without a reader the thread ends at once, without an input
    // buffer the file ends at once, without a converter (or output buffer) the first block fails.
    Run.Feeder.Setup(ReadParameterAddress<WaveFileReader>(&Owner, WAVE_FILE_READER),
                     ReadParameterAddress<SamplingFrequencyConverter>(&Owner, SAMPLING_FREQUENCY_CONVERTER),
                     pdfInput, ullInputBytes, pdfOutput, ullOutputBytes);

    for (;;)
    {
        // StopPlayback clears the flag before it requests the stop, so the stop is not tested here.
        while (State.bPaused.load(std::memory_order_relaxed) != 0)
        {
            WaitOneMillisecond(Run);
        }

        // A reader that cannot be read ends the thread as a failed read does: without Finish.
        if (Run.Feeder.GetRefusal() == ConverterFeeder::Refusal::Reader)
        {
            return PLAYBACK_THREAD_FAILED;
        }
        uint64_t ullFrames = 0;
        // A zero fill that did not fit still leaves the converter to drain and the buffer to finish.
        if (Run.Feeder.ReadBlock(ullFrames) < 0 && Run.Feeder.IsAtEndOfFile() == 0)
        {
            return PLAYBACK_THREAD_FAILED;
        }

        const bool bDelivered = ConvertAndDeliver(Run);
        if (ullFrames == 0)
        {
            // End of the file, also when the stop came during the drain.
            if (Run.pBuffer != nullptr)
            {
                Run.pBuffer->Finish();
            }
            return bDelivered ? PLAYBACK_THREAD_DONE : PLAYBACK_THREAD_FAILED;
        }
        if (!bDelivered)
        {
            return PLAYBACK_THREAD_FAILED;
        }
        if (StopRequested(Run))
        {
            return PLAYBACK_THREAD_DONE;
        }
    }
}

int32_t StorePlaybackObjects(SMultiThread& Worker, WaveFileReader* pReader,
                             SamplingFrequencyConverter* pConverter, IntelligentSoundBuffer* pBuffer)
{
    const struct
    {
        const char16_t* pName;
        const void* pAddress;
    } Objects[] = {{WAVE_FILE_READER, pReader},
                   {SAMPLING_FREQUENCY_CONVERTER, pConverter},
                   {INTELLIGENT_SOUND_BUFFER, pBuffer}};
    for (const auto& Object : Objects)
    {
        const int32_t iResult =
            Object.pAddress != nullptr ? StoreParameterAddress(Worker, Object.pName, Object.pAddress) : 1;
        if (iResult < 0)
        {
            return iResult;
        }
    }
    return 1;
}
