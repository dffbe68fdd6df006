#include "app/player/PlaybackEngine.h"

#include "app/player/ConverterFeeder.h"
#include "app/player/PlaybackBufferCallback.h"
#include "app/player/PlaybackThreadBody.h"
#include "app/player/PlayerScales.h"
#include "app/player/PlayerState.h"
#include "app/player/RateTable.h"
#include "app/player/SPlaybackObjectFactory.h"
#include "conversion/ParameterSmoother.h"
#include "conversion/SamplingFrequencyConverter.h"
#include "conversion/TimeStretcher.h"
#include "output/CSoundStreamWASAPI.h"
#include "runtime/CMultiThreadWin.h"
#include "runtime/CMultimediaTimer.h"
#include "runtime/ResultCodes.h"
#include "runtime/WorkerParameterNames.h"
#include "soundbuffer/IntelligentSoundBuffer.h"
#include "wave/SAudioFileReader.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <new>
#include <thread>

PlaybackEngine::PlaybackEngine(PlayerState& State, SAudioClientLayer* pLayer, SPlaybackObjectFactory& Factory)
    : State(State), pLayer(pLayer), Factory(Factory)
{
}

PlaybackEngine::~PlaybackEngine()
{
    TearDown();
}

void PlaybackEngine::Publish()
{
    State.pWaveFileReader = pReader.get();
    State.pIntelligentSoundBuffer = pSoundBuffer.get();
    State.pSoundStream = pStream.get();
    State.pSamplingFrequencyConverter = pConverter.get();
    State.pPlaybackThread = pWorker.get();
}

double PlaybackEngine::LengthInSeconds(uint64_t ullFrames, uint32_t uiRate)
{
    const uint64_t ullRate = uiRate;
    if (ullRate == 0)
    {
        return 0.0;
    }
    return static_cast<double>(ullFrames / ullRate) +
           static_cast<double>(ullFrames % ullRate) / static_cast<double>(ullRate);
}

int32_t PlaybackEngine::ExamineFile(const char16_t* pPath, FileFacts& Facts)
{
    Facts = FileFacts{};
    std::unique_ptr<SAudioFileReader> pExamined = Factory.CreateReader();
    if (pExamined == nullptr)
    {
        return RESULT_OUT_OF_MEMORY;
    }
    const int32_t iOpen = pExamined->Open(pPath);
    if (iOpen < 0)
    {
        Facts.RefusalReason = pExamined->GetErrorText();
        return iOpen;
    }
    const AudioFileFormat& Format = pExamined->GetFormat();
    Facts.uiSamplingFrequency = Format.uiSamplingFrequency;
    Facts.uiChannelCount = Format.uiChannelCount;
    Facts.uiBitCount = Format.uiBitCount;
    Facts.ullFrameCount = Format.ullFrameCount;
    Facts.bFrameCountEstimated = Format.bFrameCountEstimated;
    Facts.bFloatSamples = Format.bFloatSamples;
    Facts.CodingName = Format.szCodingName;
    pExamined->Close();
    return 1;
}

int32_t PlaybackEngine::OpenFile(const char16_t* pPath, FileFacts& Facts)
{
    // The current file stays the player's until this one is known to be readable.
    const int32_t iExamined = ExamineFile(pPath, Facts);
    if (iExamined < 0)
    {
        return iExamined;
    }
    if (State.bPlaying != 0)
    {
        return 0;
    }
    std::unique_ptr<SAudioFileReader> pNewReader = Factory.CreateReader();
    if (pNewReader == nullptr)
    {
        return 0;
    }
    if (pReader != nullptr)
    {
        pReader->Close();
    }
    pReader = std::move(pNewReader);
    Publish();
    // A failure here shows later, as a converter that cannot be set up.
    pReader->Open(pPath);
    return 1;
}

int32_t PlaybackEngine::CreateVolume()
{
    return State.CreateVolume();
}

int32_t PlaybackEngine::InitializeVolume(double dfGain)
{
    if (State.pVolume == nullptr && State.CreateVolume() < 0)
    {
        return RESULT_OUT_OF_MEMORY;
    }
    return State.pVolume->Initialize(dfGain);
}

void PlaybackEngine::SetVolume(double dfGain)
{
    if (!std::isnan(dfGain) && State.pVolume != nullptr && State.pVolume->IsInitialized() != 0)
    {
        State.pVolume->SetTarget(dfGain, State.pVolume->GetDefaultSteps());
    }
}

void PlaybackEngine::DestroyVolume()
{
    State.DestroyVolume();
}

void PlaybackEngine::StopPlaybackThread()
{
    if (pWorker != nullptr)
    {
        pWorker->RequestStop();
        pWorker->WaitForExit();
        pWorker->Release();
    }
}

void PlaybackEngine::StopStream()
{
    if (pStream != nullptr)
    {
        pStream->Stop(0);
        pStream->Close();
    }
}

void PlaybackEngine::DestroyIntelligentSoundBuffer(std::unique_ptr<IntelligentSoundBuffer>& pBuffer)
{
    if (pBuffer == nullptr)
    {
        return;
    }
    pBuffer->Release();
    pBuffer->Queue.Release();
    // The queue's lock goes with the object.
    pBuffer.reset();
}

int32_t PlaybackEngine::PrepareStart()
{
    // A playback that still runs ends before its objects go (the pause wait does not look at the
    // stop request).
    if (State.bPlaying == 1)
    {
        State.bPaused.store(0);
        StopPlaybackThread();
        StopStream();
    }
    if (pReader != nullptr)
    {
        pReader->Rewind();
    }
    State.ullSeekFrame.store(PlayerState::NO_SEEK);

    // A fresh set of objects for every start.
    DestroyIntelligentSoundBuffer(pSoundBuffer);
    pStream.reset();
    pConverter.reset();
    pWorker.reset();
    pStretcher.reset();
    pStretcher = std::unique_ptr<TimeStretcher>(new (std::nothrow) TimeStretcher());
    pSoundBuffer = Factory.CreateSoundBuffer();
    pStream = Factory.CreateStream(pLayer);
    pConverter = Factory.CreateConverter(PlayerScales::OVERSAMPLING_FACTOR);
    pWorker = Factory.CreateWorker();
    Publish();
    bPrepared = 1;
    if (pSoundBuffer == nullptr || pStream == nullptr || pConverter == nullptr || pWorker == nullptr ||
        pStretcher == nullptr)
    {
        bPrepared = 0;
        FailStart(StartStep::Objects, RESULT_OUT_OF_MEMORY);
        return RESULT_OUT_OF_MEMORY;
    }
    return 1;
}

int32_t PlaybackEngine::FailStart(StartStep Step, int32_t iResult)
{
    if (pReport != nullptr)
    {
        pReport->FailedStep = Step;
        pReport->iResult = iResult < 0 ? iResult : RESULT_FAILED;
    }
    if (pSoundBuffer != nullptr)
    {
        pSoundBuffer->Finish();
    }
    StopPlaybackThread();
    // The render thread reads the sound buffer, so it ends before the buffer is released.
    StopStream();
    if (pSoundBuffer != nullptr)
    {
        pSoundBuffer->Release();
    }
    return iResult < 0 ? iResult : RESULT_FAILED;
}

int32_t PlaybackEngine::Start(const StartSettings& Settings, StartReport& Report)
{
    Report = StartReport{};
    Current = Settings;
    pReport = &Report;
    // The report and the observer belong to this start only.
    struct ReportGuard
    {
        StartReport*& pTarget;
        std::function<void(AttemptFailure)>& Observer;
        ~ReportGuard()
        {
            pTarget = nullptr;
            Observer = nullptr;
        }
    } Guard{pReport, Current.OnAttemptFailure};

    if (bPrepared == 0 && PrepareStart() < 0)
    {
        Report.FailedStep = StartStep::Objects;
        Report.iResult = RESULT_OUT_OF_MEMORY;
        return RESULT_OUT_OF_MEMORY;
    }
    bPrepared = 0;
    if (pSoundBuffer == nullptr || pStream == nullptr || pConverter == nullptr || pWorker == nullptr)
    {
        return FailStart(StartStep::Objects, RESULT_OUT_OF_MEMORY);
    }

    // The ladder: exclusive then shared downward from the maximum, then exclusive and shared upward.
    const int32_t iEndpoint = Settings.iEndpoint;
    int32_t bShared = 0;
    if (OpenOutputDevice(iEndpoint, 0, 0) == 0)
    {
        pStream->Close();
        bShared = 1;
        if (OpenOutputDevice(iEndpoint, 1, 0) == 0)
        {
            bShared = 0;
            if (OpenOutputDevice(iEndpoint, 0, 1) == 0)
            {
                pStream->Close();
                bShared = 1;
                if (OpenOutputDevice(iEndpoint, 1, 1) == 0)
                {
                    return FailStart(StartStep::Device, RESULT_FAILED);
                }
            }
        }
    }
    Report.bShared = bShared;
    Report.dfDeviceRate = pStream->dfSamplingFrequency;
    Report.uiDeviceBits = pStream->uiBitCount;
    if (!(pStream->dfSamplingFrequency > 0.0) || pStream->uiBitCount == 0)
    {
        return FailStart(StartStep::DeviceFormat, RESULT_FAILED);
    }

    const double dfInputRate =
        pReader != nullptr && pReader->IsOpen() != 0 ? static_cast<double>(GetRate()) : 0.0;
    const int32_t iSetup = pConverter->Setup(2, dfInputRate, State.dfDeviceSamplingFrequency,
                                             PlayerScales::BLOCK_ORDER, Settings.iShift, 0.0);
    if (iSetup < 0)
    {
        return FailStart(StartStep::Converter, iSetup);
    }
    dfSpeed = Settings.dfSpeed;
    // Made now for either mode, so that switching while playing allocates nothing. A file it cannot
    // take (an extreme rate) plays tape-style.
    pStretcher->Setup(dfInputRate, dfSpeed);
    pConverter->SetOutputRate(State.dfDeviceSamplingFrequency / (IsStretching() != 0 ? 1.0 : dfSpeed), 1);

    pWorker->Create(1);
    StorePlaybackObjects(*pWorker, pReader.get(), pConverter.get(), pSoundBuffer.get(), &State,
                         pStretcher.get());
    int32_t iResult = Factory.AllocateThreadBuffer(*pWorker, WorkerParameterNames::INPUT_SIGNAL_BUFFER,
                                                   ConverterFeeder::BUFFER_BYTES);
    if (iResult < 0)
    {
        return FailStart(StartStep::InputBuffer, iResult);
    }
    iResult = Factory.AllocateThreadBuffer(*pWorker, WorkerParameterNames::OUTPUT_SIGNAL_BUFFER,
                                           ConverterFeeder::BUFFER_BYTES);
    if (iResult < 0)
    {
        return FailStart(StartStep::OutputBuffer, iResult);
    }
    // A period for the crossfade of a change of the keep-pitch mode; without it the change comes
    // with a jump's fades.
    pWorker->AllocateBuffer(WorkerParameterNames::CROSSFADE_BUFFER,
                            std::max<uint64_t>(pSoundBuffer->ullPeriodFrames, 1) * 2 * sizeof(double));
    ullJumpFrame = pReader != nullptr ? std::min(ullStartFrame, GetLength()) : 0;
    ullJumpPasses = GetLoopPasses();
    ++ullJumps;
    if (ullStartFrame != 0 && pReader != nullptr)
    {
        // Taken by the thread before its first read, as a seek: it plays from there, faded in.
        State.ullSeekFrame.store(std::min(ullStartFrame, GetLength()));
    }
    ullStartFrame = 0;
    State.dfSeamRate.store(0.0);
    pWorker->SetPriority(1);
    State.bPlaybackThreadEnded.store(0);
    State.bStretching.store(IsStretching());
    iResult = Factory.StartWorker(*pWorker, PlaybackThreadBody);
    if (iResult < 0)
    {
        return FailStart(StartStep::Thread, iResult);
    }
    Report.bThreadStarted = 1;

    // The device's first fill takes a whole device buffer at once: taken before the playback thread
    // has made sound, it would be silence played ahead of the sound (or a fragment of sound and a
    // gap).
    WaitForSound();
    iResult = pStream->PrepareRender(PlaybackBufferCallback, &State);
    if (iResult < 0)
    {
        return FailStart(StartStep::Activate, iResult);
    }
    // The device starts on a full buffer: the render thread fills it while the device stands still.
    pStream->WaitForPrefill(PlayerScales::PREFILL_WAIT_MS);
    iResult = pStream->Start();
    if (iResult < 0)
    {
        return FailStart(StartStep::DeviceStart, iResult);
    }
    State.bPlaying = 1;
    Report.iResult = 1;
    return 1;
}

void PlaybackEngine::WaitForSound()
{
    const uint64_t ullPeriod = pSoundBuffer->ullPeriodFrames;
    if (ullPeriod == 0)
    {
        return;
    }
    const uint64_t ullReads = (pStream->ullBufferFrameCount + ullPeriod - 1) / ullPeriod + 1;
    const auto Deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(PlayerScales::SOUND_WAIT_MS);
    CMultimediaTimer Timer;
    while (pSoundBuffer->HoldsPeriods(ullReads) == 0 &&
           State.bPlaybackThreadEnded.load(std::memory_order_acquire) == 0 &&
           std::chrono::steady_clock::now() < Deadline)
    {
        if (Timer.Sleep(1) < 0)
        {
            std::this_thread::yield();
        }
    }
}

int32_t PlaybackEngine::OpenOutputDevice(int32_t iEndpointIndex, int32_t bShared, int32_t bUpward)
{
    if (pStream == nullptr)
    {
        return 0;
    }
    const int32_t bSharedFlag = bShared != 0 ? 1 : 0;
    if (pStream->uiStreamMode == STREAM_MODE_NONE && pStream->bSharedMode != bSharedFlag)
    {
        pStream->bSharedMode = bSharedFlag;
    }
    const uint32_t uiStart =
        Current.uiRateIndex < RateTable::COUNT ? Current.uiRateIndex : RateTable::DEFAULT_INDEX;
    const int32_t iStep = bUpward != 0 ? -1 : 1;
    for (int32_t i = static_cast<int32_t>(uiStart); i >= 0 && i < static_cast<int32_t>(RateTable::COUNT);
         i += iStep)
    {
        const uint32_t uiIndex = static_cast<uint32_t>(i);
        if (ConfigureOutputAtRate(RateTable::Hz(uiIndex), iEndpointIndex) >= 0)
        {
            State.dfDeviceSamplingFrequency = RateTable::Frequency(uiIndex);
            if (pReport != nullptr)
            {
                pReport->bDeviceOpened = 1;
                pReport->uiRateIndex = uiIndex;
            }
            return 1;
        }
    }
    return 0;
}

int32_t PlaybackEngine::ConfigureOutputAtRate(uint32_t uiFrequency, int32_t iEndpointIndex)
{
    if (pSoundBuffer == nullptr || pStream == nullptr)
    {
        return RESULT_FAILED;
    }
    const auto Failed = [this](AttemptFailure Kind, int32_t iResult)
    {
        if (pReport != nullptr)
        {
            pReport->AttemptFailures.push_back(Kind);
        }
        if (Current.OnAttemptFailure)
        {
            Current.OnAttemptFailure(Kind);
        }
        return iResult;
    };
    double dfPeriod = PlayerScales::PERIOD_SECONDS;
    const int32_t iInitialized = Factory.InitializeSoundBuffer(*pSoundBuffer, uiFrequency, dfPeriod);
    if (iInitialized < 0)
    {
        return Failed(AttemptFailure::SoundBuffer, iInitialized);
    }
    if (pSoundBuffer->bReady == 0 ||
        Factory.LimitSoundBuffer(*pSoundBuffer, static_cast<uint64_t>(pSoundBuffer->dfSamplingFrequency *
                                                                      PlayerScales::CAPACITY_LIMIT_SECONDS)) <
            0)
    {
        return Failed(AttemptFailure::CapacityLimit, RESULT_FAILED);
    }
    const uint64_t ullPeriod = pSoundBuffer->ullPeriodFrames;
    if (ullPeriod != 0 && State.pVolume != nullptr && State.pVolume->IsInitialized() != 0)
    {
        State.pVolume->SetDefaultSteps(ullPeriod);
    }
    if (ullPeriod == 0 || pStream->uiStreamMode != STREAM_MODE_NONE)
    {
        return Failed(AttemptFailure::BufferSize, ullPeriod == 0 ? RESULT_INVALID_ARGUMENT : RESULT_FAILED);
    }
    pStream->ullCallbackFrameCount = ullPeriod;
    // No render thread runs while the stream is not set up, so the block may be replaced.
    const int32_t iBlock = State.AllocateDeviceBlock(2 * ullPeriod);
    if (iBlock < 0)
    {
        return iBlock;
    }
    if (Current.uiEffectiveBitCount >= 2)
    {
        pStream->uiLogicalBitCount = Current.uiEffectiveBitCount;
    }
    pStream->bResolutionEnhancer = Current.bEnhancerEnabled != 0 ? 1 : 0;
    double dfSeconds = PlayerScales::DEVICE_BUFFER_SECONDS;
    if (!Current.EndpointId.empty())
    {
        return pStream->SetupDevice(uiFrequency, &dfSeconds, Current.EndpointId);
    }
    return pStream->SetupDevice(uiFrequency, &dfSeconds, iEndpointIndex);
}

uint32_t PlaybackEngine::DrainMilliseconds() const
{
    double dfConverter = 0.0;
    if (pConverter != nullptr && pConverter->bReady != 0 && pConverter->dfInputRate > 0.0)
    {
        dfConverter =
            static_cast<double>((uint64_t{1} << pConverter->uiBlockOrder) / 2) / pConverter->dfInputRate;
    }
    double dfDevice = 0.0;
    if (pStream != nullptr && pStream->uiStreamMode != STREAM_MODE_NONE && pStream->dfSamplingFrequency > 0.0)
    {
        dfDevice = static_cast<double>(pStream->ullCallbackFrameCount + pStream->ullBufferFrameCount) /
                   pStream->dfSamplingFrequency;
    }
    if (IsStretchingNow() != 0 && pStretcher->GetSpeed() > 0.0)
    {
        dfConverter += static_cast<double>(pStretcher->GetLatencyFrames()) / pConverter->dfInputRate;
    }
    const double dfMilliseconds = (dfConverter + dfDevice) * 1000.0;
    const uint32_t uiLatency =
        dfMilliseconds > 0.0 ? static_cast<uint32_t>(std::floor(dfMilliseconds + 0.5)) : 0;
    return uiLatency + PlayerScales::DRAIN_MARGIN_MS;
}

void PlaybackEngine::Stop()
{
    State.bPaused.store(0);
    if (State.bPlaying != 1)
    {
        return;
    }
    State.bPlaying = 0;
    // What the sound buffer and the device still hold plays out meanwhile. The render thread plays on
    // while the playback thread is being stopped, so that time counts towards the wait.
    const auto DrainEnd = std::chrono::steady_clock::now() + std::chrono::milliseconds(DrainMilliseconds());
    StopPlaybackThread();
    std::this_thread::sleep_until(DrainEnd);
    StopStream();
    State.ullSeekFrame.store(PlayerState::NO_SEEK);
}

void PlaybackEngine::Pause()
{
    if (State.bPlaying == 1)
    {
        State.bPaused.store(1);
    }
}

void PlaybackEngine::Resume()
{
    State.bPaused.store(0);
}

void PlaybackEngine::SetSpeed(double dfNewSpeed, int32_t bImmediate)
{
    if (!(dfNewSpeed > 0.0))
    {
        return;
    }
    dfSpeed = dfNewSpeed;
    // Both sides learn the speed, so that a change of mode finds it in place.
    if (pStretcher != nullptr && pStretcher->IsReady() != 0)
    {
        pStretcher->SetSpeed(dfNewSpeed, bImmediate);
    }
    if (pConverter != nullptr && IsStretching() == 0)
    {
        pConverter->SetOutputRate(State.dfDeviceSamplingFrequency / dfNewSpeed, bImmediate);
    }
}

void PlaybackEngine::SetKeepPitch(int32_t bKeep)
{
    const int32_t bNew = bKeep != 0 ? 1 : 0;
    if (State.bKeepPitch.load() == bNew)
    {
        return;
    }
    // The playback thread takes it at its next block: a period of the old mode crossfades into the
    // new one at the place reached (with a seek, between its fades). It also sets the converter's
    // rate for the new mode.
    State.bKeepPitch.store(bNew, std::memory_order_release);
}

int32_t PlaybackEngine::GetKeepPitch() const
{
    return State.bKeepPitch.load() != 0 ? 1 : 0;
}

int32_t PlaybackEngine::IsStretching() const
{
    return State.bKeepPitch.load() != 0 && pStretcher != nullptr && pStretcher->IsReady() != 0 ? 1 : 0;
}

int32_t PlaybackEngine::IsStretchingNow() const
{
    return State.bStretching.load(std::memory_order_acquire) != 0 && pStretcher != nullptr &&
                   pStretcher->IsReady() != 0
               ? 1
               : 0;
}

uint64_t PlaybackEngine::ConsumedFrames() const
{
    if (IsStretchingNow() != 0)
    {
        return pStretcher->ullConsumedFrames.load(std::memory_order_relaxed);
    }
    return pConverter != nullptr && pConverter->bReady != 0
               ? pConverter->ullConsumedFrames.load(std::memory_order_relaxed)
               : 0;
}

int32_t PlaybackEngine::Seek(uint64_t ullFrame)
{
    if (State.bPlaying != 1 || pReader == nullptr || HasEnded() != 0)
    {
        return 0;
    }
    ullJumpFrame = std::min(ullFrame, GetLength());
    ullJumpPasses = GetLoopPasses();
    ++ullJumps;
    State.ullSeekFrame.store(ullJumpFrame, std::memory_order_release);
    return 1;
}

int32_t PlaybackEngine::SetLoop(uint64_t ullStart, uint64_t ullEnd, uint64_t ullRunUp)
{
    const uint64_t ullLength = GetLength();
    const uint64_t ullLast = ullLength != 0 ? std::min(ullEnd, ullLength) : ullEnd;
    if (ullLast <= ullStart)
    {
        return RESULT_INVALID_ARGUMENT;
    }
    State.SetLoop(ullStart, ullLast, ullStart - std::min(ullRunUp, ullStart));
    return 1;
}

void PlaybackEngine::ClearLoop()
{
    State.ClearLoop();
    State.dfSeamRate.store(0.0);
}

uint64_t PlaybackEngine::GetLoopPasses() const
{
    return State.ullLoopPasses.load(std::memory_order_acquire);
}

void PlaybackEngine::SetSpeedAtLoopStart(double dfSpeed)
{
    State.dfSeamRate.store(State.bPlaying == 1 && dfSpeed > 0.0 ? State.dfDeviceSamplingFrequency / dfSpeed
                                                                : 0.0);
}

uint32_t PlaybackEngine::GetRate() const
{
    return pReader != nullptr ? pReader->GetFormat().uiSamplingFrequency : 0;
}

int32_t PlaybackEngine::IsPlaying() const
{
    return State.bPlaying == 1 ? 1 : 0;
}

int32_t PlaybackEngine::IsPaused() const
{
    return State.bPaused.load() == 1 ? 1 : 0;
}

int32_t PlaybackEngine::HasEnded() const
{
    if (State.bPlaying == 0)
    {
        return 0;
    }
    if (State.bPlaybackThreadEnded.load(std::memory_order_acquire) != 0)
    {
        return 1;
    }
    return pStream != nullptr && pStream->HasRenderWorkerEnded() == 1 ? 1 : 0;
}

uint64_t PlaybackEngine::GetLength() const
{
    return pReader != nullptr ? pReader->GetFormat().ullFrameCount : 0;
}

int32_t PlaybackEngine::IsLengthEstimated() const
{
    return pReader != nullptr && pReader->GetFormat().bFrameCountEstimated != 0 ? 1 : 0;
}

uint64_t PlaybackEngine::GetPosition() const
{
    const uint64_t ullLength = GetLength();
    const uint64_t ullSeek = State.ullSeekFrame.load(std::memory_order_acquire);
    uint64_t ullPosition = ullSeek;
    if (ullSeek == PlayerState::NO_SEEK)
    {
        ullPosition = ConsumedFrames();
    }
    return std::min(ullPosition, ullLength);
}

uint64_t PlaybackEngine::Heard(uint64_t ullEstimate, int32_t bBeforeSeam) const
{
    // The queue's estimate wavers as the sound buffer grows and drains; within one run of the file
    // what is heard only moves on.
    const uint64_t ullPasses = GetLoopPasses();
    if (ullPasses != ullHeardPasses || ullJumps != ullHeardJumps || bBeforeSeam != bHeardBeforeSeam)
    {
        ullHeardPasses = ullPasses;
        ullHeardJumps = ullJumps;
        bHeardBeforeSeam = bBeforeSeam;
        ullLastHeard = ullEstimate;
    }
    ullLastHeard = std::max(ullLastHeard, ullEstimate);
    return ullLastHeard;
}

uint64_t PlaybackEngine::GetHeardPosition() const
{
    const uint64_t ullPosition = GetPosition();
    if (State.bPlaying != 1 || State.ullSeekFrame.load(std::memory_order_acquire) != PlayerState::NO_SEEK ||
        pConverter == nullptr || pConverter->bReady == 0 || pSoundBuffer == nullptr || pStream == nullptr ||
        !(pConverter->dfInputRate > 0.0))
    {
        return ullPosition;
    }
    // The playback thread moves the converter's own rate members; its smoother is read under its
    // lock.
    double dfOutputRate = 0.0;
    if (pConverter->pRateSmoother == nullptr || pConverter->pRateSmoother->GetCurrent(dfOutputRate) < 0)
    {
        dfOutputRate = State.dfDeviceSamplingFrequency;
    }
    if (!(dfOutputRate > 0.0))
    {
        return ullPosition;
    }
    // Output frames waiting, then as input frames at the speed now playing.
    const uint64_t ullChannels = std::max<uint64_t>(pConverter->ullChannels, 1);
    // Paused, the device buffer still counts, though played out by now: the place stays steady
    // instead of jumping ahead by it the moment the pause begins.
    const double dfQueuedOutput =
        static_cast<double>(pConverter->OutputFIFO.GetFill() / ullChannels + pSoundBuffer->QueuedFrames() +
                            pStream->ullBufferFrameCount);
    // Keeping the pitch, the converter's input frames are stretched ones: as file frames, times the
    // speed.
    const double dfStretch = IsStretchingNow() != 0 ? pStretcher->GetSpeed() : 1.0;
    const double dfQueued = (dfQueuedOutput * pConverter->dfInputRate / dfOutputRate +
                             static_cast<double>((uint64_t{1} << pConverter->uiBlockOrder) / 2)) *
                            dfStretch;
    const uint64_t ullQueued = static_cast<uint64_t>(std::llround(dfQueued));
    // Where this run of the file began: the last jump, or where a loop goes back to (its start or
    // its run-up) once playback has gone back since.
    uint64_t ullRunStart = ullJumpFrame;
    uint64_t ullLoopStart = 0;
    uint64_t ullLoopEnd = 0;
    uint64_t ullLoopReturn = 0;
    const bool bSeam = State.GetLoop(ullLoopStart, ullLoopEnd, ullLoopReturn) && ullLoopEnd > ullLoopStart &&
                       GetLoopPasses() != ullJumpPasses && ullPosition >= ullLoopReturn;
    if (bSeam)
    {
        ullRunStart = ullLoopReturn;
    }
    if (ullPosition >= ullRunStart && ullPosition - ullRunStart < ullQueued)
    {
        if (bSeam)
        {
            // What is heard is still the end of the pass before the seam.
            const uint64_t ullBefore = ullQueued - (ullPosition - ullLoopReturn);
            return Heard(ullLoopEnd - std::min(ullBefore, ullLoopEnd - ullLoopReturn), 1);
        }
        // Nothing of the new place has reached the loudspeaker yet: what is queued before it is
        // the silence of the jump's fade.
        return Heard(ullRunStart, 0);
    }
    return Heard(ullPosition - std::min(ullQueued, ullPosition), 0);
}

int32_t PlaybackEngine::GetProgress(double& dfPositionSeconds, double& dfLengthSeconds) const
{
    dfPositionSeconds = 0.0;
    dfLengthSeconds = 0.0;
    if (pConverter == nullptr || pReader == nullptr)
    {
        return 0;
    }
    dfLengthSeconds = LengthInSeconds(GetLength(), GetRate());
    if (pConverter->bReady != 0 && pConverter->dfInputRate > 0.0)
    {
        const uint64_t ullSeek = State.ullSeekFrame.load(std::memory_order_acquire);
        const uint64_t ullConsumed = ullSeek != PlayerState::NO_SEEK ? ullSeek : ConsumedFrames();
        dfPositionSeconds = static_cast<double>(ullConsumed) / pConverter->dfInputRate;
    }
    return 1;
}

void PlaybackEngine::TearDown()
{
    // The pause wait does not look at the stop request.
    State.bPaused.store(0);
    State.bPlaying = 0;
    bPrepared = 0;
    if (pSoundBuffer != nullptr)
    {
        pSoundBuffer->Finish();
    }
    StopPlaybackThread();
    pWorker.reset();
    if (pStream != nullptr)
    {
        StopStream();
        pStream.reset();
    }
    if (pReader != nullptr)
    {
        pReader->Close();
        pReader.reset();
    }
    if (pSoundBuffer != nullptr)
    {
        pSoundBuffer->Release();
        DestroyIntelligentSoundBuffer(pSoundBuffer);
    }
    if (pConverter != nullptr)
    {
        pConverter->Release();
        pConverter.reset();
    }
    pStretcher.reset();
    Publish();
    State.FreeDeviceBlock();
    State.ullSeekFrame.store(PlayerState::NO_SEEK);
    ClearLoop();
    ullStartFrame = 0;
}
