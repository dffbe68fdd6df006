#include "app/dialog/CommandLineArguments.h"
#include "app/dialog/DialogControlIds.h"
#include "app/dialog/DialogControls.h"
#include "app/dialog/PlayerTexts.h"
#include "app/dialog/ShiftArgument.h"
#include "conversion/SamplingFrequencyConverter.h"
#include "output/CSoundStreamWASAPI.h"
#include "runtime/TextConversion.h"
#include "tests/common/TestFiles.h"
#include "tests/common/WaveFileBuilder.h"
#include "tests/dialog/PlayerRig.h"
#include "wave/AudioFileTypes.h"
#include "wave/SAudioFileReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>

using namespace DialogControlIds;

// The dialog logic on the recording host: what the controls show and which are enabled, from the
// start through choosing files to playing, pausing and stopping.

namespace
{
// The enabled state of the controls of the state table, in the order Play, Pause, Stop, and then
// "...", both combos, the bit field, the check box and the settings button (which move together).
std::string Enabled(RecordingDialogHost& Host)
{
    std::string States;
    for (const int32_t iId : {ID_PLAY, ID_PAUSE, ID_STOP})
    {
        States += Host.IsEnabled(iId) ? '1' : '0';
    }
    States += ' ';
    int32_t iGroup = 0;
    for (const int32_t iId :
         {ID_CHOOSE_FILE, ID_DEVICE_COMBO, ID_RATE_COMBO, ID_BIT_FIELD, ID_ENHANCER_CHECK, ID_SETTINGS})
    {
        iGroup += Host.IsEnabled(iId) ? 1 : 0;
    }
    States += iGroup == 6 ? "settings enabled" : iGroup == 0 ? "settings disabled" : "settings mixed";
    return States;
}
} // namespace

TEST(MainDialog, TheInitialDialog)
{
    PlayerRig Rig;
    Rig.pDevice->SetFriendlyName(u"Speakers");
    auto pSecond = std::make_shared<VirtualAudioDevice>();
    pSecond->SetFriendlyNameNotText();
    Rig.Layer.AddDevice(pSecond);
    Rig.Host.Open();
    RecordingDialogHost& Host = Rig.Host;

    EXPECT_EQ(Host.Title(), u"Larkspur v1.02");
    EXPECT_EQ(Host.Item(ID_PROGRESS).iMaximum, 2147483647);
    EXPECT_EQ(Host.Item(ID_PROGRESS).iPosition, 0);
    const std::u16string FileItems[] = {u"サンプリング周波数 (Hz)", u"チャンネル数", u"量子化ビット数",
                                        u"データ長 (秒)"};
    const std::u16string DeviceItems[] = {u"サンプリング周波数 (Hz)", u"論理量子化ビット数", u"動作モード"};
    ASSERT_EQ(Host.Item(ID_FILE_LIST).Rows.size(), 4u);
    ASSERT_EQ(Host.Item(ID_DEVICE_LIST).Rows.size(), 3u);
    for (int32_t i = 0; i < 4; ++i)
    {
        EXPECT_EQ(Host.Cell(ID_FILE_LIST, i, 0), FileItems[i]);
    }
    for (int32_t i = 0; i < 3; ++i)
    {
        EXPECT_EQ(Host.Cell(ID_DEVICE_LIST, i, 0), DeviceItems[i]);
    }
    const std::vector<std::u16string> Columns = {u"項目", u"値"};
    EXPECT_EQ(Host.Item(ID_FILE_LIST).Columns, Columns);
    EXPECT_EQ(Host.Item(ID_DEVICE_LIST).Columns, Columns);

    const auto& Speed = Host.Item(ID_SPEED_SLIDER);
    EXPECT_EQ(Speed.iMinimum, 0);
    EXPECT_EQ(Speed.iMaximum, 280);
    EXPECT_EQ(Speed.iTickFrequency, 10);
    EXPECT_EQ(Speed.iPageSize, 10);
    EXPECT_EQ(Speed.iPosition, 120);
    EXPECT_EQ(Host.GetItemText(ID_SPEED_LABEL), u"x1.0000");
    const auto& Volume = Host.Item(ID_VOLUME_SLIDER);
    EXPECT_EQ(Volume.iMaximum, 800);
    EXPECT_EQ(Volume.iPageSize, 25);
    EXPECT_EQ(Volume.iPosition, 200);
    EXPECT_EQ(Host.GetItemText(ID_VOLUME_LABEL), u"-20.0 dB");
    EXPECT_DOUBLE_EQ(LatestTarget(*Rig.State.pVolume), 0.1);

    const std::vector<std::u16string> Devices = {u"既定のオーディオ再生デバイス", u"Speakers", u"Unknown"};
    EXPECT_EQ(Host.Item(ID_DEVICE_COMBO).Entries, Devices);
    EXPECT_EQ(Host.GetComboSelection(ID_DEVICE_COMBO), 0);
    const auto& Rates = Host.Item(ID_RATE_COMBO).Entries;
    ASSERT_EQ(Rates.size(), 20u);
    EXPECT_EQ(Rates.front(), u"8 kHz");
    EXPECT_EQ(Rates[2], u"11.025 kHz");
    EXPECT_EQ(Rates.back(), u"384 kHz");
    EXPECT_EQ(Host.SelectedText(ID_RATE_COMBO), u"96 kHz");
    EXPECT_EQ(Host.GetItemText(ID_BIT_FIELD), u"24");
    EXPECT_EQ(Host.GetCheck(ID_ENHANCER_CHECK), 1);
    // No file yet.
    EXPECT_EQ(Enabled(Host), "000 settings enabled");
}

TEST(MainDialog, TheTitleShowsANonZeroShift)
{
    {
        PlayerRig Rig(u"3");
        Rig.Host.Open();
        EXPECT_EQ(Rig.Host.Title(), u"Larkspur v1.02 (Shift: 3)");
    }
    {
        PlayerRig Rig(u"-0");
        Rig.Host.Open();
        EXPECT_EQ(Rig.Host.Title(), u"Larkspur v1.02");
    }
    {
        // Beyond what the converter takes it is shown as given; Play then reports the converter.
        PlayerRig Rig(u"1,000");
        Rig.Host.Open();
        EXPECT_EQ(Rig.Host.Title(), u"Larkspur v1.02 (Shift: 1000)");
    }

    // A file on the command line (a file manager's "Open with" quotes a path with blanks) is taken
    // as if chosen with "...", beside a shift; a file whose name begins with digits is no shift.
    const std::vector<double> Tone(2 * 4800, 0.25);
    const std::u16string Named =
        TestFiles::Wide(TestFiles::Write("12 take.wav", WaveFileBuilder::PcmWave(Tone, 2, 48000, 16)));
    const std::u16string Missing = TestFiles::Wide(TestFiles::PathFor("no such take.wav"));
    const std::u16string Lines[] = {u"3 \"" + Named + u"\"", u"\"" + Named + u"\"",
                                    u"3 \"" + Missing + u"\""};
    const char16_t* const Titles[] = {u"Larkspur v1.02 (Shift: 3)", u"Larkspur v1.02",
                                      u"Larkspur v1.02 (Shift: 3)"};
    for (int i = 0; i < 3; ++i)
    {
        PlayerRig Rig(Lines[i].c_str());
        Rig.Host.Open();
        EXPECT_EQ(Rig.Host.Title(), Titles[i]);
        EXPECT_EQ(Rig.Host.GetItemText(ID_PATH_FIELD), i < 2 ? Named : u"");
        EXPECT_EQ(Rig.Host.IsEnabled(ID_PLAY), i < 2);
        EXPECT_TRUE(Rig.Host.Messages().empty());
    }
}

TEST(MainDialog, TheShiftArgument)
{
    EXPECT_EQ(ParseShiftArgument(nullptr), 0);
    EXPECT_EQ(ParseShiftArgument(u""), 0);
    EXPECT_EQ(ParseShiftArgument(u"1,000"), 1000);
    EXPECT_EQ(ParseShiftArgument(u"-3"), -3);
    EXPECT_EQ(ParseShiftArgument(u"12ab"), 12);
    EXPECT_EQ(ParseShiftArgument(u"-"), 0);
    EXPECT_EQ(ParseShiftArgument(u",,5"), 5);
    EXPECT_EQ(ParseShiftArgument(u" 5"), 0);
    EXPECT_EQ(ParseShiftArgument(u"--5"), 0);
    EXPECT_EQ(ParseShiftArgument(u"4294967295"), -1);
    EXPECT_EQ(ParseShiftArgument(u"2147483648"), INT32_MIN);

    // The command line's arguments, and back.
    const std::vector<std::vector<std::u16string>> Split = {
        {u"3"}, {u"a b.wav", u"-2"}, {u"C:\\x y\\", u"q\"t"}, {u"a\\\\b"}, {u""}};
    const char16_t* const Joined[] = {u"3", u"\"a b.wav\" -2", u"\"C:\\x y\\\\\" \"q\\\"t\"", u"a\\\\b",
                                      u"\"\""};
    for (size_t i = 0; i < Split.size(); ++i)
    {
        EXPECT_EQ(CommandLineArguments::Join(Split[i]), Joined[i]);
        EXPECT_EQ(CommandLineArguments::Split(Joined[i]), Split[i]);
    }
    EXPECT_TRUE(CommandLineArguments::Split(nullptr).empty());
    EXPECT_EQ(CommandLineArguments::Split(u"  x\t \"y z\"w  "), (std::vector<std::u16string>{u"x", u"y zw"}));
    EXPECT_EQ(ParseShiftArgument(u"-2147483649"), INT32_MAX);
}

TEST(MainDialog, TheVolumeLabel)
{
    const std::pair<int32_t, std::u16string> Cases[] = {
        {0, u"-0.0 dB"}, {5, u"-0.5 dB"}, {200, u"-20.0 dB"}, {800, u"-80.0 dB"}, {9999, u"-999.9 dB"}};
    for (const auto& [iPosition, Expected] : Cases)
    {
        char16_t Text[16];
        DialogControls::FormatVolumeText(iPosition, Text, sizeof(Text));
        EXPECT_EQ(std::u16string(Text), Expected) << iPosition;
    }
}

TEST(MainDialog, AChosenFileShowsItsPropertiesAndEnablesPlay)
{
    PlayerRig Rig;
    RecordingDialogHost& Host = Rig.Host;
    Host.Open();
    // Cancelling the file dialog changes nothing.
    Host.ScriptFileChoice(std::nullopt);
    Host.Click(ID_CHOOSE_FILE);
    // Every supported file first, then the WAV files alone.
    const std::u16string All = AudioFileTypes::DialogPattern();
    EXPECT_EQ(Host.LastFilterName(), u"音声ファイル(" + All + u")\nWave Data File(*.wav)");
    EXPECT_EQ(Host.LastPattern(), All + u"\n*.wav");
    EXPECT_NE(All.find(u"*.wav;*.wave;*.flac;*.mp3;*.m4a;*.aac;*.ogg;*.oga;*.opus;*.aif;"),
              std::u16string::npos);
    EXPECT_EQ(Host.LastFileFlags(), 0x80000u | 0x1000u | 0x800u);
    EXPECT_EQ(Host.LastNameCapacity(), 260u);
    EXPECT_EQ(Rig.State.pWaveFileReader, nullptr);
    EXPECT_EQ(Enabled(Host), "000 settings enabled");

    const auto Path = Rig.ChooseToneFile("dialog-info.wav", 88200);
    EXPECT_EQ(Host.Cell(ID_FILE_LIST, 0, 1), u"44100");
    EXPECT_EQ(Host.Cell(ID_FILE_LIST, 1, 1), u"2");
    EXPECT_EQ(Host.Cell(ID_FILE_LIST, 2, 1), u"16");
    EXPECT_EQ(Host.Cell(ID_FILE_LIST, 3, 1), u"2.000");
    EXPECT_EQ(Host.GetItemText(ID_PATH_FIELD), TestFiles::Wide(Path));
    EXPECT_EQ(Host.iFocus, ID_PATH_FIELD);
    EXPECT_EQ(Host.iCaretControl, ID_PATH_FIELD);
    ASSERT_NE(Rig.State.pWaveFileReader, nullptr);
    EXPECT_EQ(Rig.State.pWaveFileReader->IsOpen(), 1);
    EXPECT_TRUE(Host.Messages().empty());
    EXPECT_EQ(Enabled(Host), "100 settings enabled");

    // 1.5 s of a 48 kHz mono 24-bit file.
    Rig.ChooseToneFile("dialog-info-mono.wav", 72000, 48000, 24, 1);
    EXPECT_EQ(Host.Cell(ID_FILE_LIST, 0, 1), u"48000");
    EXPECT_EQ(Host.Cell(ID_FILE_LIST, 1, 1), u"1");
    EXPECT_EQ(Host.Cell(ID_FILE_LIST, 2, 1), u"24");
    EXPECT_EQ(Host.Cell(ID_FILE_LIST, 3, 1), u"1.500");
}

TEST(MainDialog, ARefusedFileKeepsThePreviousFilePlayable)
{
    PlayerRig Rig;
    RecordingDialogHost& Host = Rig.Host;
    Rig.pDevice->AcceptFormat(AUDIO_SHAREMODE_EXCLUSIVE, 48000, 16);
    Rig.pDevice->UseRealTimeClock(1);
    Host.Open();
    const auto Good = Rig.ChooseToneFile("dialog-good.wav", 4410);
    const SAudioFileReader* pGoodReader = Rig.State.pWaveFileReader;
    const auto Bad = TestFiles::Write("dialog-bad.wav", std::vector<uint8_t>{'R', 'I', 'F', 'F', 1, 2, 3});
    Rig.ChooseFile(Bad);

    // The message names the file and says what is wrong with it.
    ASSERT_EQ(Host.Messages().size(), 1u);
    EXPECT_EQ(Host.Messages()[0].Text,
              u"ファイル形式が不明または壊れています。このファイルは読み込めません。\n\n"
              u"dialog-bad.wav: cut short: its WAV header ends before the sound data");
    EXPECT_EQ(Host.Messages()[0].Caption, u"エラー");
    for (int32_t i = 0; i < 4; ++i)
    {
        EXPECT_EQ(Host.Cell(ID_FILE_LIST, i, 1), u"") << i;
    }
    EXPECT_EQ(Host.GetItemText(ID_PATH_FIELD), TestFiles::Wide(Good));
    EXPECT_TRUE(Host.IsEnabled(ID_PLAY));
    EXPECT_EQ(Rig.State.pWaveFileReader, pGoodReader);

    // Play still plays the good file.
    ASSERT_TRUE(Host.Click(ID_PLAY));
    EXPECT_EQ(Host.Messages().size(), 1u);
    EXPECT_EQ(Rig.State.bPlaying, 1);
    ASSERT_NE(Rig.State.pSamplingFrequencyConverter, nullptr);
    EXPECT_EQ(Rig.State.pSamplingFrequencyConverter->dfInputRate, 44100.0);
    Host.Click(ID_STOP);
}

TEST(MainDialog, ADroppedFileIsTakenLikeAChosenOneButNotWhilePlaying)
{
    PlayerRig Rig;
    RecordingDialogHost& Host = Rig.Host;
    Rig.pDevice->AcceptFormat(AUDIO_SHAREMODE_EXCLUSIVE, 48000, 16);
    Rig.pDevice->UseRealTimeClock(1);
    Host.Open();
    // A refused file first: the message, the blank list, nothing loaded, Play still disabled.
    const auto Bad = TestFiles::Write("dialog-drop-bad.wav", std::vector<uint8_t>{'R', 'I', 'F', 'F', 9});
    EXPECT_EQ(Rig.pEntry->GetDialog().OnFileDropped(TestFiles::Wide(Bad).c_str()), 0);
    ASSERT_EQ(Host.Messages().size(), 1u);
    EXPECT_EQ(Host.Messages()[0].Caption, u"エラー");
    EXPECT_EQ(Host.Cell(ID_FILE_LIST, 0, 1), u"");
    EXPECT_EQ(Rig.State.pWaveFileReader, nullptr);
    EXPECT_EQ(Enabled(Host), "000 settings enabled");
    EXPECT_EQ(Rig.pEntry->GetDialog().OnFileDropped(u""), 0);
    EXPECT_EQ(Rig.pEntry->GetDialog().OnFileDropped(nullptr), 0);
    EXPECT_EQ(Host.Messages().size(), 1u);

    const auto Good = Rig.ChooseToneFile("dialog-drop-chosen.wav", 4410);
    const auto Dropped = TestFiles::Write(
        "dialog-drop-good.wav", WaveFileBuilder::PcmWave(std::vector<double>(2 * 22050), 2, 22050, 24));
    Host.ClearTranscript();
    EXPECT_EQ(Rig.pEntry->GetDialog().OnFileDropped(TestFiles::Wide(Dropped).c_str()), 1);
    EXPECT_EQ(Host.TranscriptText().find("file dialog"), std::string::npos); // never opened for a drop
    EXPECT_EQ(Host.Cell(ID_FILE_LIST, 0, 1), u"22050");
    EXPECT_EQ(Host.Cell(ID_FILE_LIST, 2, 1), u"24");
    EXPECT_EQ(Host.Cell(ID_FILE_LIST, 3, 1), u"1.000");
    EXPECT_EQ(Host.GetItemText(ID_PATH_FIELD), TestFiles::Wide(Dropped));
    EXPECT_EQ(Host.iCaretControl, ID_PATH_FIELD);
    ASSERT_NE(Rig.State.pWaveFileReader, nullptr);
    EXPECT_EQ(Rig.State.pWaveFileReader->IsOpen(), 1);
    EXPECT_EQ(Enabled(Host), "100 settings enabled");

    // While playing (and paused) "..." is disabled, and so is dropping.
    ASSERT_TRUE(Host.Click(ID_PLAY));
    ASSERT_EQ(Rig.State.bPlaying, 1);
    const SAudioFileReader* pPlaying = Rig.State.pWaveFileReader;
    EXPECT_EQ(Rig.pEntry->GetDialog().OnFileDropped(TestFiles::Wide(Good).c_str()), 0);
    Host.Click(ID_PAUSE);
    EXPECT_EQ(Rig.pEntry->GetDialog().OnFileDropped(TestFiles::Wide(Good).c_str()), 0);
    EXPECT_EQ(Rig.State.pWaveFileReader, pPlaying);
    EXPECT_EQ(Host.GetItemText(ID_PATH_FIELD), TestFiles::Wide(Dropped));
    EXPECT_EQ(Host.Cell(ID_FILE_LIST, 0, 1), u"22050");
    Host.Click(ID_STOP);
    EXPECT_EQ(Rig.pEntry->GetDialog().OnFileDropped(TestFiles::Wide(Good).c_str()), 1);
    EXPECT_EQ(Host.GetItemText(ID_PATH_FIELD), TestFiles::Wide(Good));
}

TEST(MainDialog, TheControlStatesAcrossEveryTransition)
{
    PlayerRig Rig;
    RecordingDialogHost& Host = Rig.Host;
    Rig.pDevice->AcceptFormat(AUDIO_SHAREMODE_EXCLUSIVE, 96000, 24);
    Rig.pDevice->UseRealTimeClock(1);
    Host.Open();
    EXPECT_EQ(Enabled(Host), "000 settings enabled");
    Rig.ChooseToneFile("dialog-states.wav", 44100);
    EXPECT_EQ(Enabled(Host), "100 settings enabled");
    Host.Click(ID_PLAY);
    EXPECT_EQ(Enabled(Host), "011 settings disabled");
    EXPECT_TRUE(Host.IsTimerRunning());
    EXPECT_EQ(Host.MaximumWaitCursorDepth(), 1);
    EXPECT_EQ(Host.WaitCursorDepth(), 0);
    Host.Click(ID_PAUSE);
    EXPECT_EQ(Enabled(Host), "101 settings disabled");
    Host.Click(ID_PLAY);
    EXPECT_EQ(Enabled(Host), "011 settings disabled");
    Host.Click(ID_STOP);
    EXPECT_EQ(Enabled(Host), "100 settings enabled");
    EXPECT_FALSE(Host.IsTimerRunning());
    // Pause and Stop do nothing when clicked while stopped.
    Rig.pEntry->GetController().Pause();
    EXPECT_EQ(Rig.State.bPaused.load(), 0);
    EXPECT_EQ(Enabled(Host), "100 settings enabled");

    // A failed start leaves the controls as they were.
    Rig.Factory.bFailOutputBuffer = true;
    Host.Click(ID_PLAY);
    EXPECT_EQ(Host.Messages().size(), 1u);
    EXPECT_EQ(Enabled(Host), "100 settings enabled");
    EXPECT_EQ(Rig.State.bPlaying, 0);
}

TEST(MainDialog, EnterDoesNothingAndTheCheckBoxSetsTheEnhancer)
{
    PlayerRig Rig;
    RecordingDialogHost& Host = Rig.Host;
    Host.Open();
    Rig.ChooseToneFile("dialog-enter.wav", 4410);
    Host.ClearTranscript();
    Host.Click(ID_OK);
    EXPECT_EQ(Host.Transcript().size(), 1u) << Host.TranscriptText();
    EXPECT_FALSE(Host.HasEnded());
    EXPECT_EQ(Rig.State.bPlaying, 0);

    Host.SetChecked(ID_ENHANCER_CHECK, 0);
    EXPECT_EQ(Rig.State.bEnhancerEnabled, 0);
    Host.SetChecked(ID_ENHANCER_CHECK, 1);
    EXPECT_EQ(Rig.State.bEnhancerEnabled, 1);
}

TEST(MainDialog, TheSettingsButtonLaunchesForTheSelectedEndpoint)
{
    PlayerRig Rig;
    Rig.pDevice->SetId(u"{first}");
    auto pSecond = std::make_shared<VirtualAudioDevice>();
    pSecond->SetId(u"{second}");
    Rig.Layer.AddDevice(pSecond);
    Rig.Layer.SetDefaultDevice(pSecond);
    RecordingDialogHost& Host = Rig.Host;
    Host.Open();
    Host.Click(ID_SETTINGS);
    Host.SelectEntry(ID_DEVICE_COMBO, 1);
    Host.Click(ID_SETTINGS);
    Host.SelectEntry(ID_DEVICE_COMBO, 2);
    Host.Click(ID_SETTINGS);
    const std::vector<std::u16string> Expected = {u"{second}", u"{first}", u"{second}"};
    EXPECT_EQ(Rig.Launcher.Launched, Expected);

    // An endpoint that cannot be found launches nothing.
    pSecond->Vanish();
    Host.Click(ID_SETTINGS);
    EXPECT_EQ(Rig.Launcher.Launched.size(), 3u);
    EXPECT_TRUE(Host.Messages().empty());
}

// Each entry of the device list stands for the endpoint it was listed for, found again by its
// identifier: a device unplugged while the dialog is open moves the others in the enumeration, not
// in the list; choosing the gone device gets the device message and opens nothing else.
TEST(MainDialog, PlayAndTheSettingsUseTheListedDeviceWhenOthersGo)
{
    PlayerRig Rig;
    Rig.pDevice->SetId(u"{first}");
    std::shared_ptr<VirtualAudioDevice> Others[2];
    for (int32_t i = 0; i < 2; ++i)
    {
        Others[i] = std::make_shared<VirtualAudioDevice>();
        Others[i]->SetId(i == 0 ? u"{second}" : u"{third}");
        Others[i]->SetFriendlyName(i == 0 ? u"Second" : u"Third");
        Others[i]->AcceptFormat(AUDIO_SHAREMODE_EXCLUSIVE, 48000, 24);
        Rig.Layer.AddDevice(Others[i]);
    }
    RecordingDialogHost& Host = Rig.Host;
    Host.Open();
    ASSERT_EQ(Host.Item(ID_DEVICE_COMBO).Entries.size(), 4u);
    Rig.ChooseToneFile("identity.wav", 4410);
    Rig.pDevice->Vanish();
    Rig.Layer.RemoveVanishedDevices();

    Host.SelectEntry(ID_DEVICE_COMBO, 3);
    EXPECT_EQ(Host.SelectedText(ID_DEVICE_COMBO), u"Third");
    Host.Click(ID_PLAY);
    ASSERT_EQ(Rig.State.bPlaying, 1);
    EXPECT_EQ(Others[1]->GetStreamState().bOpen, 1);
    Host.Click(ID_STOP);
    Host.Click(ID_SETTINGS);

    Host.SelectEntry(ID_DEVICE_COMBO, 1);
    const size_t ullThirdProbes = Others[1]->GetProbes().size();
    Host.Click(ID_PLAY);
    EXPECT_EQ(Rig.State.bPlaying, 0);
    ASSERT_EQ(Host.Messages().size(), 1u);
    EXPECT_EQ(Host.Messages()[0].Text, u"出力先のオーディオデバイスを初期化できませんでした。");
    Host.Click(ID_SETTINGS);

    EXPECT_TRUE(Others[0]->GetProbes().empty());
    EXPECT_EQ(Others[1]->GetProbes().size(), ullThirdProbes);
    EXPECT_EQ(Rig.Launcher.Launched, std::vector<std::u16string>{u"{third}"});
}

// Every text of the table has its English (a name twice does not compile): not empty, no kana or
// kanji left in it, the original's printf conversions in their order (a format given other
// arguments would read the wrong ones), the same key after a tab, the same trailing blank, and a
// full stop exactly where the original ends with one.
TEST(MainDialog, EveryTextHasItsEnglish)
{
    const std::regex Conversion("[^%]*(%[-+ #0-9.]*[lh]*[a-zA-Z%])?");
    const auto Conversions = [&](const std::u16string& Text)
    { return std::regex_replace(WideToUtf8(Text), Conversion, "$1"); };
    const auto Key = [](const std::u16string& Text)
    { return Text.substr(std::min(Text.find(u'\t'), Text.size())); };
    for (const PlayerText* pText : PlayerTexts::ALL)
    {
        SCOPED_TRACE(pText->pName);
        const std::u16string Japanese = pText->pJapanese;
        const std::u16string English = pText->pEnglish;
        ASSERT_FALSE(Japanese.empty() || English.empty());
        EXPECT_TRUE(std::all_of(English.begin(), English.end(), [](char16_t c) { return c < 0x3000; }));
        EXPECT_EQ(Conversions(English), Conversions(Japanese));
        EXPECT_EQ(Key(English), Key(Japanese));
        EXPECT_EQ(English.back() == u' ', Japanese.back() == u' ');
        EXPECT_EQ(English.back() == u'.', Japanese.back() == u'。' || Japanese.back() == u'.');
    }
}
