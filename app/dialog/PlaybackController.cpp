#include "app/dialog/PlaybackController.h"

#include "app/dialog/DialogControlIds.h"
#include "app/dialog/DialogControls.h"
#include "app/dialog/PlayerTexts.h"
#include "app/dialog/SDialogHost.h"
#include "app/player/PlaybackEngine.h"
#include "app/player/PlayerScales.h"
#include "app/player/PlayerState.h"
#include "app/player/RateTable.h"
#include "runtime/FormatText.h"
#include "runtime/ResultCodes.h"

#include <utility>

using namespace DialogControlIds;

namespace
{
// The bit-count field's number as the player uses it: 1 ... 32, and 32 for anything not a number.
uint32_t CorrectedBitCount(uint32_t uiValue, int32_t bValid)
{
    if (bValid == 0 || uiValue > PlayerScales::MAXIMUM_BIT_COUNT)
    {
        return PlayerScales::MAXIMUM_BIT_COUNT;
    }
    return uiValue == 0 ? 1 : uiValue;
}

// The message of an attempt of the ladder that failed for a reason of the player's own.
const char16_t* AttemptText(PlaybackEngine::AttemptFailure Failure)
{
    switch (Failure)
    {
    case PlaybackEngine::AttemptFailure::SoundBuffer:
        return PlayerTexts::SOUND_BUFFER_FAILED;
    case PlaybackEngine::AttemptFailure::CapacityLimit:
        return PlayerTexts::CAPACITY_LIMIT_FAILED;
    case PlaybackEngine::AttemptFailure::BufferSize:
        break;
    }
    return PlayerTexts::BUFFER_SIZE_FAILED;
}
} // namespace

PlaybackController::PlaybackController(PlayerState& State, SDialogHost& Host, PlaybackEngine& Engine)
    : State(State), Host(Host), Engine(Engine)
{
}

void PlaybackController::ShowError(const char16_t* pText)
{
    Host.ShowErrorMessage(pText, PlayerTexts::CAPTION_ERROR);
}

void PlaybackController::StartPlayback()
{
    using Step = PlaybackEngine::StartStep;
    // Resume.
    if (Engine.IsPaused() == 1)
    {
        Engine.Resume();
        Host.EnableItem(ID_PLAY, 0);
        Host.EnableItem(ID_PAUSE, 1);
        // Space goes on doing what a player's Space does: pause next (never silently Stop).
        Host.FocusItem(ID_PAUSE);
        return;
    }
    Host.SetProgressPosition(ID_PROGRESS, 0);
    LastReport = PlaybackEngine::StartReport{};
    bReported = 1;
    if (Engine.PrepareStart() < 0)
    {
        LastReport.FailedStep = PlaybackEngine::StartStep::Objects;
        LastReport.iResult = RESULT_OUT_OF_MEMORY;
        Host.DefaultBeep();
        return;
    }

    // The settings, as the controls hold them now.
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
    PlaybackEngine::StartSettings Settings;
    const ListedOutputDevice Chosen = ChosenDevice();
    Settings.iEndpoint = Chosen.iIndex;
    Settings.EndpointId = Chosen.Id;
    Settings.uiRateIndex = State.uiRateIndex;
    Settings.uiEffectiveBitCount = State.uiEffectiveBitCount;
    Settings.bEnhancerEnabled = State.bEnhancerEnabled;
    Settings.iShift = State.iShift;
    Settings.dfSpeed = PlayerScales::SpeedOfPosition(Host.GetSliderPosition(ID_SPEED_SLIDER));
    // A failed attempt of the ladder is shown where it happens, before the next one: on a start
    // that succeeds after it, before the device plays.
    Settings.OnAttemptFailure = [this](PlaybackEngine::AttemptFailure Failure)
    { ShowError(AttemptText(Failure)); };

    PlaybackEngine::StartReport& Report = LastReport;
    bReported = 1;
    Engine.Start(Settings, Report);

    // What the start did, in the order it did it: the rate found, the device's properties, then the
    // step that failed.
    if (Report.bDeviceOpened != 0)
    {
        Host.SelectComboEntry(ID_RATE_COMBO,
                              static_cast<int32_t>(RateTable::ComboSelection(Report.uiRateIndex)));
    }
    if (Report.FailedStep == Step::Device)
    {
        ShowError(PlayerTexts::DEVICE_NOT_INITIALISED);
        return;
    }
    if (Report.FailedStep == Step::DeviceFormat)
    {
        return;
    }
    char16_t Value[PlayerScales::LIST_VALUE_BYTES / 2];
    FormatText(Value, sizeof(Value), PlayerTexts::FREQUENCY_FORMAT, Report.dfDeviceRate);
    Host.SetListCell(ID_DEVICE_LIST, 0, 1, Value);
    FormatText(Value, sizeof(Value), PlayerTexts::COUNT_FORMAT, static_cast<int>(Report.uiDeviceBits));
    Host.SetListCell(ID_DEVICE_LIST, 1, 1, Value);
    Host.SetListCell(ID_DEVICE_LIST, 2, 1,
                     Report.bShared != 0 ? PlayerTexts::MODE_SHARED : PlayerTexts::MODE_EXCLUSIVE);
    switch (Report.FailedStep)
    {
    case Step::Converter:
        ShowError(PlayerTexts::CONVERTER_FAILED);
        return;
    case Step::InputBuffer:
        ShowError(PlayerTexts::INPUT_BUFFER_FAILED);
        return;
    case Step::OutputBuffer:
        ShowError(PlayerTexts::OUTPUT_BUFFER_FAILED);
        return;
    case Step::Thread:
        Host.ShowErrorMessage(PlayerTexts::THREAD_START_FAILED, PlayerTexts::CAPTION_THREAD_ERROR);
        return;
    default:
        break;
    }
    if (Report.bThreadStarted != 0 && State.uiEffectiveBitCount > Report.uiDeviceBits)
    {
        Host.SetItemUnsigned(ID_BIT_FIELD, Report.uiDeviceBits);
    }
    if (Report.FailedStep == Step::Activate)
    {
        ShowError(PlayerTexts::DEVICE_NOT_ACTIVATED);
        return;
    }
    if (Report.FailedStep == Step::DeviceStart)
    {
        ShowError(PlayerTexts::DEVICE_START_FAILED);
        return;
    }
    if (Report.FailedStep != Step::None)
    {
        return;
    }
    Host.StartTimer(PlayerScales::PROGRESS_TIMER_ID, PlayerScales::PROGRESS_TIMER_MS);
    DialogControls::SetControlsEnabled(Host, 0);
    Host.FocusItem(ID_PAUSE);
}

void PlaybackController::StopPlayback()
{
    const bool bPlaying = Engine.IsPlaying() == 1;
    if (bPlaying)
    {
        Host.KillTimer(PlayerScales::PROGRESS_TIMER_ID);
    }
    Engine.Stop();
    if (bPlaying)
    {
        Host.SelectComboEntry(ID_RATE_COMBO,
                              static_cast<int32_t>(RateTable::ComboSelection(State.uiRateIndex)));
        Host.SetItemUnsigned(ID_BIT_FIELD, State.uiEffectiveBitCount);
    }
    DialogControls::SetControlsEnabled(Host, 1);
    DialogControls::ClearDeviceInfo(Host);
}

void PlaybackController::Pause()
{
    if (Engine.IsPlaying() == 1)
    {
        Engine.Pause();
        Host.EnableItem(ID_PLAY, 1);
        Host.EnableItem(ID_PAUSE, 0);
        Host.FocusItem(ID_PLAY);
    }
}

double PlaybackController::ChangeSpeed(int32_t iPosition)
{
    const double dfSpeed = PlayerScales::SpeedOfPosition(iPosition);
    Engine.SetSpeed(dfSpeed);
    return dfSpeed;
}

void PlaybackController::ChangeVolume(int32_t iPosition)
{
    Engine.SetVolume(PlayerScales::GainOfVolumePosition(iPosition));
}

void PlaybackController::SetListedDevices(std::vector<ListedOutputDevice> Devices)
{
    Listed = std::move(Devices);
}

ListedOutputDevice PlaybackController::ChosenDevice() const
{
    const int32_t iSelection = Host.GetComboSelection(ID_DEVICE_COMBO);
    if (iSelection <= 0)
    {
        return ListedOutputDevice{};
    }
    const auto uiListed = static_cast<size_t>(iSelection - 1);
    if (uiListed < Listed.size())
    {
        return Listed[uiListed];
    }
    // An entry the list does not know: only its place tells which endpoint it is.
    return ListedOutputDevice{u"", u"", iSelection - 1};
}

int32_t PlaybackController::ComboEntryOf(const std::u16string& Id, int32_t iIndex) const
{
    for (size_t i = 0; i < Listed.size(); ++i)
    {
        if (Id.empty() ? Listed[i].Id.empty() && Listed[i].iIndex == iIndex : Listed[i].Id == Id)
        {
            // Entry 0 is the default device.
            return static_cast<int32_t>(i) + 1;
        }
    }
    return -1;
}

int32_t PlaybackController::HasPlaybackEnded() const
{
    return Engine.HasEnded();
}

void PlaybackController::TearDown()
{
    Engine.TearDown();
}

uint32_t PlaybackController::DrainMilliseconds() const
{
    return Engine.DrainMilliseconds();
}
