#include "app/player/PlaybackThreadBody.h"

#include "app/player/ConverterFeeder.h"
#include "app/player/PlayerState.h"
#include "conversion/SamplingFrequencyConverter.h"
#include "conversion/TimeStretcher.h"
#include "runtime/CMultimediaTimer.h"
#include "runtime/CNonCopyable.h"
#include "runtime/SEvent.h"
#include "runtime/WorkerParameterNames.h"
#include "runtime/WorkerParameters.h"
#include "soundbuffer/IntelligentSoundBuffer.h"
#include "wave/SAudioFileReader.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <thread>

using namespace WorkerParameterNames;

namespace
{
constexpr uint64_t STEREO = 2;

// What the thread works with, fetched once at its start.
struct Playback
{
    PlayerState* pState = nullptr;
    SEvent* pStopEvent = nullptr;
    IntelligentSoundBuffer* pBuffer = nullptr;
    SamplingFrequencyConverter* pConverter = nullptr;
    TimeStretcher* pStretcher = nullptr;
    // A change of the keep-pitch mode: a period of the old mode's sound, and how much of it the new
    // mode's first frames have been mixed with so far.
    double* pdfHold = nullptr;
    uint64_t ullHoldCapacity = 0;
    uint64_t ullHoldFrames = 0;
    uint64_t ullMixed = 0;
    // After the change the new mode starts a little before the place reached, so that it has
    // settled there; its frames before the place are dropped. Negative: nothing to drop.
    double dfDropUntil = -1.0;
    ConverterFeeder Feeder; // read, stereo, convert, volume, zero fill and drain, as the renderer does
    CMultimediaTimer Timer;
    // The loop's end this run of reads keeps to (NO_END outside a loop): a B moved once the pass
    // can no longer fade towards it cleanly waits for the next pass.
    uint64_t ullPassEnd = ConverterFeeder::NO_END;
};

// The record learns that the thread has returned, whatever the reason, so the owner can stop a
// playback that ended by itself.
class EndNotice : private CNonCopyable
{
public:
    explicit EndNotice(PlayerState& State) : Target(State) {}
    ~EndNotice() { Target.bPlaybackThreadEnded.store(1, std::memory_order_release); }

private:
    PlayerState& Target;
};

bool StopRequested(const Playback& Run)
{
    return Run.pStopEvent != nullptr && Run.pStopEvent->Wait(0) > 0;
}

bool SeekPending(const Playback& Run)
{
    return Run.pState->ullSeekFrame.load(std::memory_order_acquire) != PlayerState::NO_SEEK;
}

// A millisecond on the precise timer; only a yield when the timer is refused.
void WaitOneMillisecond(Playback& Run)
{
    if (Run.Timer.Sleep(1) < 0)
    {
        std::this_thread::yield();
    }
}

// The converter's rate for the mode the feeder is in: x1 keeping the pitch (the stretcher has the
// speed), else the speed.
void FollowMode(Playback& Run)
{
    if (Run.pConverter == nullptr || Run.pStretcher == nullptr || Run.pStretcher->IsReady() == 0)
    {
        return;
    }
    const double dfSpeed = Run.Feeder.IsStretching() != 0 ? 1.0 : Run.pStretcher->GetSpeed();
    Run.pConverter->SetOutputRate(Run.pState->dfDeviceSamplingFrequency / dfSpeed, 1);
}

// The record learns which mode the frames now go through.
void PublishMode(Playback& Run)
{
    Run.pState->bStretching.store(Run.Feeder.IsStretching(), std::memory_order_release);
}

// Moves to the frame a seek asks for: what the sound buffer holds is dropped (the period going out
// fades out, the new place fades in), the reader moves and the converter starts afresh there. A
// newer request that came meanwhile stays for the next call. false when the reader failed.
bool TakeSeek(Playback& Run)
{
    uint64_t ullFrame = Run.pState->ullSeekFrame.load(std::memory_order_acquire);
    if (ullFrame == PlayerState::NO_SEEK)
    {
        return true;
    }
    if (Run.pBuffer != nullptr)
    {
        Run.pBuffer->Discard();
    }
    // A change of the keep-pitch mode asked for meanwhile is taken here, between the fades.
    const int32_t bWasStretching = Run.Feeder.IsStretching();
    Run.Feeder.SetStretcher(Run.pStretcher, Run.pState->bKeepPitch.load(std::memory_order_acquire));
    Run.ullHoldFrames = 0;
    Run.dfDropUntil = -1.0;
    const int32_t iRestart = Run.Feeder.Restart(ullFrame);
    Run.ullPassEnd = ConverterFeeder::NO_END;
    if (Run.Feeder.IsStretching() != bWasStretching)
    {
        FollowMode(Run);
    }
    PublishMode(Run);
    Run.pState->ullSeekFrame.compare_exchange_strong(ullFrame, PlayerState::NO_SEEK,
                                                     std::memory_order_acq_rel);
    return iRestart >= 0;
}

// Input frames that play for one period of the sound buffer at the speed now in force: the length
// of the fades at a loop's seam, as long as the buffer's own fades.
uint64_t SeamFadeFrames(const Playback& Run)
{
    if (Run.pBuffer == nullptr || Run.pConverter == nullptr || !(Run.pConverter->dfOutputRate > 0.0))
    {
        return 0;
    }
    const double dfSpeed = Run.Feeder.IsStretching() != 0 ? Run.pStretcher->GetSpeed() : 1.0;
    return static_cast<uint64_t>(std::ceil(static_cast<double>(Run.pBuffer->ullPeriodFrames) *
                                           Run.pConverter->dfInputRate / Run.pConverter->dfOutputRate *
                                           dfSpeed));
}

// The reads stop at the loop's end while one is set, and the drain after them stops where the end
// plays: a repetition lasts exactly the passage at the speed, with no silence at the seam. A loop's
// end moved while the pass is fading out towards the old one, or moved back to where the fade would
// already have had to begin, takes effect at the next pass: a fade cut short would click.
void KeepToLoop(Playback& Run)
{
    uint64_t ullStart = 0;
    uint64_t ullEnd = 0;
    const bool bLoop = Run.pState->GetLoop(ullStart, ullEnd);
    const uint64_t ullFade = bLoop ? SeamFadeFrames(Run) : 0;
    const uint64_t ullWanted = bLoop ? ullEnd : ConverterFeeder::NO_END;
    const uint64_t ullRead = Run.Feeder.GetReadFrame();
    const bool bTooLate = ullRead + ullFade >= Run.ullPassEnd || ullRead + ullFade >= ullWanted;
    if (!(bLoop && Run.ullPassEnd != ConverterFeeder::NO_END && ullWanted != Run.ullPassEnd && bTooLate))
    {
        Run.ullPassEnd = ullWanted;
    }
    Run.Feeder.SetSectionEnd(Run.ullPassEnd, Run.ullPassEnd != ConverterFeeder::NO_END ? ullFade : 0);
}

// The reads reached the loop's end and the converter is drained: everything up to the end is in
// the sound buffer, faded out, and nothing after it (the feeder dropped the drain's frames past B).
// Playback goes on from the loop's start (from where it stopped when the loop was cleared
// meanwhile), or from the run-up before it, faded in, with the speed a seam was asked to glide to.
// false when the reader failed.
bool TakeLoopSeam(Playback& Run)
{
    uint64_t ullStart = 0;
    uint64_t ullEnd = 0;
    uint64_t ullReturn = 0;
    const bool bLoop = Run.pState->GetLoop(ullStart, ullEnd, ullReturn);
    const double dfRate = Run.pState->dfSeamRate.exchange(0.0);
    if (bLoop && dfRate > 0.0 && Run.pConverter != nullptr)
    {
        // Keeping the pitch, the converter stays at x1 and the stretcher glides to the speed.
        if (Run.Feeder.IsStretching() != 0)
        {
            Run.pStretcher->SetSpeed(Run.pState->dfDeviceSamplingFrequency / dfRate, 0);
        }
        else
        {
            Run.pConverter->SetOutputRate(dfRate, 0);
        }
    }
    const uint64_t ullFrame = bLoop ? ullReturn : Run.Feeder.GetReadFrame();
    if (bLoop)
    {
        Run.pState->ullLoopPasses.fetch_add(1, std::memory_order_release);
    }
    Run.ullPassEnd = ConverterFeeder::NO_END;
    return Run.Feeder.Restart(ullFrame, SeamFadeFrames(Run)) >= 0;
}

// The mode the record asks for differs from the feeder's, and the change can be made (the
// stretcher is ready to take the frames; the end of the file is not being drained).
bool ModeChangeWanted(const Playback& Run)
{
    const int32_t bWanted = Run.pState->bKeepPitch.load(std::memory_order_acquire) != 0 ? 1 : 0;
    return bWanted != Run.Feeder.IsStretching() && Run.pStretcher != nullptr &&
           Run.pStretcher->IsReady() != 0 && Run.Feeder.IsAtEndOfFile() == 0;
}

// A change of the keep-pitch mode while playing: the old mode goes on for one device period, kept
// aside; then the feeder starts afresh in the new mode at the very place the old one had reached,
// and its first period is crossfaded with the one kept (see MixCrossfade). Without a buffer for
// the period, the change comes with the fades of a jump to that place. false when a step failed.
bool SwitchMode(Playback& Run)
{
    const double dfPlace = Run.Feeder.GetNextOutputPosition();
    const uint64_t ullPeriod = Run.pBuffer != nullptr ? Run.pBuffer->ullPeriodFrames : 0;
    const uint64_t ullWanted = std::min(ullPeriod, Run.ullHoldCapacity);
    Run.ullHoldFrames = 0;
    Run.ullMixed = 0;
    bool bEnd = false;
    while (Run.ullHoldFrames < ullWanted && !bEnd && !StopRequested(Run) && !SeekPending(Run))
    {
        uint64_t ullRead = 0;
        if (Run.Feeder.ReadBlock(ullRead) < 0)
        {
            return false;
        }
        int32_t iStep = 1;
        while (iStep == 1 && Run.ullHoldFrames < ullWanted)
        {
            uint64_t ullMade = 0;
            iStep = Run.Feeder.ConvertStep(ullMade);
            if (iStep < 0)
            {
                return false;
            }
            const uint64_t ullKept = std::min(ullMade, ullWanted - Run.ullHoldFrames);
            std::copy(Run.Feeder.GetOutput(), Run.Feeder.GetOutput() + STEREO * ullKept,
                      Run.pdfHold + STEREO * Run.ullHoldFrames);
            Run.ullHoldFrames += ullKept;
        }
        bEnd = ullRead == 0 && iStep == 0;
    }
    Run.Feeder.SetStretcher(Run.pStretcher, Run.pState->bKeepPitch.load(std::memory_order_acquire));
    if (ullWanted == 0 && Run.pBuffer != nullptr)
    {
        Run.pBuffer->Discard();
    }
    // The new mode starts a stretcher's frame or two early, so its own start (a converter or a
    // stretcher starting from silence) lies before the place, where its frames are dropped.
    const double dfLead = 2.0 * static_cast<double>(Run.pStretcher->GetFrameLength());
    const double dfFrom = std::max(std::floor(dfPlace - dfLead), 0.0);
    const int32_t iRestart = Run.Feeder.Restart(static_cast<uint64_t>(dfFrom));
    Run.dfDropUntil = ullWanted != 0 ? dfPlace : -1.0;
    FollowMode(Run);
    PublishMode(Run);
    return iRestart >= 0;
}

// Frames at the start of ullFrames given out just now that lie before the place a change of mode
// went on from (each frame's place counted back from the next one's at the rate in force).
uint64_t FramesBeforeThePlace(Playback& Run, uint64_t ullFrames)
{
    if (Run.dfDropUntil < 0.0 || ullFrames == 0 || Run.pConverter == nullptr ||
        !(Run.pConverter->dfOutputRate > 0.0))
    {
        return 0;
    }
    const double dfStep = Run.pConverter->dfInputRate / Run.pConverter->dfOutputRate *
                          (Run.Feeder.IsStretching() != 0 ? Run.pStretcher->GetSpeed() : 1.0);
    const double dfFirst = Run.Feeder.GetNextOutputPosition() - static_cast<double>(ullFrames) * dfStep;
    const double dfBefore = std::ceil((Run.dfDropUntil - dfFirst) / dfStep - 1e-9);
    if (dfBefore < static_cast<double>(ullFrames))
    {
        Run.dfDropUntil = -1.0;
    }
    return dfBefore <= 0.0 ? 0 : std::min(ullFrames, static_cast<uint64_t>(dfBefore));
}

// The first frames after a change of mode: the old mode's period fades out along the raised cosine
// as the new mode's fades in, frame for frame.
void MixCrossfade(Playback& Run, double* pdfFrames, uint64_t ullFrames)
{
    for (uint64_t i = 0; i < ullFrames && Run.ullMixed < Run.ullHoldFrames; ++i, ++Run.ullMixed)
    {
        const double w = 0.5 - 0.5 * std::cos(std::numbers::pi * (static_cast<double>(Run.ullMixed) + 0.5) /
                                              static_cast<double>(Run.ullHoldFrames));
        for (uint64_t c = 0; c < STEREO; ++c)
        {
            pdfFrames[STEREO * i + c] =
                (1.0 - w) * Run.pdfHold[STEREO * Run.ullMixed + c] + w * pdfFrames[STEREO * i + c];
        }
    }
}

// Offers ullFrames frames to the sound buffer until it has taken them all, a stop is requested or a
// seek leaves the rest unwanted, waiting 1 ms whenever it takes none. false when a write failed.
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
        if (ullDelivered == ullFrames || StopRequested(Run) || SeekPending(Run))
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
// file this drains the converter. A seek ends the block at once. false when a step failed.
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
        const uint64_t ullDropped = FramesBeforeThePlace(Run, ullConverted);
        double* pdfKept = Run.Feeder.GetOutput() + STEREO * ullDropped;
        ullConverted -= ullDropped;
        if (ullConverted == 0)
        {
            continue;
        }
        MixCrossfade(Run, pdfKept, ullConverted);
        if (!Deliver(Run, pdfKept, ullConverted))
        {
            return false;
        }
        if (StopRequested(Run) || SeekPending(Run))
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
    PlayerState* pState = ReadParameterAddress<PlayerState>(&Owner, PLAYER_STATE);
    PlayerState& State = pState != nullptr ? *pState : PlayerState::Instance();
    const EndNotice Notice(State);

    Playback Run;
    Run.pState = &State;
    Run.pStopEvent = Owner.GetStopEvent();
    Run.pBuffer = ReadParameterAddress<IntelligentSoundBuffer>(&Owner, INTELLIGENT_SOUND_BUFFER);
    Run.pConverter = ReadParameterAddress<SamplingFrequencyConverter>(&Owner, SAMPLING_FREQUENCY_CONVERTER);
    Run.pStretcher = ReadParameterAddress<TimeStretcher>(&Owner, TIME_STRETCHER);
    uint64_t ullInputBytes = 0;
    uint64_t ullOutputBytes = 0;
    double* pdfInput = ReadParameterBuffer<double>(&Owner, INPUT_SIGNAL_BUFFER, ullInputBytes);
    double* pdfOutput = ReadParameterBuffer<double>(&Owner, OUTPUT_SIGNAL_BUFFER, ullOutputBytes);
    // A refusal is acted on below: without a reader the thread ends at once, without an input
    // buffer the file ends at once, without a converter (or output buffer) the first block fails.
    Run.Feeder.Setup(ReadParameterAddress<SAudioFileReader>(&Owner, WAVE_FILE_READER), Run.pConverter,
                     pdfInput, ullInputBytes, pdfOutput, ullOutputBytes, State.pVolume);
    Run.Feeder.SetStretcher(Run.pStretcher, State.bKeepPitch.load(std::memory_order_acquire));
    PublishMode(Run);
    uint64_t ullHoldBytes = 0;
    Run.pdfHold = ReadParameterBuffer<double>(&Owner, CROSSFADE_BUFFER, ullHoldBytes);
    Run.ullHoldCapacity = Run.pdfHold != nullptr ? ullHoldBytes / (STEREO * sizeof(double)) : 0;

    for (;;)
    {
        // StopPlayback clears the flag before it requests the stop, so the stop is not tested here.
        // A seek while paused moves the place at once; the resume plays from there.
        while (State.bPaused.load(std::memory_order_relaxed) != 0)
        {
            if (!TakeSeek(Run))
            {
                return PLAYBACK_THREAD_FAILED;
            }
            WaitOneMillisecond(Run);
        }

        // A reader that cannot be read ends the thread as a failed read does: without Finish.
        if (Run.Feeder.GetRefusal() == ConverterFeeder::Refusal::Reader || !TakeSeek(Run))
        {
            return PLAYBACK_THREAD_FAILED;
        }
        if (ModeChangeWanted(Run) && !SwitchMode(Run))
        {
            return PLAYBACK_THREAD_FAILED;
        }
        KeepToLoop(Run);
        uint64_t ullFrames = 0;
        // A zero fill that did not fit still leaves the converter to drain and the buffer to finish.
        if (Run.Feeder.ReadBlock(ullFrames) < 0 && Run.Feeder.IsAtEndOfFile() == 0)
        {
            return PLAYBACK_THREAD_FAILED;
        }

        const bool bDelivered = ConvertAndDeliver(Run);
        if (ullFrames == 0 && bDelivered && Run.Feeder.IsAtSectionEnd() != 0 && !SeekPending(Run) &&
            !StopRequested(Run))
        {
            if (!TakeLoopSeam(Run))
            {
                return PLAYBACK_THREAD_FAILED;
            }
            continue;
        }
        // End of the file, also when the stop came during the drain; a seek goes on from elsewhere.
        if (ullFrames == 0 && !(bDelivered && SeekPending(Run) && !StopRequested(Run)))
        {
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

int32_t StorePlaybackObjects(SMultiThread& Worker, SAudioFileReader* pReader,
                             SamplingFrequencyConverter* pConverter, IntelligentSoundBuffer* pBuffer,
                             PlayerState* pState, TimeStretcher* pStretcher)
{
    const struct
    {
        const char16_t* pName;
        const void* pAddress;
    } Objects[] = {{WAVE_FILE_READER, pReader},
                   {SAMPLING_FREQUENCY_CONVERTER, pConverter},
                   {INTELLIGENT_SOUND_BUFFER, pBuffer},
                   {PLAYER_STATE, pState},
                   {TIME_STRETCHER, pStretcher}};
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
