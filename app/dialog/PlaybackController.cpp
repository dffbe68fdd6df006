#include "app/dialog/PlaybackController.h"

#include "app/dialog/DialogControlIds.h"
#include "app/dialog/DialogControls.h"
#include "app/player/PlaybackBufferCallback.h"
#include "app/player/PlaybackThreadBody.h"
#include "app/player/PlayerScales.h"
#include "app/player/PlayerState.h"
#include "app/dialog/PlayerTexts.h"
#include "app/player/RateTable.h"
#include "app/dialog/SDialogHost.h"
#include "app/player/SPlaybackObjectFactory.h"
#include "conversion/ParameterSmoother.h"
#include "conversion/SamplingFrequencyConverter.h"
#include "output/CSoundStreamWASAPI.h"
#include "runtime/CMultiThreadWin.h"
#include "runtime/FormatText.h"
#include "runtime/ResultCodes.h"
#include "runtime/WorkerParameterNames.h"
#include "runtime/WorkerParameters.h"
#include "soundbuffer/IntelligentSoundBuffer.h"
#include "wave/WaveFileReader.h"

#include <chrono>
#include <cmath>
#include <thread>

using namespace DialogControlIds;

namespace
{
// The playback thread as the controller starts it: the record learns when it has returned, so the
// progress timer can stop a playback that ended by itself.
uint64_t WatchedPlaybackThreadBody(ThreadContext* pContext)
{
    const uint64_t ullResult = PlaybackThreadBody(pContext);
    PlayerState::Instance().bPlaybackThreadEnded.store(1, std::memory_order_release);
    return ullResult;
}

// The bit-count field's number as the player uses it: 1 ... 32, and 32 for anything not a number.
uint32_t CorrectedBitCount(uint32_t uiValue, int32_t bValid)
{
    if (bValid == 0 || uiValue > PlayerScales::MAXIMUM_BIT_COUNT)
    {
        return PlayerScales::MAXIMUM_BIT_COUNT;
    }
    return uiValue == 0 ? 1 : uiValue;
}
} // namespace

PlaybackController::PlaybackController(PlayerState& State, SDialogHost& Host, SAudioClientLayer* pLayer,
                                       SPlaybackObjectFactory& Factory)
    : State(State), Host(Host), pLayer(pLayer), Factory(Factory)
{
}

PlaybackController::~PlaybackController()
{
    TearDown();
}

void PlaybackController::Publish()
{
    State.pWaveFileReader = pReader.get();
    State.pIntelligentSoundBuffer = pSoundBuffer.get();
    State.pSoundStream = pStream.get();
    State.pSamplingFrequencyConverter = pConverter.get();
    State.pPlaybackThread = pWorker.get();
}

void PlaybackController::ShowError(const char16_t* pText)
{
    Host.ShowErrorMessage(pText, PlayerTexts::CAPTION_ERROR);
}

void PlaybackController::StopPlaybackThread()
{
    if (pWorker != nullptr)
    {
        pWorker->RequestStop();
        pWorker->WaitForExit();
        pWorker->Release();
    }
}

void PlaybackController::StartPlayback()
{
    // Resume.
    if (State.bPaused.load() == 1)
    {
        State.bPaused.store(0);
        Host.EnableItem(ID_PLAY, 0);
        Host.EnableItem(ID_PAUSE, 1);
        return;
    }
    // A playback that still runs ends before its objects go.
    if (State.bPlaying == 1)
    {
        StopPlaybackThread();
        if (pStream != nullptr)
        {
            pStream->Stop(0);
            pStream->Close();
        }
    }
    Host.SetProgressPosition(ID_PROGRESS, 0);
    if (pReader != nullptr)
    {
        pReader->Rewind();
    }

    // A fresh set of objects for every start.
    DestroyIntelligentSoundBuffer(pSoundBuffer);
    pStream.reset();
    pConverter.reset();
    pWorker.reset();
    pSoundBuffer = Factory.CreateSoundBuffer();
    pStream = Factory.CreateStream(pLayer);
    pConverter = Factory.CreateConverter(PlayerScales::OVERSAMPLING_FACTOR);
    pWorker = Factory.CreateWorker();
    Publish();
    if (pSoundBuffer == nullptr || pStream == nullptr || pConverter == nullptr || pWorker == nullptr)
    {
        Host.DefaultBeep();
        CleanUpFailedStart();
        return;
    }

    const int32_t iRateSelection = Host.GetComboSelection(ID_RATE_COMBO);
    if (iRateSelection >= 0 && static_cast<uint32_t>(iRateSelection) < RateTable::COUNT)
    {
        State.uiRateIndex = RateTable::IndexOfSelection(static_cast<uint32_t>(iRateSelection));
    }
    int32_t bValid = 0;
    const uint32_t uiFieldValue = Host.GetItemUnsigned(ID_BIT_FIELD, bValid);
    State.uiEffectiveBitCount = CorrectedBitCount(uiFieldValue, bValid);
    Host.SetItemUnsigned(ID_BIT_FIELD, State.uiEffectiveBitCount);
    DialogControls::ClearDeviceInfo(Host);
    const int32_t iEndpoint = Host.GetComboSelection(ID_DEVICE_COMBO) - 1;

    // The ladder: exclusive then shared downward from the maximum, then exclusive and shared upward.
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
                    ShowError(PlayerTexts::DEVICE_NOT_INITIALISED);
                    CleanUpFailedStart();
                    return;
                }
            }
        }
    }
    if (!(pStream->dfSamplingFrequency > 0.0) || pStream->uiBitCount == 0)
    {
        CleanUpFailedStart();
        return;
    }

    char16_t Value[PlayerScales::LIST_VALUE_BYTES / 2];
    FormatText(Value, sizeof(Value), PlayerTexts::FREQUENCY_FORMAT, pStream->dfSamplingFrequency);
    Host.SetListCell(ID_DEVICE_LIST, 0, 1, Value);
    FormatText(Value, sizeof(Value), PlayerTexts::COUNT_FORMAT, static_cast<int>(pStream->uiBitCount));
    Host.SetListCell(ID_DEVICE_LIST, 1, 1, Value);
    Host.SetListCell(ID_DEVICE_LIST, 2, 1,
                     bShared != 0 ? PlayerTexts::MODE_SHARED : PlayerTexts::MODE_EXCLUSIVE);

    const double dfInputRate =
        pReader != nullptr && pReader->bOpened != 0 ? static_cast<double>(pReader->uiSamplingFrequency) : 0.0;
    if (pConverter->Setup(2, dfInputRate, State.dfDeviceSamplingFrequency, PlayerScales::BLOCK_ORDER,
                          State.iShift, 0.0) < 0)
    {
        ShowError(PlayerTexts::CONVERTER_FAILED);
        CleanUpFailedStart();
        return;
    }
    const double dfSpeed = PlayerScales::SpeedOfPosition(Host.GetSliderPosition(ID_SPEED_SLIDER));
    pConverter->SetOutputRate(State.dfDeviceSamplingFrequency / dfSpeed, 1);

    pWorker->Create(1);
    StoreParameterAddress(*pWorker, WorkerParameterNames::WAVE_FILE_READER, pReader.get());
    StoreParameterAddress(*pWorker, WorkerParameterNames::SAMPLING_FREQUENCY_CONVERTER, pConverter.get());
    StoreParameterAddress(*pWorker, WorkerParameterNames::INTELLIGENT_SOUND_BUFFER, pSoundBuffer.get());
    if (Factory.AllocateThreadBuffer(*pWorker, WorkerParameterNames::INPUT_SIGNAL_BUFFER,
                                     PlayerScales::THREAD_BUFFER_BYTES) < 0)
    {
        ShowError(PlayerTexts::INPUT_BUFFER_FAILED);
        CleanUpFailedStart();
        return;
    }
    if (Factory.AllocateThreadBuffer(*pWorker, WorkerParameterNames::OUTPUT_SIGNAL_BUFFER,
                                     PlayerScales::THREAD_BUFFER_BYTES) < 0)
    {
        ShowError(PlayerTexts::OUTPUT_BUFFER_FAILED);
        CleanUpFailedStart();
        return;
    }
    pWorker->SetPriority(1);
    State.bPlaybackThreadEnded.store(0);
    if (Factory.StartWorker(*pWorker, WatchedPlaybackThreadBody) < 0)
    {
        Host.ShowErrorMessage(PlayerTexts::THREAD_START_FAILED, PlayerTexts::CAPTION_THREAD_ERROR);
        CleanUpFailedStart();
        return;
    }

    if (State.uiEffectiveBitCount > pStream->uiBitCount)
    {
        Host.SetItemUnsigned(ID_BIT_FIELD, pStream->uiBitCount);
    }
    if (pStream->PrepareRender(PlaybackBufferCallback, nullptr) < 0)
    {
        ShowError(PlayerTexts::DEVICE_NOT_ACTIVATED);
        CleanUpFailedStart();
        return;
    }
    // The device starts on a full buffer: the render thread fills it while the device stands still.
    pStream->WaitForPrefill(PlayerScales::PREFILL_WAIT_MS);
    if (pStream->Start() < 0)
    {
        ShowError(PlayerTexts::DEVICE_START_FAILED);
        CleanUpFailedStart();
        return;
    }

    Host.StartTimer(PlayerScales::PROGRESS_TIMER_ID, PlayerScales::PROGRESS_TIMER_MS);
    State.bPlaying = 1;
    DialogControls::SetControlsEnabled(Host, 0);
}

void PlaybackController::CleanUpFailedStart()
{
    if (pSoundBuffer != nullptr)
    {
        pSoundBuffer->Finish();
    }
    StopPlaybackThread();
    // The render thread reads the sound buffer, so it ends before the buffer is released.
    if (pStream != nullptr)
    {
        pStream->Stop(0);
        pStream->Close();
    }
    if (pSoundBuffer != nullptr)
    {
        pSoundBuffer->Release();
    }
}

int32_t PlaybackController::OpenOutputDevice(int32_t iEndpointIndex, int32_t bShared, int32_t bUpward)
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
        State.uiRateIndex < RateTable::COUNT ? State.uiRateIndex : RateTable::DEFAULT_INDEX;
    const int32_t iStep = bUpward != 0 ? -1 : 1;
    for (int32_t i = static_cast<int32_t>(uiStart); i >= 0 && i < static_cast<int32_t>(RateTable::COUNT);
         i += iStep)
    {
        const uint32_t uiIndex = static_cast<uint32_t>(i);
        if (ConfigureOutputAtRate(RateTable::Hz(uiIndex), iEndpointIndex) >= 0)
        {
            State.dfDeviceSamplingFrequency = RateTable::Frequency(uiIndex);
            Host.SelectComboEntry(ID_RATE_COMBO, static_cast<int32_t>(RateTable::ComboSelection(uiIndex)));
            return 1;
        }
    }
    return 0;
}

int32_t PlaybackController::ConfigureOutputAtRate(uint32_t uiFrequency, int32_t iEndpointIndex)
{
    if (pSoundBuffer == nullptr || pStream == nullptr)
    {
        return RESULT_FAILED;
    }
    double dfPeriod = PlayerScales::PERIOD_SECONDS;
    const int32_t iInitialized = Factory.InitializeSoundBuffer(*pSoundBuffer, uiFrequency, dfPeriod);
    if (iInitialized < 0)
    {
        ShowError(PlayerTexts::SOUND_BUFFER_FAILED);
        return iInitialized;
    }
    if (pSoundBuffer->bReady == 0 ||
        Factory.LimitSoundBuffer(*pSoundBuffer, static_cast<uint64_t>(pSoundBuffer->dfSamplingFrequency *
                                                                      PlayerScales::CAPACITY_LIMIT_SECONDS)) <
            0)
    {
        ShowError(PlayerTexts::CAPACITY_LIMIT_FAILED);
        return RESULT_FAILED;
    }
    const uint64_t ullPeriod = pSoundBuffer->ullPeriodFrames;
    if (ullPeriod != 0 && State.pVolume != nullptr && State.pVolume->IsInitialized() != 0)
    {
        State.pVolume->SetDefaultSteps(ullPeriod);
    }
    if (ullPeriod == 0 || pStream->uiStreamMode != STREAM_MODE_NONE)
    {
        ShowError(PlayerTexts::BUFFER_SIZE_FAILED);
        return ullPeriod == 0 ? RESULT_INVALID_ARGUMENT : RESULT_FAILED;
    }
    pStream->ullCallbackFrameCount = ullPeriod;
    // No render thread runs while the stream is not set up, so the block may be replaced.
    const int32_t iBlock = State.AllocateDeviceBlock(2 * ullPeriod);
    if (iBlock < 0)
    {
        return iBlock;
    }
    if (State.uiEffectiveBitCount >= 2)
    {
        pStream->uiLogicalBitCount = State.uiEffectiveBitCount;
    }
    pStream->bResolutionEnhancer = State.bEnhancerEnabled != 0 ? 1 : 0;
    double dfSeconds = PlayerScales::DEVICE_BUFFER_SECONDS;
    return pStream->SetupDevice(uiFrequency, &dfSeconds, iEndpointIndex);
}

void PlaybackController::DestroyIntelligentSoundBuffer(std::unique_ptr<IntelligentSoundBuffer>& pBuffer)
{
    if (pBuffer != nullptr)
    {
        pBuffer->Release();
        pBuffer.reset();
    }
}

uint32_t PlaybackController::DrainMilliseconds() const
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
    const double dfMilliseconds = (dfConverter + dfDevice) * 1000.0;
    const uint32_t uiLatency =
        dfMilliseconds > 0.0 ? static_cast<uint32_t>(std::floor(dfMilliseconds + 0.5)) : 0;
    return uiLatency + PlayerScales::DRAIN_MARGIN_MS;
}

void PlaybackController::StopPlayback()
{
    State.bPaused.store(0);
    if (State.bPlaying == 1)
    {
        State.bPlaying = 0;
        Host.KillTimer(PlayerScales::PROGRESS_TIMER_ID);
        // What the sound buffer and the device still hold plays out meanwhile. The render thread
        // plays on while the playback thread is being stopped, so that time counts towards the wait.
        const auto DrainEnd =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(DrainMilliseconds());
        StopPlaybackThread();
        std::this_thread::sleep_until(DrainEnd);
        if (pStream != nullptr)
        {
            pStream->Stop(0);
            pStream->Close();
        }
        Host.SelectComboEntry(ID_RATE_COMBO,
                              static_cast<int32_t>(RateTable::ComboSelection(State.uiRateIndex)));
        Host.SetItemUnsigned(ID_BIT_FIELD, State.uiEffectiveBitCount);
    }
    DialogControls::SetControlsEnabled(Host, 1);
    DialogControls::ClearDeviceInfo(Host);
}

void PlaybackController::Pause()
{
    if (State.bPlaying == 1)
    {
        State.bPaused.store(1);
        Host.EnableItem(ID_PLAY, 1);
        Host.EnableItem(ID_PAUSE, 0);
    }
}

double PlaybackController::ChangeSpeed(int32_t iPosition)
{
    const double dfSpeed = PlayerScales::SpeedOfPosition(iPosition);
    if (pConverter != nullptr)
    {
        pConverter->SetOutputRate(State.dfDeviceSamplingFrequency / dfSpeed, 0);
    }
    return dfSpeed;
}

void PlaybackController::ChangeVolume(int32_t iPosition)
{
    const double dfGain = PlayerScales::GainOfVolumePosition(iPosition);
    if (!std::isnan(dfGain) && State.pVolume != nullptr && State.pVolume->IsInitialized() != 0)
    {
        State.pVolume->SetTarget(dfGain, State.pVolume->GetDefaultSteps());
    }
}

int32_t PlaybackController::ReplaceReader(std::unique_ptr<WaveFileReader> pNewReader)
{
    if (State.bPlaying != 0)
    {
        return 0;
    }
    if (pReader != nullptr)
    {
        pReader->Close();
    }
    pReader = std::move(pNewReader);
    Publish();
    return 1;
}

int32_t PlaybackController::HasPlaybackEnded() const
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

void PlaybackController::TearDown()
{
    // The pause wait does not look at the stop request.
    State.bPaused.store(0);
    State.bPlaying = 0;
    if (pSoundBuffer != nullptr)
    {
        pSoundBuffer->Finish();
    }
    StopPlaybackThread();
    pWorker.reset();
    if (pStream != nullptr)
    {
        pStream->Stop(0);
        pStream->Close();
        pStream.reset();
    }
    if (pReader != nullptr)
    {
        pReader->Close();
        pReader.reset();
    }
    DestroyIntelligentSoundBuffer(pSoundBuffer);
    if (pConverter != nullptr)
    {
        pConverter->Release();
        pConverter.reset();
    }
    Publish();
    State.FreeDeviceBlock();
}
