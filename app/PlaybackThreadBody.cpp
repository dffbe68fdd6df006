#include "app/PlaybackThreadBody.h"

#include "app/ChannelDownmixer.h"
#include "app/PlayerState.h"
#include "conversion/ParameterSmoother.h"
#include "conversion/SamplingFrequencyConverter.h"
#include "runtime/CMultimediaTimer.h"
#include "runtime/CriticalSectionHolder.h"
#include "runtime/SEvent.h"
#include "soundbuffer/IntelligentSoundBuffer.h"
#include "wave/WaveFileReader.h"

#include <cstdint>
#include <thread>

namespace
{
constexpr uint64_t STEREO = 2;
constexpr uint64_t SAMPLE_BYTES = sizeof(double);
constexpr uint64_t STEREO_FRAME_BYTES = STEREO * SAMPLE_BYTES;

template <typename T> T* ReadAddress(const SMultiThread& Owner, const char16_t* pName)
{
    uint64_t ullValue = 0;
    if (Owner.GetParameter(pName, &ullValue) != 1)
    {
        return nullptr;
    }
    return reinterpret_cast<T*>(static_cast<uintptr_t>(ullValue));
}

// A buffer that cannot be fetched counts as null with size 0.
double* ReadBuffer(const SMultiThread& Owner, const char16_t* pName, uint64_t& ullBytes)
{
    void* pBuffer = nullptr;
    ullBytes = 0;
    if (Owner.GetBuffer(pName, &pBuffer, &ullBytes) != 1 || pBuffer == nullptr)
    {
        ullBytes = 0;
        return nullptr;
    }
    return static_cast<double*>(pBuffer);
}

// What the thread works with, fetched once at its start.
struct Playback
{
    SEvent* pStopEvent = nullptr;
    WaveFileReader* pReader = nullptr;
    SamplingFrequencyConverter* pConverter = nullptr;
    IntelligentSoundBuffer* pBuffer = nullptr;
    ParameterSmoother* pVolume = nullptr;
    double* pdfInput = nullptr;
    double* pdfOutput = nullptr;
    uint64_t ullRequestFrames = 0; // I: frames asked of the reader per block
    uint64_t ullOutputFrames = 0;  // O: stereo frames fetched from the converter at a time
    ChannelDownmixer ToStereo;
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

// Completes the converter's last block with silence so the final input frames, which come out one
// block late, are converted too: 2N - (fill mod N) samples, N = 2^uiBlockOrder.
void PushZeroFill(SamplingFrequencyConverter& Converter)
{
    const uint64_t ullBlockFrames = uint64_t{1} << Converter.uiBlockOrder;
    uint64_t ullFill = 0;
    {
        CriticalSectionHolder Holder(Converter.InputFIFO.pLock);
        ullFill = Converter.InputFIFO.GetFill();
    }
    const uint64_t ullRemainder = ullFill % (STEREO * ullBlockFrames / 2);
    if (ullRemainder % STEREO == 0)
    {
        uint64_t ullZeros = STEREO * ullBlockFrames - ullRemainder;
        Converter.InputFIFO.WriteValue(0.0, ullZeros);
    }
}

// One ramp step per frame; both samples of a frame get the same gain.
void ApplyVolume(ParameterSmoother* pVolume, double* pdfFrames, uint64_t ullFrames)
{
    if (pVolume == nullptr)
    {
        return;
    }
    for (uint64_t f = 0; f < ullFrames; ++f)
    {
        double dfGain = 0.0;
        pVolume->Next(dfGain);
        pdfFrames[STEREO * f] *= dfGain;
        pdfFrames[STEREO * f + 1] *= dfGain;
    }
}

// Offers ullFrames frames to the sound buffer until it has taken them all or a stop is requested,
// waiting 1 ms whenever it takes none. false when a write failed.
bool Deliver(Playback& Run, uint64_t ullFrames)
{
    uint64_t ullAccepted = ullFrames;
    if (Run.pBuffer->Write(Run.pdfOutput, ullAccepted) < 0)
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
        if (Run.pBuffer->Write(Run.pdfOutput + STEREO * ullDelivered, ullAccepted) < 0)
        {
            return false;
        }
    }
}

// Feeds the R stereo frames of the input buffer to the converter and delivers everything it
// yields; with R = 0 it drains the converter. false when a step failed.
bool ConvertAndDeliver(Playback& Run, uint64_t ullFrames)
{
    SamplingFrequencyConverter* pConverter = Run.pConverter;
    uint64_t ullConsumed = 0;
    for (;;)
    {
        if (pConverter == nullptr || pConverter->bReady == 0 || Run.pdfInput == nullptr ||
            Run.pdfOutput == nullptr || Run.ullOutputFrames == 0 || Run.pBuffer == nullptr)
        {
            return false;
        }
        uint64_t ullTaken = 0;
        if (ullFrames > ullConsumed)
        {
            // The input FIFO may not have room for the whole block; the rest goes in next time.
            uint64_t ullSamples = (ullFrames - ullConsumed) * STEREO;
            if (pConverter->InputFIFO.Write(Run.pdfInput + STEREO * ullConsumed, ullSamples) < 0 ||
                ullSamples % STEREO != 0)
            {
                return false;
            }
            ullTaken = ullSamples / STEREO;
        }
        if (pConverter->Process() < 0)
        {
            return false;
        }
        ullConsumed += ullTaken;

        uint64_t ullSamples = Run.ullOutputFrames * STEREO;
        if (pConverter->OutputFIFO.Read(Run.pdfOutput, ullSamples) < 0 || ullSamples % STEREO != 0)
        {
            return false;
        }
        const uint64_t ullConverted = ullSamples / STEREO;
        if (ullConverted == 0)
        {
            if (ullConsumed == ullFrames)
            {
                return true;
            }
            continue;
        }
        ApplyVolume(Run.pVolume, Run.pdfOutput, ullConverted);
        if (!Deliver(Run, ullConverted))
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
    Run.pReader = ReadAddress<WaveFileReader>(Owner, u"pWaveFileReader");
    Run.pConverter = ReadAddress<SamplingFrequencyConverter>(Owner, u"pSamplingFrequencyConverter");
    Run.pBuffer = ReadAddress<IntelligentSoundBuffer>(Owner, u"pIntelligentSoundBuffer");
    Run.pVolume = State.pVolume;
    uint64_t ullInputBytes = 0;
    uint64_t ullOutputBytes = 0;
    Run.pdfInput = ReadBuffer(Owner, u"pdfInputSignalBuffer", ullInputBytes);
    Run.pdfOutput = ReadBuffer(Owner, u"pdfOutputSignalBuffer", ullOutputBytes);

    // A mono block is widened in place, so only half the buffer is read into. A block of more
    // channels shrinks when it is down-mixed, so it fits whatever the channel count.
    const uint32_t uiChannels = Run.pReader != nullptr ? Run.pReader->uiChannelCount : 0;
    if (uiChannels != 0)
    {
        Run.ullRequestFrames = ullInputBytes / SAMPLE_BYTES / uiChannels;
        if (uiChannels == 1)
        {
            Run.ullRequestFrames /= 2;
        }
        Run.ToStereo.Setup(uiChannels, Run.pReader->GetChannelMask());
    }
    Run.ullOutputFrames = ullOutputBytes / STEREO_FRAME_BYTES;

    for (;;)
    {
        // StopPlayback clears the flag before it requests the stop, so the stop is not tested here.
        while (State.bPaused.load(std::memory_order_relaxed) != 0)
        {
            WaitOneMillisecond(Run);
        }

        uint64_t ullFrames = Run.ullRequestFrames;
        if (Run.pReader == nullptr)
        {
            return PLAYBACK_THREAD_FAILED;
        }
        if (Run.pdfInput == nullptr)
        {
            // Nothing can be read without a buffer: the pass below fails and ends the stream.
            ullFrames = 0;
        }
        else if (Run.pReader->ReadFrames(Run.pdfInput, &ullFrames) < 0)
        {
            return PLAYBACK_THREAD_FAILED;
        }

        if (ullFrames == 0 && Run.pConverter != nullptr && Run.pConverter->bReady != 0)
        {
            PushZeroFill(*Run.pConverter);
        }
        if (ullFrames > 0)
        {
            Run.ToStereo.Process(Run.pdfInput, ullFrames);
        }

        const bool bDelivered = ConvertAndDeliver(Run, ullFrames);
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
