#include "app/cli/ConsolePlayer.h"

#include "app/cli/StatusLine.h"

#include "app/dialog/DialogControlIds.h"
#include "app/dialog/PlayerLanguageChoice.h"
#include "app/dialog/PlayerTexts.h"
#include "app/dialog/ScopedPlayerLanguage.h"
#include "app/player/PlayerScales.h"
#include "app/player/PlayerState.h"
#include "conversion/ParameterSmoother.h"
#include "conversion/SamplingFrequencyConverter.h"
#include "output/AudioClientConstants.h"
#include "output/virtual/VirtualRecordingLayer.h"
#include "runtime/TextConversion.h"
#include "tests/app/CliRun.h"
#include "tests/app/ScriptedKeys.h"
#include "tests/common/TestFiles.h"
#include "tests/common/WaveFileBuilder.h"
#include "tests/dialog/PlayerRig.h"
#include "tests/scripted/CVirtualAudioLayer.h"
#include "wave/WaveFileReader.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <functional>
#include <numbers>
#include <sstream>
#include <thread>
#include <tuple>

namespace
{
using namespace DialogControlIds;
using Clock = std::chrono::steady_clock;

// A stereo 16-bit tone file of the given length.
std::filesystem::path ToneFile(const std::string& Name, double dfSeconds)
{
    constexpr uint32_t RATE = 44100;
    const uint64_t ullFrames = static_cast<uint64_t>(dfSeconds * RATE);
    std::vector<double> Signal(2 * ullFrames);
    for (uint64_t n = 0; n < ullFrames; ++n)
    {
        Signal[2 * n] = 0.5 * std::sin(2.0 * std::numbers::pi * 440.0 * static_cast<double>(n) / RATE);
        Signal[2 * n + 1] = Signal[2 * n];
    }
    return TestFiles::Write(Name, WaveFileBuilder::PcmWave(Signal, 2, RATE, 16));
}

struct Session
{
    std::ostringstream Status;
    std::ostringstream Messages;
    VirtualRecordingLayer Layer{std::u16string()};
    ConsolePlayer Player{&Layer, Status, false, Messages};
};

PlayerState& State()
{
    return PlayerState::Instance();
}

// Nothing of a playback is left once Run has returned.
void ExpectNothingRunning()
{
    EXPECT_EQ(State().bPlaying, 0);
    EXPECT_EQ(State().pPlaybackThread, nullptr);
    EXPECT_EQ(State().pSoundStream, nullptr);
    EXPECT_EQ(State().pVolume, nullptr);
}

double ConverterTarget()
{
    return LatestTarget(*State().pSamplingFrequencyConverter->pRateSmoother);
}

// Endpoints named and identified as given, shared at 48 kHz on a real-time clock.
std::vector<std::shared_ptr<VirtualAudioDevice>>
AddEndpoints(CVirtualAudioLayer& Layer,
             const std::vector<std::pair<std::u16string, std::u16string>>& NamesAndIds)
{
    std::vector<std::shared_ptr<VirtualAudioDevice>> Devices;
    for (const auto& [Name, Id] : NamesAndIds)
    {
        Devices.push_back(std::make_shared<VirtualAudioDevice>());
        Devices.back()->SetFriendlyName(Name);
        Devices.back()->SetId(Id);
        Devices.back()->UseRealTimeClock(1);
        Devices.back()->AcceptFormat(AUDIO_SHAREMODE_SHARED, 48000, 24);
        Layer.AddDevice(Devices.back());
    }
    return Devices;
}

// Plays File on --device pDevice until the first key quits; only Devices[iPlayed] starts (none: -1).
int RunOnDevice(CVirtualAudioLayer& Layer, const std::vector<std::shared_ptr<VirtualAudioDevice>>& Devices,
                const std::filesystem::path& File, const char* pDevice, int32_t iPlayed,
                std::ostringstream& Status, std::ostringstream& Messages)
{
    ConsolePlayer Player(&Layer, Status, false, Messages);
    ConsolePlayer::Options Chosen;
    Chosen.Device = pDevice;
    ScriptedKeys Keys({[] { return ConsoleKey::Quit; }});
    std::vector<uint64_t> Starts;
    for (const auto& pEndpoint : Devices)
    {
        Starts.push_back(pEndpoint->GetCallCount(VirtualOperation::Start));
    }
    const int iStatus = Player.Run(Chosen, Utf8(File), Keys);
    for (size_t i = 0; i < Devices.size(); ++i)
    {
        EXPECT_EQ(Devices[i]->GetCallCount(VirtualOperation::Start) - Starts[i],
                  static_cast<int32_t>(i) == iPlayed ? 1u : 0u)
            << pDevice << " " << i;
    }
    EXPECT_EQ(iStatus, iPlayed >= 0 ? ConsolePlayer::EXIT_DONE : ConsolePlayer::EXIT_DEVICE_FAILED)
        << pDevice << Messages.str();
    ExpectNothingRunning();
    return iStatus;
}
} // namespace

TEST(ConsolePlayerTest, OptionsAndTheirDefaults)
{
    // What the first two readings set: file, rate index, bits, enhancer, speed, volume and shift.
    const auto Fields = [](const ConsolePlayer::Options& Options)
    {
        return std::tuple(Options.File, Options.uiRateIndex, Options.uiBitCount, Options.bEnhancer,
                          Options.iSpeedPosition, Options.iVolumePosition, Options.iShift);
    };
    ConsolePlayer::Options Parsed;
    std::string Problem;
    ASSERT_TRUE(ConsolePlayer::ParseOptions({}, Parsed, Problem));
    EXPECT_EQ(Fields(Parsed), std::tuple(std::string(""), 8u, 24u, 1, 120, 200, 0));

    ASSERT_TRUE(
        ConsolePlayer::ParseOptions({"a.wav", "--device", "Speakers", "--max-rate", "44100", "--bits", "16",
                                     "--no-enhancer", "--speed", "2", "--volume", "-6.5", "--shift", "-3"},
                                    Parsed, Problem))
        << Problem;
    EXPECT_EQ(Fields(Parsed), std::tuple(std::string("a.wav"), 11u, 16u, 0, 240, 65, -3));
    EXPECT_EQ(Parsed.Device, "Speakers");
    ASSERT_TRUE(ConsolePlayer::ParseOptions({"--position", "0", "--max-rate", "11025"}, Parsed, Problem));
    EXPECT_EQ(Parsed.iSpeedPosition, 0);
    EXPECT_EQ(Parsed.uiRateIndex, 17u);
}

TEST(ConsolePlayerTest, WrongArgumentsAreRefusedWithTheReason)
{
    const struct
    {
        std::vector<std::string> Arguments;
        const char* pReason;
    } CASES[] = {
        {{"--bits", "40"}, "--bits needs a whole number from 1 to 32, not '40'"},
        {{"--bits", "0"}, "--bits needs"},
        {{"--max-rate", "50000"}, "--max-rate needs one of the rates 8000 9600 11025"},
        {{"--speed", "3"}, "--speed needs a speed from 0.5 to 2.5198"},
        {{"--speed", "0"}, "--speed needs"},
        {{"--speed", "1.5", "--position", "100"}, "give --speed or --position, not both"},
        {{"--position", "281"}, "--position needs a whole number from 0 to 280"},
        {{"--volume", "3"}, "--volume needs a level from 0 to -80 dB"},
        {{"--volume", "-1.25"}, "--volume needs"},
        {{"--shift", "128"}, "--shift needs a whole number of bins from -127 to 127"},
        {{"--device"}, "option --device needs a value (--device D)"},
        {{"--loud", "1"}, "unknown option --loud"},
        {{"a.wav", "b.wav"}, "give at most one file"},
    };
    for (const auto& Case : CASES)
    {
        const CliRun Run = CliRun::Refused("play", Case.Arguments, ConsolePlayer::EXIT_USAGE, Case.pReason);
        EXPECT_NE(Run.Error.find("Usage: larkspur-cli play"), std::string::npos);
        EXPECT_EQ(Run.Out, "");
    }
    ExpectNothingRunning();
}

TEST(ConsolePlayerTest, HelpGlossesEveryMessageAndKey)
{
    const CliRun Run = CliRun::Of("play", {"--help"});
    EXPECT_EQ(Run.iStatus, 0);
    for (const char16_t* pText :
         {PlayerTexts::FILE_REFUSED, PlayerTexts::DEVICE_NOT_INITIALISED, PlayerTexts::CONVERTER_FAILED,
          PlayerTexts::INPUT_BUFFER_FAILED, PlayerTexts::OUTPUT_BUFFER_FAILED,
          PlayerTexts::THREAD_START_FAILED, PlayerTexts::DEVICE_NOT_ACTIVATED,
          PlayerTexts::DEVICE_START_FAILED, PlayerTexts::SOUND_BUFFER_FAILED,
          PlayerTexts::CAPACITY_LIMIT_FAILED, PlayerTexts::BUFFER_SIZE_FAILED, PlayerTexts::MODE_EXCLUSIVE,
          PlayerTexts::MODE_SHARED})
    {
        EXPECT_NE(Run.Out.find(WideToUtf8(pText)), std::string::npos) << WideToUtf8(pText);
    }
    EXPECT_NE(Run.Out.find("Space          pause / resume"), std::string::npos);
}

// The language the terminal player and the windows take at their start: LARKSPUR_LANG before all
// (a value it does not know is passed over), then on Linux the first of LANGUAGE (its first entry),
// LC_ALL, LC_MESSAGES and LANG that is set: Japanese for ja, C, POSIX and none at all.
TEST(ConsolePlayerTest, TheLanguageFromTheEnvironment)
{
    using enum PlayerLanguage;
    const auto Chosen = [](const char* pOverride, const char* pLanguage, const char* pAll,
                           const char* pMessages, const char* pLang)
    {
        const ScopedVariable Override("LARKSPUR_LANG", pOverride), Language("LANGUAGE", pLanguage),
            All("LC_ALL", pAll), Messages("LC_MESSAGES", pMessages), Lang("LANG", pLang);
        return PlayerLanguageChoice::AtStart();
    };
    EXPECT_EQ(Chosen("en", nullptr, nullptr, nullptr, "ja_JP.UTF-8"), English);
    EXPECT_EQ(Chosen("ja", "en", nullptr, nullptr, "en_US.UTF-8"), Japanese);
#ifndef _WIN32
    EXPECT_EQ(Chosen("fr", "ja:en", "de_DE.UTF-8", "C", "en_US.UTF-8"), Japanese);
    EXPECT_EQ(Chosen(nullptr, "", "de_DE.UTF-8", "ja_JP.UTF-8", "ja_JP.UTF-8"), English);
    EXPECT_EQ(Chosen(nullptr, nullptr, nullptr, "en_GB.UTF-8", "ja_JP.UTF-8"), English);
    EXPECT_EQ(Chosen(nullptr, nullptr, nullptr, nullptr, "C.UTF-8"), Japanese);
    EXPECT_EQ(Chosen(nullptr, nullptr, nullptr, nullptr, nullptr), Japanese);
#endif
}

TEST(ConsolePlayerTest, MissingOrRefusedFileEndsAtOnce)
{
    const CliRun Missing = CliRun::Of("play", {Utf8(TestFiles::PathFor("none.wav"))});
    EXPECT_EQ(Missing.iStatus, ConsolePlayer::EXIT_FILE_REFUSED);
    EXPECT_EQ(Missing.Error,
              "larkspur-cli play: '" + Utf8(TestFiles::PathFor("none.wav")) + "' does not exist\n");

    // A file that exists but is no WAV file, given to the player itself: the dialog's message,
    // caption first, then what is wrong in words.
    const auto Text = TestFiles::Write("text.wav", {'h', 'e', 'l', 'l', 'o'});
    {
        Session Run;
        ScriptedKeys Keys({});
        EXPECT_EQ(Run.Player.Run(ConsolePlayer::Options(), Utf8(Text), Keys),
                  ConsolePlayer::EXIT_FILE_REFUSED);
        // The reason is the platform decoder's, in its own words.
        const std::string Said = Run.Messages.str();
        EXPECT_EQ(Said.rfind("エラー: " + WideToUtf8(PlayerTexts::FILE_REFUSED) + "\n\ntext.wav: ", 0), 0u)
            << Said;
        EXPECT_NE(Said.find("\nlarkspur-cli play: '" + Utf8(Text) + "': "), std::string::npos) << Said;
    }
    ExpectNothingRunning();
}

// --device takes an index, an identifier or a part of a name in any case; a device it cannot find
// is answered with every endpoint, the default included, names uncut.
TEST(ConsolePlayerTest, DevicesAreFoundByIndexIdOrPartOfTheName)
{
    const std::u16string LongName =
        u"Speakers of a very long name that goes on and on (High Definition Audio Device) #2";
    const std::u16string FIRST = u"Speakers (HDA Intel PCH)";
    CVirtualAudioLayer Layer;
    const auto Devices = AddEndpoints(
        Layer, {{FIRST, u"hw:CARD=PCH,DEV=0"}, {u"USB DAC", u"usb-dac"}, {LongName, u"long-one"}});
    Layer.SetDefaultDevice(Devices[0]);
    const auto Tone = ToneFile("tone-device.wav", 0.5);
    const struct
    {
        const char* pDevice;
        int32_t iPlayed; // -1: refused
        const char* pProblem;
    } CASES[] = {
        {"1", 1, ""},
        {"hw:CARD=PCH,DEV=0", 0, ""},
        {"usb dac", 1, ""},
        {"dac", 1, ""},
        {"LONG-ONE", 2, ""},
        {"-1", 0, ""},
        {"3", -1, "no output device has the index 3"},
        {"-2", -1, "no output device has the index -2"},
        {"speakers", -1, "'speakers' fits several output devices (0, 2); give an index or more of the name"},
        {"No Such Card", -1, "no output device matches 'No Such Card'"},
    };
    for (const auto& Case : CASES)
    {
        std::ostringstream Status;
        std::ostringstream Messages;
        RunOnDevice(Layer, Devices, Tone, Case.pDevice, Case.iPlayed, Status, Messages);
        if (Case.iPlayed < 0)
        {
            // Every endpoint, the default first, names padded to the longest (which is not cut).
            const auto Line = [&](const std::string& Index, const std::u16string& Name, const char* pId)
            {
                return std::string(7 - Index.size(), ' ') + Index + "  " + WideToUtf8(Name) +
                       std::string(LongName.size() - Name.size(), ' ') + "  " + pId + "\n";
            };
            EXPECT_EQ(Messages.str(),
                      std::string("larkspur-cli play: ") + Case.pProblem + "; the output devices are:\n" +
                          Line("index", u"name", "identifier") + Line("-1", FIRST, "hw:CARD=PCH,DEV=0") +
                          Line("0", FIRST, "hw:CARD=PCH,DEV=0") + Line("1", u"USB DAC", "usb-dac") +
                          Line("2", LongName, "long-one"));
            EXPECT_EQ(Status.str(), "");
        }
    }
}

// No output device at all: one line saying so and what to do, not the window's message.
TEST(ConsolePlayerTest, NoOutputDeviceIsOneLineWithWhatToDo)
{
    CVirtualAudioLayer Empty;
    std::ostringstream Status;
    std::ostringstream Messages;
    ConsolePlayer Player(&Empty, Status, false, Messages);
    ScriptedKeys Keys({});
    EXPECT_EQ(Player.Run(ConsolePlayer::Options(), Utf8(ToneFile("tone-nowhere.wav", 0.2)), Keys),
              ConsolePlayer::EXIT_DEVICE_FAILED);
    EXPECT_EQ(Messages.str(), "larkspur-cli play: no output device: no sound card or sound server was found; "
                              "LARKSPUR_AUDIO=virtual plays onto a virtual device instead "
                              "(LARKSPUR_AUDIO=virtual:OUT.wav also keeps what it played)\n");
    ExpectNothingRunning();

    // A device that takes nothing: the window's message, then what to try.
    CVirtualAudioLayer Refusing;
    Refusing.AddDevice(std::make_shared<VirtualAudioDevice>());
    std::ostringstream RefusedMessages;
    ConsolePlayer Refused(&Refusing, Status, false, RefusedMessages);
    EXPECT_EQ(Refused.Run(ConsolePlayer::Options(), Utf8(ToneFile("tone-refused.wav", 0.2)), Keys),
              ConsolePlayer::EXIT_DEVICE_FAILED);
    EXPECT_EQ(RefusedMessages.str(),
              "エラー: " + WideToUtf8(PlayerTexts::DEVICE_NOT_INITIALISED) +
                  "\nlarkspur-cli play: the output device took none of the rates in either "
                  "mode; 'larkspur-cli devices --probe' shows what each device takes, "
                  "LARKSPUR_AUDIO=virtual plays onto a virtual device\n");
    ExpectNothingRunning();
}

// Speed keys move the converter's target one 1/120-octave step each (ten with Shift), volume keys
// the gain by 0.5 dB, from the command line's speed and volume, which are set before Play.
TEST(ConsolePlayerTest, SpeedAndVolumeKeysMoveTheTargetsByExactSteps)
{
    const auto Tone = ToneFile("tone-keys.wav", 4.0);
    Session Run;
    ConsolePlayer::Options Chosen;
    Chosen.iSpeedPosition = 130;
    Chosen.iVolumePosition = 100;
    std::vector<int32_t> SpeedPositions;
    std::vector<int32_t> VolumePositions;
    const auto Expect = [&](int32_t iSpeed, int32_t iVolume)
    {
        const double dfDevice = State().dfDeviceSamplingFrequency;
        EXPECT_EQ(ConverterTarget(), dfDevice / PlayerScales::SpeedOfPosition(iSpeed)) << iSpeed;
        EXPECT_EQ(LatestTarget(*State().pVolume), PlayerScales::GainOfVolumePosition(iVolume)) << iVolume;
        SpeedPositions.push_back(iSpeed);
        VolumePositions.push_back(iVolume);
    };
    const auto Then = [&](int32_t iSpeed, int32_t iVolume, ConsoleKey Key)
    {
        return [=, &Expect]
        {
            Expect(iSpeed, iVolume);
            return Key;
        };
    };
    ScriptedKeys Keys({Then(130, 100, ConsoleKey::SpeedUp), Then(131, 100, ConsoleKey::SpeedUp),
                       Then(132, 100, ConsoleKey::SpeedDown), Then(131, 100, ConsoleKey::SpeedUpTen),
                       Then(141, 100, ConsoleKey::SpeedDownTen), Then(131, 100, ConsoleKey::VolumeUp),
                       Then(131, 95, ConsoleKey::VolumeDown), Then(131, 100, ConsoleKey::VolumeDown),
                       Then(131, 105, ConsoleKey::Quit)});
    EXPECT_EQ(Run.Player.Run(Chosen, Utf8(Tone), Keys), ConsolePlayer::EXIT_DONE) << Run.Messages.str();
    EXPECT_EQ(Keys.uiNext, 9u);
    EXPECT_EQ(SpeedPositions.size(), 9u);
    EXPECT_EQ(Run.Messages.str(), "");
    ExpectNothingRunning();
}

// Space pauses: the converter's position holds while paused and playback goes on from exactly
// there. q then stops through the close command with its drain wait and ends with 0.
TEST(ConsolePlayerTest, PauseResumesAtTheSameFrameAndQuitDrains)
{
    const auto Tone = ToneFile("tone-pause.wav", 4.0);
    Session Run;
    uint64_t ullAtPause = 0;
    int iQuietTurns = 0;
    uint64_t ullAfterResume = 0;
    Clock::time_point QuitAt;
    const auto Consumed = [] { return State().pSamplingFrequencyConverter->ullConsumedFrames.load(); };
    ScriptedKeys Keys({[&] { return Consumed() > 20000 ? ConsoleKey::PauseOrResume : ConsoleKey::None; },
                       [&]
                       {
                           // Paused once the count stood still for 30 turns (the thread stops at
                           // its next block).
                           const uint64_t ullNow = Consumed();
                           iQuietTurns = ullNow == ullAtPause ? iQuietTurns + 1 : 0;
                           ullAtPause = ullNow;
                           return iQuietTurns >= 30 ? ConsoleKey::PauseOrResume : ConsoleKey::None;
                       },
                       [&]
                       {
                           ullAfterResume = Consumed();
                           QuitAt = Clock::now();
                           return ullAfterResume > ullAtPause + 4410 ? ConsoleKey::Quit : ConsoleKey::None;
                       }});
    // The status the player would draw shows the pause, and the device the start opened.
    uint32_t uiPausedTurns = 0;
    Run.Player.SetObserver(
        [](void* pContext, ConsoleDialogHost& Host, const PlaybackSession& Session)
        {
            PlaybackEngine::StartReport Report;
            Report.bDeviceOpened = 1;
            Report.dfDeviceRate = 44100.0;
            Report.uiDeviceBits = 16;
            Report.bShared = 1;
            const StatusLine Line = StatusLine::Of(Host, Session, Report);
            *static_cast<uint32_t*>(pContext) +=
                Line.bPaused && Line.DeviceRateText == u"44100" && Line.BitText == u"16" &&
                        Line.ModeText == u"共有モード" && Line.SpeedText == u"x1.0000"
                    ? 1
                    : 0;
        },
        &uiPausedTurns);
    const int iStatus = Run.Player.Run(ConsolePlayer::Options(), Utf8(Tone), Keys);
    const auto Ended = Clock::now();
    EXPECT_EQ(iStatus, ConsolePlayer::EXIT_DONE) << Run.Messages.str();
    EXPECT_EQ(Keys.uiNext, 3u);
    EXPECT_GT(ullAtPause, 20000u);
    EXPECT_GT(ullAfterResume, ullAtPause);
    EXPECT_GT(uiPausedTurns, 30u);
    // The drain wait: at least the 100 ms margin between the quit and the end.
    EXPECT_GE(Ended - QuitAt, std::chrono::milliseconds(PlayerScales::DRAIN_MARGIN_MS));
    ExpectNothingRunning();
}

// r starts again from the beginning; without keys the player then plays to the end of the file,
// where the progress timer stops it, and ends with 0. The last line shows the whole length.
TEST(ConsolePlayerTest, RestartThenPlayToTheEnd)
{
    const auto Tone = ToneFile("tone-end.wav", 1.0);
    Session Run;
    uint64_t ullAfterRestart = UINT64_MAX;
    const auto Consumed = [] { return State().pSamplingFrequencyConverter->ullConsumedFrames.load(); };
    ScriptedKeys Keys({[&] { return Consumed() > 22050 ? ConsoleKey::Restart : ConsoleKey::None; },
                       [&]
                       {
                           ullAfterRestart = Consumed();
                           return ConsoleKey::SpeedUp; // anything, to note the count once
                       }});
    EXPECT_EQ(Run.Player.Run(ConsolePlayer::Options(), Utf8(Tone), Keys), ConsolePlayer::EXIT_DONE)
        << Run.Messages.str();
    EXPECT_LT(ullAfterRestart, 22050u);
    const std::string Lines = Run.Status.str();
    EXPECT_NE(Lines.find("00:01.0 / 00:01.0 [####################] x1.0058 -20.0 dB 停止\n"),
              std::string::npos)
        << Lines;
    EXPECT_NE(Lines.find("96000 Hz 24 bit 排他モード 再生\n"), std::string::npos) << Lines;
    ExpectNothingRunning();
}

// A stop request (Ctrl-C) closes the dialog the same way and ends with 130.
TEST(ConsolePlayerTest, StopRequestEndsWithInterrupted)
{
    const auto Tone = ToneFile("tone-interrupt.wav", 4.0);
    Session Run;
    ScriptedKeys* pKeys = nullptr;
    ScriptedKeys Keys({[&]
                       {
                           pKeys->bStop =
                               State().pSamplingFrequencyConverter->ullConsumedFrames.load() > 10000;
                           return ConsoleKey::None;
                       }});
    pKeys = &Keys;
    EXPECT_EQ(Run.Player.Run(ConsolePlayer::Options(), Utf8(Tone), Keys), ConsolePlayer::EXIT_INTERRUPTED);
    ExpectNothingRunning();
}

// The window's device list leaves out an endpoint whose name cannot be read, the terminal's list
// keeps it: --device finds the endpoint it names in the window's list by its identity, so an index,
// an identifier or a name chooses that endpoint and no other, and the nameless one is refused with
// the reason.
TEST(ConsolePlayerTest, DeviceIsChosenByItsIdentityPastAnEndpointWithoutAName)
{
    CVirtualAudioLayer Layer;
    const auto Devices =
        AddEndpoints(Layer, {{u"", u"nameless-one"}, {u"USB DAC", u"usb-dac"}, {u"Speakers", u"spk"}});
    Devices[0]->FailAfter(VirtualOperation::GetFriendlyName, 0);
    Layer.SetDefaultDevice(Devices[2]);
    const auto Tone = ToneFile("tone-identity.wav", 0.3);
    const struct
    {
        const char* pDevice;
        int32_t iPlayed; // -1: refused
    } CASES[] = {{"1", 1}, {"usb-dac", 1}, {"dac", 1}, {"2", 2}, {"SPK", 2}, {"-1", 2}, {"0", -1}};
    for (const auto& Case : CASES)
    {
        std::ostringstream Status;
        std::ostringstream Messages;
        RunOnDevice(Layer, Devices, Tone, Case.pDevice, Case.iPlayed, Status, Messages);
        if (Case.iPlayed < 0)
        {
            EXPECT_EQ(Messages.str(),
                      "larkspur-cli play: the output device 0 cannot be chosen: its name cannot "
                      "be read, and the player lists only the devices it can name\n");
        }
    }
}

namespace
{
// The frames, rate and bits of a WAV file; all 0 when it cannot be read.
struct Format
{
    uint64_t ullFrames = 0;
    uint32_t uiRate = 0;
    uint32_t uiBits = 0;
};
Format FileFormat(const std::filesystem::path& Path)
{
    WaveFileReader Reader;
    if (Reader.Open(TestFiles::Wide(Path).c_str()) < 0)
    {
        return {};
    }
    return {Reader.ullFrameCount, Reader.uiSamplingFrequency, Reader.uiBitCount};
}
} // namespace

// LARKSPUR_AUDIO=virtual:OUT.wav keeps everything played while the device lives: a restart and a
// later playback in the same format go on in OUT.wav, a playback in another format goes to OUT-2.wav
// beside it, and one in the first format again goes on in OUT.wav. The files take their places,
// complete, when the device goes; until then they wait beside them.
TEST(ConsolePlayerTest, VirtualRecordingKeepsEveryPlaybackOfTheRun)
{
    const auto Tone = ToneFile("tone-recording.wav", 4.0);
    const auto First = TestFiles::PathFor("run-recording.wav");
    const auto Second = TestFiles::PathFor("run-recording-2.wav");
    std::filesystem::remove(First);
    std::filesystem::remove(Second);
    std::vector<std::u16string> Recorded;
    {
        VirtualRecordingLayer Layer(TestFiles::Wide(First));
        VirtualOutputDevice& Device = Layer.GetDevice();
        // Each stream of the device plays at least dfSeconds (at its rate) before the key.
        const auto After = [&Device](double dfSeconds, uint32_t uiRate, ConsoleKey Key)
        {
            return [&Device, dfSeconds, uiRate, Key] {
                return Device.WaitForPlayedFrames(static_cast<uint64_t>(dfSeconds * uiRate), 0)
                           ? Key
                           : ConsoleKey::None;
            };
        };
        const auto Play =
            [&](const std::vector<std::string>& Arguments, std::vector<ScriptedKeys::Step> Steps)
        {
            std::ostringstream Status;
            std::ostringstream Messages;
            ConsolePlayer Player(&Layer, Status, false, Messages);
            ConsolePlayer::Options Chosen;
            std::string Problem;
            EXPECT_TRUE(ConsolePlayer::ParseOptions(Arguments, Chosen, Problem)) << Problem;
            const size_t ullSteps = Steps.size();
            ScriptedKeys Keys(std::move(Steps));
            EXPECT_EQ(Player.Run(Chosen, Utf8(Tone), Keys), ConsolePlayer::EXIT_DONE) << Messages.str();
            EXPECT_EQ(Keys.uiNext, ullSteps);
        };
        // 96 kHz: 0.5 s, r, 0.5 s more; then 48 kHz for 0.3 s; then 96 kHz again for 0.4 s.
        Play({}, {After(0.5, 96000, ConsoleKey::Restart), After(0.5, 96000, ConsoleKey::Quit)});
        Play({"--max-rate", "48000"}, {After(0.3, 48000, ConsoleKey::Quit)});
        Play({}, {After(0.4, 96000, ConsoleKey::Quit)});
        Recorded = Device.GetRecordingPaths();
        EXPECT_FALSE(std::filesystem::exists(First));
        EXPECT_GT(TestFiles::PendingBytesBeside(First), 0u);
    }
    EXPECT_EQ(Recorded, (std::vector<std::u16string>{TestFiles::Wide(First), TestFiles::Wide(Second)}));
    EXPECT_EQ(TestFiles::PendingBytesBeside(First), 0u);
    EXPECT_EQ(TestFiles::PendingBytesBeside(Second), 0u);
    const Format Whole = FileFormat(First);
    EXPECT_EQ(Whole.uiRate, 96000u);
    EXPECT_EQ(Whole.uiBits, 32u);
    // All three streams: no one of them alone lasted this long.
    EXPECT_GE(Whole.ullFrames, 14u * 96000 / 10) << Whole.ullFrames;
    const Format Other = FileFormat(Second);
    EXPECT_EQ(Other.uiRate, 48000u);
    EXPECT_GE(Other.ullFrames, 3u * 48000 / 10) << Other.ullFrames;
    EXPECT_LT(Other.ullFrames, 3u * 48000) << Other.ullFrames;

    // The second file's name: the number before the extension.
    EXPECT_EQ(VirtualOutputDevice::NumberedPath(u"cap.wav", 1), u"cap.wav");
    EXPECT_EQ(VirtualOutputDevice::NumberedPath(u"cap.wav", 2), u"cap-2.wav");
    EXPECT_EQ(VirtualOutputDevice::NumberedPath(u"out/take.1.wav", 3), u"out/take.1-3.wav");
    EXPECT_EQ(VirtualOutputDevice::NumberedPath(u"dir.d/cap", 2), u"dir.d/cap-2");
    EXPECT_EQ(VirtualOutputDevice::NumberedPath(u"dir/.wav", 2), u"dir/.wav-2");
}
