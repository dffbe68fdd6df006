#include "app/dialog/MainDialog.h"

#include "app/dialog/DialogControlIds.h"
#include "app/dialog/DialogControls.h"
#include "app/dialog/PlaybackController.h"
#include "app/player/PlayerScales.h"
#include "app/player/PlayerState.h"
#include "app/dialog/PlayerTexts.h"
#include "app/player/RateTable.h"
#include "app/dialog/SDialogHost.h"
#include "app/player/SPlaybackObjectFactory.h"
#include "conversion/ParameterSmoother.h"
#include "conversion/SamplingFrequencyConverter.h"
#include "output/EnumerateOutputDevices.h"
#include "output/OpenDeviceSettings.h"
#include "runtime/FormatText.h"
#include "wave/WaveFileReader.h"

#include <cmath>
#include <string>
#include <vector>

using namespace DialogControlIds;

namespace
{
// The length of a file in seconds, whole seconds in integers and the fraction in doubles.
double LengthInSeconds(const WaveFileReader& Reader)
{
    const uint64_t ullRate = Reader.uiSamplingFrequency;
    if (ullRate == 0)
    {
        return 0.0;
    }
    return static_cast<double>(Reader.ullFrameCount / ullRate) +
           static_cast<double>(Reader.ullFrameCount % ullRate) / static_cast<double>(ullRate);
}

void AddListColumns(SDialogHost& Host, int32_t iList)
{
    Host.InsertListColumn(iList, 0, PlayerTexts::COLUMN_ITEM, PlayerScales::ITEM_COLUMN_WIDTH, 1);
    Host.InsertListColumn(iList, 1, PlayerTexts::COLUMN_VALUE, PlayerScales::VALUE_COLUMN_WIDTH, 0);
}
} // namespace

MainDialog::MainDialog(PlayerState& State, SDialogHost& Host, PlaybackController& Controller,
                       SPlaybackObjectFactory& Factory, SAudioClientLayer* pLayer,
                       SSettingsLauncher* pLauncher)
    : State(State), Host(Host), Controller(Controller), Factory(Factory), pLayer(pLayer), pLauncher(pLauncher)
{
}

void MainDialog::OnInitDialog()
{
    InitMainDialog();
}

void MainDialog::OnCommand(int32_t iControlId)
{
    switch (iControlId)
    {
    case ID_CANCEL:
        Controller.StopPlayback();
        Host.EndDialog(0);
        break;
    case ID_PLAY:
        Host.ShowWaitCursor(1);
        Controller.StartPlayback();
        Host.ShowWaitCursor(0);
        break;
    case ID_STOP:
        Controller.StopPlayback();
        break;
    case ID_PAUSE:
        Controller.Pause();
        break;
    case ID_CHOOSE_FILE:
        ChooseFile();
        break;
    case ID_ENHANCER_CHECK:
        State.bEnhancerEnabled = Host.GetCheck(ID_ENHANCER_CHECK) == 1 ? 1 : 0;
        break;
    case ID_SETTINGS:
        OpenDeviceSettings(pLayer, pLauncher, Host.GetComboSelection(ID_DEVICE_COMBO) - 1);
        break;
    default:
        // Enter (identifier 1) among them: nothing happens.
        break;
    }
}

void MainDialog::OnVScroll(int32_t iControlId)
{
    char16_t Label[PlayerScales::LABEL_BYTES / 2];
    if (iControlId == ID_SPEED_SLIDER)
    {
        const double dfSpeed = Controller.ChangeSpeed(Host.GetSliderPosition(ID_SPEED_SLIDER));
        FormatText(Label, sizeof(Label), PlayerTexts::SPEED_LABEL_FORMAT, dfSpeed);
        Host.SetItemText(ID_SPEED_LABEL, Label);
    }
    else if (iControlId == ID_VOLUME_SLIDER)
    {
        const int32_t iPosition = Host.GetSliderPosition(ID_VOLUME_SLIDER);
        Controller.ChangeVolume(iPosition);
        DialogControls::FormatVolumeText(iPosition, Label, sizeof(Label));
        Host.SetItemText(ID_VOLUME_LABEL, Label);
    }
}

void MainDialog::OnTimer(uint32_t uiTimerId)
{
    if (uiTimerId == PlayerScales::PROGRESS_TIMER_ID)
    {
        ProgressTimerProc();
    }
}

void MainDialog::FormatTitle(int32_t iShift, char16_t* pText, uint64_t ullSizeBytes)
{
    if (iShift != 0)
    {
        FormatText(pText, ullSizeBytes, PlayerTexts::TITLE_WITH_SHIFT_FORMAT, PlayerTexts::DISPLAY_NAME,
                   PlayerTexts::VERSION, iShift);
    }
    else
    {
        FormatText(pText, ullSizeBytes, PlayerTexts::TITLE_FORMAT, PlayerTexts::DISPLAY_NAME,
                   PlayerTexts::VERSION);
    }
}

void MainDialog::InitMainDialog()
{
    char16_t Title[PlayerScales::TITLE_BYTES / 2];
    FormatTitle(State.iShift, Title, sizeof(Title));
    Host.SetWindowTitle(Title);

    Host.SetProgressRange(ID_PROGRESS, 0, PlayerScales::PROGRESS_RANGE);
    Host.SetProgressPosition(ID_PROGRESS, 0);

    const char16_t* const FileRows[] = {PlayerTexts::ROW_SAMPLING_FREQUENCY, PlayerTexts::ROW_CHANNELS,
                                        PlayerTexts::ROW_BITS, PlayerTexts::ROW_LENGTH};
    for (int32_t iRow = 0; iRow < 4; ++iRow)
    {
        Host.InsertListRow(ID_FILE_LIST, iRow, FileRows[iRow]);
    }
    AddListColumns(Host, ID_FILE_LIST);
    const char16_t* const DeviceRows[] = {PlayerTexts::ROW_SAMPLING_FREQUENCY, PlayerTexts::ROW_LOGICAL_BITS,
                                          PlayerTexts::ROW_MODE};
    for (int32_t iRow = 0; iRow < 3; ++iRow)
    {
        Host.InsertListRow(ID_DEVICE_LIST, iRow, DeviceRows[iRow]);
    }
    AddListColumns(Host, ID_DEVICE_LIST);

    char16_t Label[PlayerScales::LABEL_BYTES / 2];
    Host.SetSliderRange(ID_SPEED_SLIDER, 0, PlayerScales::SPEED_MAXIMUM_POSITION);
    Host.SetSliderTickFrequency(ID_SPEED_SLIDER, PlayerScales::SPEED_TICK_FREQUENCY);
    Host.SetSliderPageSize(ID_SPEED_SLIDER, PlayerScales::SPEED_PAGE_SIZE);
    Host.SetSliderPosition(ID_SPEED_SLIDER, PlayerScales::SPEED_CENTRE_POSITION);
    FormatText(Label, sizeof(Label), PlayerTexts::SPEED_LABEL_FORMAT, 1.0);
    Host.SetItemText(ID_SPEED_LABEL, Label);

    Host.SetSliderRange(ID_VOLUME_SLIDER, 0, PlayerScales::VOLUME_MAXIMUM_POSITION);
    Host.SetSliderPageSize(ID_VOLUME_SLIDER, PlayerScales::VOLUME_PAGE_SIZE);
    if (State.pVolume != nullptr)
    {
        State.pVolume->Initialize(PlayerScales::INITIAL_GAIN);
    }
    const auto iVolumePosition =
        static_cast<int32_t>(std::trunc(std::log10(PlayerScales::INITIAL_GAIN) * -20.0 * 10.0));
    Host.SetSliderPosition(ID_VOLUME_SLIDER, iVolumePosition);
    DialogControls::FormatVolumeText(iVolumePosition, Label, sizeof(Label));
    Host.SetItemText(ID_VOLUME_LABEL, Label);

    Host.AddComboEntry(ID_DEVICE_COMBO, PlayerTexts::DEFAULT_DEVICE);
    std::vector<std::u16string> Names;
    EnumerateOutputDevices(pLayer, Names);
    for (const std::u16string& Name : Names)
    {
        Host.AddComboEntry(ID_DEVICE_COMBO, Name.c_str());
    }
    Host.SelectComboEntry(ID_DEVICE_COMBO, 0);

    for (uint32_t uiSelection = 0; uiSelection < RateTable::COUNT; ++uiSelection)
    {
        Host.AddComboEntry(ID_RATE_COMBO, RateTable::TEXTS[RateTable::IndexOfSelection(uiSelection)]);
    }
    const uint32_t uiRateIndex =
        State.uiRateIndex < RateTable::COUNT ? State.uiRateIndex : RateTable::DEFAULT_INDEX;
    Host.SelectComboEntry(ID_RATE_COMBO, static_cast<int32_t>(RateTable::ComboSelection(uiRateIndex)));

    Host.SetItemUnsigned(ID_BIT_FIELD, State.uiEffectiveBitCount);
    Host.SetCheck(ID_ENHANCER_CHECK, State.bEnhancerEnabled == 1 ? 1 : 0);
}

void MainDialog::ChooseFile()
{
    std::u16string Path;
    if (Host.ChooseOpenFile(PlayerTexts::FILE_FILTER_NAME, PlayerTexts::FILE_FILTER_PATTERN,
                            SDialogHost::FILE_DIALOG_EXPLORER | SDialogHost::FILE_DIALOG_FILE_MUST_EXIST |
                                SDialogHost::FILE_DIALOG_PATH_MUST_EXIST,
                            PlayerScales::FILE_NAME_CAPACITY, Path) <= 0)
    {
        return;
    }
    TakeChosenFile(Path);
}

int32_t MainDialog::OnFileDropped(const char16_t* pPath)
{
    if (pPath == nullptr || pPath[0] == 0 || State.bPlaying != 0)
    {
        return 0;
    }
    return TakeChosenFile(pPath);
}

int32_t MainDialog::TakeChosenFile(const std::u16string& Path)
{
    // The previous file stays the player's until this one is known to be readable.
    if (ShowFileInfo(Path.c_str()) == 0)
    {
        return 0;
    }
    std::unique_ptr<WaveFileReader> pReader = Factory.CreateReader();
    WaveFileReader* pNewReader = pReader.get();
    if (pNewReader == nullptr || Controller.ReplaceReader(std::move(pReader)) <= 0)
    {
        return 0;
    }
    Host.SetItemText(ID_PATH_FIELD, Path.c_str());
    Host.EnableItem(ID_PLAY, 1);
    Host.FocusItem(ID_PATH_FIELD);
    Host.PutCaretAfterText(ID_PATH_FIELD);
    // A failure here shows later, as a converter that cannot be set up.
    pNewReader->Open(Path.c_str());
    return 1;
}

int32_t MainDialog::ShowFileInfo(const char16_t* pPath)
{
    for (int32_t iRow = 0; iRow < 4; ++iRow)
    {
        Host.SetListCell(ID_FILE_LIST, iRow, 1, u"");
    }
    std::unique_ptr<WaveFileReader> pReader = Factory.CreateReader();
    if (pReader == nullptr || pReader->Open(pPath) < 0)
    {
        Host.ShowErrorMessage(PlayerTexts::FILE_REFUSED, PlayerTexts::CAPTION_ERROR);
        return 0;
    }
    char16_t Value[PlayerScales::LIST_VALUE_BYTES / 2];
    FormatText(Value, sizeof(Value), PlayerTexts::FREQUENCY_FORMAT,
               static_cast<double>(pReader->uiSamplingFrequency));
    Host.SetListCell(ID_FILE_LIST, 0, 1, Value);
    FormatText(Value, sizeof(Value), PlayerTexts::COUNT_FORMAT, static_cast<int>(pReader->uiChannelCount));
    Host.SetListCell(ID_FILE_LIST, 1, 1, Value);
    FormatText(Value, sizeof(Value), PlayerTexts::COUNT_FORMAT, static_cast<int>(pReader->uiBitCount));
    Host.SetListCell(ID_FILE_LIST, 2, 1, Value);
    FormatText(Value, sizeof(Value), PlayerTexts::SECONDS_FORMAT, LengthInSeconds(*pReader));
    Host.SetListCell(ID_FILE_LIST, 3, 1, Value);
    Host.SetProgressPosition(ID_PROGRESS, 0);
    pReader->Close();
    return 1;
}

void MainDialog::ProgressTimerProc()
{
    const SamplingFrequencyConverter* pConverter = State.pSamplingFrequencyConverter;
    const WaveFileReader* pReader = State.pWaveFileReader;
    if (pConverter == nullptr || pReader == nullptr)
    {
        return;
    }
    const double dfLength = LengthInSeconds(*pReader);
    const double dfPosition =
        pConverter->bReady != 0 && pConverter->dfInputRate > 0.0
            ? static_cast<double>(pConverter->ullConsumedFrames.load(std::memory_order_relaxed)) /
                  pConverter->dfInputRate
            : 0.0;
    double dfRatio = dfLength > 0.0 ? dfPosition / dfLength : 0.0;
    if (dfRatio > 1.0)
    {
        dfRatio = 1.0;
    }
    Host.SetProgressPosition(ID_PROGRESS,
                             static_cast<int32_t>(std::floor(dfRatio * PlayerScales::PROGRESS_RANGE + 0.5)));
    // A playback that ended by itself (read error, device lost) stops like one at the end of the file.
    if (dfRatio == 1.0 || Controller.HasPlaybackEnded() != 0)
    {
        Host.KillTimer(PlayerScales::PROGRESS_TIMER_ID);
        Host.SendCommand(ID_STOP);
    }
}
