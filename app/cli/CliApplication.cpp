#include "LarkspurVersion.h"
#include "app/cli/CliCommands.h"

namespace
{
const char* const USAGE_TEXT =
    "Larkspur " LARKSPUR_VERSION_TEXT " - varispeed player for PCM WAV files\n"
    "\n"
    "Usage:\n"
    "  larkspur-cli --help            show this text\n"
    "  larkspur-cli --version         show the version\n"
    "  larkspur-cli info FILE         show a WAV file's format and length\n"
    "  larkspur-cli render IN.wav OUT.wav [--rate HZ] [--speed X | --position P] [--shift BINS]\n"
    "                     [--bits N [--container 16|24|32]] [--volume DB]\n"
    "                                 convert a WAV file offline at a playback speed\n"
    "  larkspur-cli play [FILE.wav] [options]\n"
    "                                 play on the terminal (the demo piece without FILE);\n"
    "                                 larkspur-cli play --help lists options and keys\n"
    "  larkspur-cli devices [--probe] list the output devices; with --probe, which rates and bits\n"
    "                                 each takes in exclusive and shared mode\n";
} // namespace

int RunCli(const std::vector<std::string>& Arguments, std::ostream& Out, std::ostream& Error)
{
    if (Arguments.empty())
    {
        Error << USAGE_TEXT;
        return 1;
    }
    const std::string& Command = Arguments[0];
    const std::vector<std::string> Rest(Arguments.begin() + 1, Arguments.end());
    if (Command == "--help" || Command == "-h" || Command == "help")
    {
        Out << USAGE_TEXT;
        return 0;
    }
    if (Command == "--version")
    {
        Out << "larkspur-cli " LARKSPUR_VERSION_TEXT "\n";
        return 0;
    }
    if (Command == "info")
    {
        return RunInfoCommand(Rest, Out, Error);
    }
    if (Command == "play")
    {
        return RunPlayCommand(Rest, Out, Error);
    }
    if (Command == "render")
    {
        return RunRenderCommand(Rest, Out, Error);
    }
    if (Command == "devices")
    {
        return RunDevicesCommand(Rest, Out, Error);
    }
    Error << "larkspur-cli: unknown command '" << Command << "'\n\n" << USAGE_TEXT;
    return 1;
}
