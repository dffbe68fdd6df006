#include "app/dialog/MainDialog.h"

#include "app/dialog/DialogControlIds.h"
#include "app/dialog/DialogControls.h"
#include "app/dialog/FileDialogFilters.h"
#include "app/dialog/PlaybackController.h"
#include "app/dialog/PlayerTexts.h"
#include "app/dialog/SDialogHost.h"
#include "app/player/PlayerDefaults.h"
#include "app/player/PlayerScales.h"
#include "app/player/PlayerState.h"
#include "app/player/RateTable.h"
#include "output/EnumerateOutputDevices.h"
#include "output/OpenDeviceSettings.h"
#include "runtime/FormatText.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

using namespace DialogControlIds;

namespace
{
void AddListColumns(SDialogHost& Host, int32_t iList)
{
    Host.InsertListColumn(iList, 0, PlayerTexts::COLUMN_ITEM, PlayerScales::ITEM_COLUMN_WIDTH, 1);
    Host.InsertListColumn(iList, 1, PlayerTexts::COLUMN_VALUE, PlayerScales::VALUE_COLUMN_WIDTH, 0);
}
} // namespace

MainDialog::MainDialog(PlayerState& State, SDialogHost& Host, PlaybackController& Controller,
                       SAudioClientLayer* pLayer, SSettingsLauncher* pLauncher)
    : State(State), Host(Host), Controller(Controller), pLayer(pLayer), pLauncher(pLauncher),
      Session(
          Controller.GetEngine(), [&Host] { return Host.GetSliderPosition(ID_SPEED_SLIDER); },
          [this](int32_t iPosition)
          {
              // As a user's move: the label and the converter follow.
              this->Host.SetSliderPosition(ID_SPEED_SLIDER, iPosition);
              OnVScroll(ID_SPEED_SLIDER);
          })
{
    Session.SetVolumeSlider([&Host] { return Host.GetSliderPosition(ID_VOLUME_SLIDER); },
                            [this](int32_t iPosition)
                            {
                                this->Host.SetSliderPosition(ID_VOLUME_SLIDER, iPosition);
                                OnVScroll(ID_VOLUME_SLIDER);
                            });
}

void MainDialog::OnInitDialog()
{
    InitMainDialog();
    if (!InitialFile.empty())
    {
        const std::u16string Path = std::move(InitialFile);
        InitialFile.clear();
        TakeChosenFile(Path);
    }
}

void MainDialog::OnCommand(int32_t iControlId)
{
    switch (iControlId)
    {
    case ID_CANCEL:
        Controller.StopPlayback();
        Session.RememberFile();
        Host.EndDialog(0);
        break;
    case ID_PLAY:
        Host.ShowWaitCursor(1);
        Controller.StartPlayback();
        Host.ShowWaitCursor(0);
        break;
    case ID_STOP:
        Controller.StopPlayback();
        Session.RememberFile();
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
    {
        const ListedOutputDevice Chosen = Controller.ChosenDevice();
        if (!Chosen.Id.empty())
        {
            OpenDeviceSettings(pLayer, pLauncher, Chosen.Id);
        }
        else
        {
            OpenDeviceSettings(pLayer, pLauncher, Chosen.iIndex);
        }
        break;
    }
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

int32_t MainDialog::ActionOfKey(char16_t cKey, PlaybackSession::Action& What)
{
    using Action = PlaybackSession::Action;
    if (cKey >= u'0' && cKey <= u'9')
    {
        What = static_cast<Action>(static_cast<uint32_t>(Action::Jump0) + static_cast<uint32_t>(cKey - u'0'));
        return 1;
    }
    // Seeks by ',' '.' '<' '>'; the loop, the trainer and keep pitch by their initials; the loop's
    // points by the bottom row (10 ms) and the row above it (100 ms), A on the left and B on the
    // right, earlier before later; the run-up and the markers.
    static constexpr struct
    {
        char16_t cKey;
        Action What;
    } KEYS[] = {
        {u',', Action::SeekBack},           {u'.', Action::SeekForward},
        {u'<', Action::SeekBackFar},        {u'>', Action::SeekForwardFar},
        {u'a', Action::LoopStart},          {u'b', Action::LoopEnd},
        {u'l', Action::LoopClear},          {u't', Action::Trainer},
        {u'k', Action::KeepPitch},          {u'z', Action::NudgeStartEarlier},
        {u'x', Action::NudgeStartLater},    {u's', Action::NudgeStartEarlierFar},
        {u'd', Action::NudgeStartLaterFar}, {u'c', Action::NudgeEndEarlier},
        {u'v', Action::NudgeEndLater},      {u'f', Action::NudgeEndEarlierFar},
        {u'g', Action::NudgeEndLaterFar},   {u'u', Action::RunUp},
        {u'i', Action::RunUpEvery},         {u'm', Action::MarkerAdd},
        {u'n', Action::MarkerNext},         {u'p', Action::MarkerPrevious},
        {u'e', Action::MarkerRemove},
    };
    // Letters in either case.
    const char16_t cLower = cKey >= u'A' && cKey <= u'Z' ? static_cast<char16_t>(cKey - u'A' + u'a') : cKey;
    for (const auto& Key : KEYS)
    {
        if (Key.cKey == cLower)
        {
            What = Key.What;
            return 1;
        }
    }
    return 0;
}

int32_t MainDialog::OnUserEvent(const DialogEvent& Event)
{
    using Kind = DialogEvent::Kind;
    int32_t iResult = 0;
    switch (Event.What)
    {
    case Kind::OpenFile:
        return OnFileDropped(Event.Path.c_str());
    case Kind::PlayPause:
        if (State.bPlaying == 1 && Session.IsPaused() == 0)
        {
            Controller.Pause();
            return 1;
        }
        if (Session.IsPaused() == 1 || Host.GetItemText(ID_PATH_FIELD).size() > 0)
        {
            OnCommand(ID_PLAY);
            return State.bPlaying == 1 ? 1 : 0;
        }
        return 0;
    case Kind::Play:
        if (State.bPlaying == 1 && Session.IsPaused() == 0)
        {
            return 0;
        }
        OnCommand(ID_PLAY);
        return State.bPlaying == 1 ? 1 : 0;
    case Kind::Pause:
        if (State.bPlaying != 1 || Session.IsPaused() == 1)
        {
            return 0;
        }
        Controller.Pause();
        return 1;
    case Kind::Stop:
        if (State.bPlaying != 1)
        {
            return 0;
        }
        OnCommand(ID_STOP);
        return 1;
    case Kind::SeekToFraction:
        iResult = Session.SeekToFraction(Event.dfValue);
        break;
    case Kind::SeekToSeconds:
        iResult = Session.SeekTo(Session.Frames(Event.dfValue));
        break;
    case Kind::SeekBy:
        iResult = Session.SeekBy(Event.dfValue);
        break;
    case Kind::Practice:
        iResult = Session.Perform(Event.Practice);
        if (iResult == 0 && Session.GetNotice() != PlaybackSession::Notice::None)
        {
            // Refused (a loop too short, B before A, on past the end): the window says so by sound.
            Host.DefaultBeep();
        }
        break;
    }
    if (iResult > 0 && State.bPlaying == 1)
    {
        // The bar shows the new place at once.
        ProgressTimerProc();
    }
    ShowPracticeMarks();
    return iResult;
}

std::vector<MainDialog::MenuItem> MainDialog::GetProgressMenu()
{
    using Action = PlaybackSession::Action;
    const int32_t bPlaying = State.bPlaying == 1 ? 1 : 0;
    const int32_t bMarked = Session.HasLoop() || Session.HasMarkedStart() ? 1 : 0;
    std::vector<MenuItem> Items = {
        {Action::LoopStart, PlayerTexts::MENU_LOOP_START.Get(), bPlaying, 0},
        {Action::LoopEnd, PlayerTexts::MENU_LOOP_END.Get(), bPlaying != 0 && bMarked != 0 ? 1 : 0, 0},
        {Action::LoopClear, PlayerTexts::MENU_LOOP_CLEAR.Get(), bMarked, 0},
        {Action::Trainer, PlayerTexts::MENU_TRAINER.Get(), 1, Session.IsTrainerOn() ? 1 : 0},
        {Action::KeepPitch, PlayerTexts::MENU_KEEP_PITCH.Get(), 1, Session.IsKeepPitchOn() ? 1 : 0},
    };
    // The loop's points move by the menu too while a loop is set.
    if (Session.HasLoop())
    {
        const std::pair<Action, const char16_t*> NUDGES[] = {
            {Action::NudgeStartEarlier, PlayerTexts::MENU_NUDGE_START_EARLIER},
            {Action::NudgeStartLater, PlayerTexts::MENU_NUDGE_START_LATER},
            {Action::NudgeStartEarlierFar, PlayerTexts::MENU_NUDGE_START_EARLIER_FAR},
            {Action::NudgeStartLaterFar, PlayerTexts::MENU_NUDGE_START_LATER_FAR},
            {Action::NudgeEndEarlier, PlayerTexts::MENU_NUDGE_END_EARLIER},
            {Action::NudgeEndLater, PlayerTexts::MENU_NUDGE_END_LATER},
            {Action::NudgeEndEarlierFar, PlayerTexts::MENU_NUDGE_END_EARLIER_FAR},
            {Action::NudgeEndLaterFar, PlayerTexts::MENU_NUDGE_END_LATER_FAR},
        };
        for (const auto& Nudge : NUDGES)
        {
            Items.push_back({Nudge.first, Nudge.second, 1, 0});
        }
    }
    Items.push_back({Action::MarkerAdd, PlayerTexts::MENU_MARKER_ADD.Get(),
                     bPlaying != 0 && Session.GetMarkers().size() < PlaybackSession::MAX_MARKERS ? 1 : 0, 0});
    Items.push_back({Action::MarkerRemove, PlayerTexts::MENU_MARKER_REMOVE.Get(),
                     Session.GetMarkers().empty() ? 0 : 1, 0});
    return Items;
}

std::u16string MainDialog::ProgressTooltip()
{
    const uint64_t ullLength = Session.GetLength();
    if (Session.GetRate() == 0)
    {
        return u"";
    }
    const uint64_t ullHeard = State.bPlaying == 1 ? Session.GetHeardPosition() : 0;
    char16_t Line[160];
    FormatText(Line, sizeof(Line), PlayerTexts::TOOLTIP_PLACE_FORMAT,
               DialogControls::ClockText(Session.Seconds(ullHeard)).c_str(),
               DialogControls::ClockText(Session.Seconds(ullLength)).c_str());
    std::u16string Text = Line;
    if (Session.HasLoop())
    {
        FormatText(Line, sizeof(Line), PlayerTexts::TOOLTIP_LOOP_FORMAT,
                   DialogControls::ClockText(Session.Seconds(Session.GetLoopStart())).c_str(),
                   DialogControls::ClockText(Session.Seconds(Session.GetLoopEnd())).c_str(),
                   static_cast<unsigned>(std::min<uint64_t>(Session.GetRepetition(), UINT32_MAX)));
        Text += u"\n";
        Text += Line;
    }
    else if (Session.HasMarkedStart())
    {
        FormatText(Line, sizeof(Line), PlayerTexts::TOOLTIP_LOOP_START_FORMAT,
                   DialogControls::ClockText(Session.Seconds(Session.GetMarkedStart())).c_str());
        Text += u"\n";
        Text += Line;
    }
    if (Session.IsTrainerOn())
    {
        const int32_t iNext = Session.GetTrainerNextPosition();
        FormatText(Line, sizeof(Line),
                   iNext != Host.GetSliderPosition(ID_SPEED_SLIDER)
                       ? PlayerTexts::TOOLTIP_TRAINER_NEXT_FORMAT
                       : PlayerTexts::TOOLTIP_TRAINER_DONE_FORMAT,
                   PlayerScales::SpeedOfPosition(iNext));
        Text += u"\n";
        Text += Line;
    }
    if (Session.GetRunUpSeconds() > 0.0)
    {
        FormatText(Line, sizeof(Line),
                   Session.IsRunUpEvery() ? PlayerTexts::TOOLTIP_RUN_UP_EVERY_FORMAT
                                          : PlayerTexts::TOOLTIP_RUN_UP_FORMAT,
                   Session.GetRunUpSeconds());
        Text += u"\n";
        Text += Line;
    }
    if (!Session.GetMarkers().empty())
    {
        FormatText(Line, sizeof(Line), PlayerTexts::TOOLTIP_MARKERS_FORMAT,
                   static_cast<unsigned>(State.bPlaying == 1 ? Session.GetMarkerPlace() : 0),
                   static_cast<unsigned>(Session.GetMarkers().size()));
        Text += u"\n";
        Text += Line;
    }
    const PlaybackSession::Notice Shown = Session.GetNotice();
    if (Shown == PlaybackSession::Notice::LoopNudged)
    {
        // To the hundredth, where the loop's line has tenths.
        const bool bEnd = Session.WasEndNudged();
        FormatText(Line, sizeof(Line),
                   bEnd ? PlayerTexts::TOOLTIP_NUDGED_END_FORMAT : PlayerTexts::TOOLTIP_NUDGED_START_FORMAT,
                   DialogControls::FineClockText(
                       Session.Seconds(bEnd ? Session.GetLoopEnd() : Session.GetLoopStart()))
                       .c_str());
        Text += u"\n";
        Text += Line;
    }
    else if (Shown == PlaybackSession::Notice::StateDamaged)
    {
        Text += u"\n";
        Text += PlayerTexts::TOOLTIP_STATE_DAMAGED;
    }
    if (Session.IsKeepPitchOn())
    {
        Text += u"\n";
        Text += PlayerTexts::TOOLTIP_KEEP_PITCH;
    }
    return Text;
}

void MainDialog::ShowPracticeMarks()
{
    const uint64_t ullLength = Session.GetLength();
    const auto OnBar = [ullLength](uint64_t ullFrame)
    {
        return static_cast<int32_t>(std::floor(
            static_cast<double>(ullFrame) / static_cast<double>(ullLength) * PlayerScales::PROGRESS_RANGE +
            0.5));
    };
    if (ullLength == 0 || (!Session.HasLoop() && !Session.HasMarkedStart()))
    {
        Host.SetProgressLoop(ID_PROGRESS, -1, -1);
    }
    else if (Session.HasLoop())
    {
        Host.SetProgressLoop(ID_PROGRESS, OnBar(Session.GetLoopStart()), OnBar(Session.GetLoopEnd()));
    }
    else
    {
        Host.SetProgressLoop(ID_PROGRESS, OnBar(Session.GetMarkedStart()), -1);
    }
    std::vector<int32_t> Ticks;
    for (const uint64_t ullMarker : ullLength != 0 ? Session.GetMarkers() : std::vector<uint64_t>())
    {
        Ticks.push_back(OnBar(ullMarker));
    }
    Host.SetProgressMarkers(ID_PROGRESS, Ticks);
    Host.SetItemTooltip(ID_PROGRESS, ProgressTooltip().c_str());
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
        Controller.GetEngine().InitializeVolume(PlayerDefaults::GAIN);
    }
    const int32_t iVolumePosition = PlayerDefaults::VolumePosition();
    Host.SetSliderPosition(ID_VOLUME_SLIDER, iVolumePosition);
    DialogControls::FormatVolumeText(iVolumePosition, Label, sizeof(Label));
    Host.SetItemText(ID_VOLUME_LABEL, Label);

    // Each entry keeps its endpoint's identifier, so a device that comes or goes while the dialog is
    // open does not make another entry stand for it.
    Host.AddComboEntry(ID_DEVICE_COMBO, PlayerTexts::DEFAULT_DEVICE);
    std::vector<ListedOutputDevice> Devices;
    EnumerateOutputDevices(pLayer, Devices);
    for (const ListedOutputDevice& Device : Devices)
    {
        Host.AddComboEntry(ID_DEVICE_COMBO, Device.Name.c_str());
    }
    Controller.SetListedDevices(std::move(Devices));
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
    const FileDialogFilters Filters;
    if (Host.ChooseOpenFile(Filters.GetName(), Filters.GetPattern(),
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
    BlankFileInfo();
    PlaybackEngine::FileFacts Facts;
    const int32_t iOpened = Controller.GetEngine().OpenFile(Path.c_str(), Facts);
    if (ShowExamined(iOpened, Facts, Path.c_str()) == 0 || iOpened <= 0)
    {
        return 0;
    }
    // The last file's practice is kept before this one's comes back.
    Session.RememberFile();
    Session.RecallFile(Path.c_str());
    ShowPracticeMarks();
    Host.SetItemText(ID_PATH_FIELD, Path.c_str());
    Host.EnableItem(ID_PLAY, 1);
    Host.FocusItem(ID_PATH_FIELD);
    Host.PutCaretAfterText(ID_PATH_FIELD);
    return 1;
}

int32_t MainDialog::ShowFileInfo(const char16_t* pPath)
{
    BlankFileInfo();
    PlaybackEngine::FileFacts Facts;
    return ShowExamined(Controller.GetEngine().ExamineFile(pPath, Facts), Facts, pPath);
}

void MainDialog::BlankFileInfo()
{
    for (int32_t iRow = 0; iRow < 4; ++iRow)
    {
        Host.SetListCell(ID_FILE_LIST, iRow, 1, u"");
    }
}

int32_t MainDialog::ShowExamined(int32_t iExamined, const PlaybackEngine::FileFacts& Facts,
                                 const char16_t* pPath)
{
    if (iExamined < 0)
    {
        // The file's name and, when the reader said, why: the user sees which file and what is wrong.
        std::u16string Message = PlayerTexts::FILE_REFUSED.Get();
        const std::u16string Path = pPath != nullptr ? pPath : u"";
        const size_t ullSeparator = Path.find_last_of(u"/\\");
        Message += u"\n\n";
        Message += ullSeparator == std::u16string::npos ? Path : Path.substr(ullSeparator + 1);
        if (!Facts.RefusalReason.empty())
        {
            Message += u": " + Facts.RefusalReason;
        }
        Host.ShowErrorMessage(Message.c_str(), PlayerTexts::CAPTION_ERROR);
        return 0;
    }
    char16_t Value[PlayerScales::LIST_VALUE_BYTES / 2];
    FormatText(Value, sizeof(Value), PlayerTexts::FREQUENCY_FORMAT,
               static_cast<double>(Facts.uiSamplingFrequency));
    Host.SetListCell(ID_FILE_LIST, 0, 1, Value);
    FormatText(Value, sizeof(Value), PlayerTexts::COUNT_FORMAT, static_cast<int>(Facts.uiChannelCount));
    Host.SetListCell(ID_FILE_LIST, 1, 1, Value);
    // The file's own bits, or a dash for a coding that has none (lossy): never an invented number.
    FormatText(Value, sizeof(Value), PlayerTexts::COUNT_FORMAT, static_cast<int>(Facts.uiBitCount));
    Host.SetListCell(ID_FILE_LIST, 2, 1, Facts.uiBitCount != 0 ? Value : PlayerTexts::NO_BITS);
    FormatText(Value, sizeof(Value), PlayerTexts::SECONDS_FORMAT,
               PlaybackEngine::LengthInSeconds(Facts.ullFrameCount, Facts.uiSamplingFrequency));
    Host.SetListCell(ID_FILE_LIST, 3, 1, Value);
    Host.SetProgressPosition(ID_PROGRESS, 0);
    return 1;
}

void MainDialog::ProgressTimerProc()
{
    // Asked before the position: a playback thread that ends between the two reads has already
    // published its last position, so the bar is not left short of the end.
    const int32_t bEnded = Controller.HasPlaybackEnded();
    double dfPosition = 0.0;
    double dfLength = 0.0;
    if (Controller.GetEngine().GetProgress(dfPosition, dfLength) == 0)
    {
        return;
    }
    double dfRatio = dfLength > 0.0 ? dfPosition / dfLength : 0.0;
    if (dfRatio > 1.0)
    {
        dfRatio = 1.0;
    }
    Host.SetProgressPosition(ID_PROGRESS,
                             static_cast<int32_t>(std::floor(dfRatio * PlayerScales::PROGRESS_RANGE + 0.5)));
    // The trainer follows the repetitions; the tooltip the place.
    Session.Tick();
    ShowPracticeMarks();
    // A playback that ended by itself (read error, device lost) stops like one at the end of the file.
    // An estimated length is only the bar's scale: the sound ends where the reader stops delivering.
    const bool bEstimated = Controller.GetEngine().IsLengthEstimated() != 0;
    if ((dfRatio == 1.0 && !bEstimated) || bEnded != 0)
    {
        Host.KillTimer(PlayerScales::PROGRESS_TIMER_ID);
        Host.SendCommand(ID_STOP);
    }
}
