#include "app/cli/CliAudioLayer.h"
#include "app/cli/CliCommands.h"
#include "app/cli/CliFileMessages.h"
#include "app/cli/CliSettingValues.h"
#include "app/cli/ConsolePlayer.h"
#include "app/cli/ConsoleTerminal.h"
#include "app/cli/ExecutableLocation.h"
#include "app/dialog/PlayerTexts.h"
#include "app/player/AudioLayerSelection.h"
#include "output/virtual/VirtualRecordingLayer.h"
#include "runtime/CFileReplacement.h"
#include "runtime/TextConversion.h"

#include <filesystem>
#include <fstream>

namespace
{
const char* const SYNOPSIS =
    "Usage: larkspur-cli play [FILE] [--device D] [--max-rate HZ] [--bits N] [--no-enhancer]\n"
    "                         [--speed X | --position P] [--volume DB] [--shift BINS] [--verbose]\n"
    "                         [--from T] [--loop A-B] [--train STEPS/EVERY:UNTIL]\n"
    "                         [--run-up S[:every]] [--fresh] [--keep-pitch]\n";

std::string HelpText()
{
    // Appended piece by piece: GCC 12 misreads a chain of operator+ on this long text as out of bounds.
    std::string text(SYNOPSIS);
    text += "Plays FILE (WAV, FLAC, MP3, AAC/M4A, Ogg, Opus, AIFF, ...) in the terminal with the player\n"
            "window's logic: the same device negotiation, the same messages (as the window shows them,\n"
            "caption first, on stderr).\n"
            "Options (--name VALUE or --name=VALUE):\n"
            "  FILE           the file to play (default: the demo piece)\n"
            "  --device D     output device: an index, an identifier or (part of) a name, any case, as\n"
            "                 'larkspur-cli devices' lists them; -1 the default device (default)\n"
            "  --max-rate HZ  the highest sampling frequency the device may run at (default 96000), one of\n"
            "                 ";
    text += CliSettingValues::RateList(0, 10);
    text += "\n                 ";
    text += CliSettingValues::RateList(10, 10);
    text += "\n"
            "  --bits N       effective output bits, 1 ... 32 (default 24)\n"
            "  --no-enhancer  turn the resolution enhancer off\n"
            "  --speed X      playback speed 0.5 ... 2.5198, to the nearest 1/120-octave step (default 1)\n"
            "  --position P   speed slider position 0 ... 280 (default 120, x1)\n"
            "  --volume DB    volume 0 ... -80 dB in steps of 0.1 dB (default -20)\n"
            "  --shift BINS   spectrum shift in bins, -127 ... 127 (default 0)\n"
            "  --from T       start at T, seconds (72.5), minutes and seconds (1:12.5) or hours, minutes\n"
            "                 and seconds (1:12:30.5)\n"
            "  --loop A-B     play the passage from A to B again and again (at least 0.5 s; it starts\n"
            "                 at A unless --from is given), as 12-19.5, 0:12-0:19.5 or 1:00:12-1:00:19.5\n"
            "  --train STEPS/EVERY:UNTIL  speed trainer: STEPS speed steps faster after every EVERY\n"
            "                 repetitions of the loop, until the speed UNTIL (as 2/3:1.0)\n"
            "  --run-up S     start each pass into the loop S seconds (0 ... 10) before its start:\n"
            "                 the first pass only, or every repetition with S:every (as 2:every)\n"
            "  --fresh        neither use nor keep what was remembered for the file (speed, volume,\n"
            "                 loop, run-up, trainer, keep pitch, markers, place), otherwise kept in the state\n"
            "                 folder ($XDG_STATE_HOME/larkspur, %LOCALAPPDATA%\\Larkspur on Windows)\n"
            "  --keep-pitch   keep the pitch: the speed changes the tempo only (without it the pitch\n"
            "                 follows the speed, as on tape)\n"
            "  --verbose      let the sound system print its own diagnostics\n"
            "  -h, --help     show this text\n"
            "Keys while playing (on a terminal):\n"
            "  Left/Right     speed one step (1/120 octave) down/up\n"
            "  Shift+Left/Right or [ ]  ten steps\n"
            "  Up/Down        volume 0.5 dB up/down\n"
            "  Space          pause / resume\n"
            "  r              restart from the beginning (the loop's start while a loop is set)\n"
            "  , .            5 s back / on (also while paused; never past the end)\n"
            "  < >            30 s back / on\n"
            "  0 ... 9        jump to 0 %, 10 % ... 90 % of the file\n"
            "  a b l          loop start here / loop end here and start looping / clear the loop\n"
            "  t              speed trainer on / off (the --train program, or 2/3:1.0)\n"
            "  z x / s d      loop start 10 ms / 100 ms earlier, later (from the next repetition)\n"
            "  c v / f g      loop end 10 ms / 100 ms earlier, later\n"
            "  u              run-up before the loop: off, 1, 2, 3, 5 s\n"
            "  i              run-up before every repetition / before the first only\n"
            "  m              a marker where the sound is (up to 100; the status line shows M3/7)\n"
            "  n p            to the next / previous marker\n"
            "  e              remove the marker nearest the place heard\n"
            "  k              keep pitch on / off (the speed changes only the tempo; crossfaded)\n"
            "  ? or h         show the keys (playback goes on; any key returns)\n"
            "  q or Esc       quit (the sound still queued plays out); Ctrl-C stops too\n"
            "  Ctrl-Z         suspend (the terminal is as it was until fg)\n"
            "Output: LARKSPUR_AUDIO=virtual plays on a virtual device, LARKSPUR_AUDIO=virtual:OUT.wav\n"
            "also keeps all it played in OUT.wav (restarts included; a start in another rate or bits goes\n"
            "on in OUT-2.wav beside it), written when the player ends.\n"
            "Language: the desktop's (LANGUAGE, LC_ALL, LC_MESSAGES, LANG): Japanese for ja and where no\n"
            "language is set (C, POSIX), English for any other; LARKSPUR_LANG=ja or en chooses.\n"
            "Messages (printed as the window shows them, with their caption) and status words, in Japanese\n"
            "and English:\n";
    for (const PlayerText* pText :
         {&PlayerTexts::FILE_REFUSED, &PlayerTexts::DEVICE_NOT_INITIALISED, &PlayerTexts::CONVERTER_FAILED,
          &PlayerTexts::INPUT_BUFFER_FAILED, &PlayerTexts::OUTPUT_BUFFER_FAILED,
          &PlayerTexts::THREAD_START_FAILED, &PlayerTexts::DEVICE_NOT_ACTIVATED,
          &PlayerTexts::DEVICE_START_FAILED, &PlayerTexts::SOUND_BUFFER_FAILED,
          &PlayerTexts::CAPACITY_LIMIT_FAILED, &PlayerTexts::BUFFER_SIZE_FAILED, &PlayerTexts::STATE_PLAYING,
          &PlayerTexts::STATE_PAUSED, &PlayerTexts::STATE_STOPPED, &PlayerTexts::MODE_EXCLUSIVE,
          &PlayerTexts::MODE_SHARED})
    {
        text += "  ";
        text += WideToUtf8(pText->pJapanese);
        text += "\n      ";
        text += WideToUtf8(pText->pEnglish);
        text += "\n";
    }
    text += "Exit status: 0 played or quit; 1 wrong arguments; 2 file missing or not a WAV file the player\n"
            "reads; 3 no such device, the recording cannot be written, or playback could not start;\n"
            "130 stopped by Ctrl-C.\n";
    return text;
}

// The demo piece beside the program or in the installation's data folder.
constexpr const char* DEMO_FILE_NAME = "larkspur-demo.wav";
} // namespace

std::string DemoFilePath()
{
    return PathOfProgramData(DEMO_FILE_NAME);
}

int RunPlayCommand(const std::vector<std::string>& Arguments, std::ostream& Out, std::ostream& Error)
{
    ConsolePlayer::Options Chosen;
    std::string Problem;
    if (!ConsolePlayer::ParseOptions(Arguments, Chosen, Problem))
    {
        Error << "larkspur-cli play: " << Problem << "\n"
              << SYNOPSIS << "'larkspur-cli play --help' describes the options and keys.\n";
        return ConsolePlayer::EXIT_USAGE;
    }
    // The player run by a user keeps each file's practice; --fresh leaves it alone.
    Chosen.bRemember = true;
    if (Chosen.bHelp)
    {
        Out << HelpText();
        return ConsolePlayer::EXIT_DONE;
    }
    std::string Path = Chosen.File;
    if (Path.empty())
    {
        Path = DemoFilePath();
        if (!std::ifstream(std::filesystem::u8path(Path), std::ios::binary))
        {
            Error << "larkspur-cli play: the demo piece " << Path << " is missing; give a FILE.wav\n";
            return ConsolePlayer::EXIT_FILE_REFUSED;
        }
        Error << "larkspur-cli play: the demo piece " << Path << "\n";
    }
    const std::string FileProblem = CliFileMessages::InputProblem(Path);
    if (!FileProblem.empty())
    {
        Error << "larkspur-cli play: " << FileProblem << '\n';
        return ConsolePlayer::EXIT_FILE_REFUSED;
    }

    std::unique_ptr<SAudioClientLayer> pLayer;
    std::string Description;
    const int32_t iLayer = OpenCliAudioLayer(Chosen.bVerbose, pLayer, Description);
    if (iLayer < 0)
    {
        Error << "larkspur-cli play: " << Description
              << "; LARKSPUR_AUDIO=virtual:OUT.wav plays into a WAV file instead\n";
        return ConsolePlayer::EXIT_DEVICE_FAILED;
    }
    if (iLayer == 2)
    {
        // A recording that cannot be written is refused before anything plays.
        const auto* pRecording = dynamic_cast<const VirtualRecordingLayer*>(pLayer.get());
        if (pRecording != nullptr && !pRecording->GetRecordingPath().empty())
        {
            CFileReplacement Probe;
            if (Probe.Begin(pRecording->GetRecordingPath().c_str()) != 1)
            {
                Error << "larkspur-cli play: LARKSPUR_AUDIO asks to record, but "
                      << CliFileMessages::OutputCreateProblem(WideToUtf8(pRecording->GetRecordingPath()))
                      << "; nothing was played\n";
                return ConsolePlayer::EXIT_DEVICE_FAILED;
            }
        }
        Error << "larkspur-cli play: on the " << Description << "\n";
    }
    int iStatus = ConsolePlayer::EXIT_DONE;
    {
        ConsoleTerminal Terminal;
        Terminal.Open();
        ConsolePlayer Player(pLayer.get(), Out, ConsoleTerminal::IsOutputTerminal(), Error);
        Player.SetColumnsSource([&Terminal] { return Terminal.GetColumns(); });
        iStatus = Player.Run(Chosen, Path, Terminal);
    }
    // The virtual device writes its recordings when it goes: a file for each format it played in.
    std::vector<std::u16string> Recorded;
    if (auto* pRecording = dynamic_cast<VirtualRecordingLayer*>(pLayer.get()); pRecording != nullptr)
    {
        Recorded = pRecording->GetDevice().GetRecordingPaths();
    }
    pLayer.reset();
    if (Recorded.size() > 1)
    {
        Error << "larkspur-cli play: playback ran in " << Recorded.size()
              << " formats (rate or bits), each recorded in a file of its own:";
        for (const std::u16string& Path : Recorded)
        {
            Error << ' ' << WideToUtf8(Path);
        }
        Error << '\n';
    }
    return iStatus;
}
