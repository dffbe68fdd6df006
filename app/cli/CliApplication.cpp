#include "LarkspurVersion.h"
#include "app/cli/CliCommands.h"

namespace
{
const char* const USAGE_TEXT =
    "Larkspur " LARKSPUR_VERSION_TEXT " - varispeed player for WAV, FLAC, MP3, AAC and other sound files\n"
    "\n"
    "Usage:\n"
    "  larkspur-cli info FILE                 show a sound file's format and length\n"
    "  larkspur-cli render IN OUT.wav [options]\n"
    "                                         convert a file offline as the player plays it\n"
    "  larkspur-cli play [FILE] [options]     play in the terminal (the demo piece without FILE)\n"
    "  larkspur-cli devices [--probe]         list the output devices; with --probe, which rates and\n"
    "                                         bits each takes in exclusive and shared mode\n"
    "  larkspur-cli --version                 show the version\n"
    "  larkspur-cli COMMAND --help            a command's options, keys and exit status\n"
    "\n"
    "Options take their value as --name VALUE or --name=VALUE.\n"
    "Environment: LARKSPUR_AUDIO=virtual plays onto a virtual device instead of the sound system\n"
    "(for machines without a sound card), LARKSPUR_AUDIO=virtual:OUT.wav also keeps what was played\n"
    "in OUT.wav.\n";
} // namespace

int RunCli(const std::vector<std::string>& Arguments, std::ostream& Out, std::ostream& Error)
{
    if (Arguments.empty())
    {
        Error << "larkspur-cli: give a command\n\n" << USAGE_TEXT;
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
