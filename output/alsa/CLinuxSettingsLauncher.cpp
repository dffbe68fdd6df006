#include "output/alsa/CLinuxSettingsLauncher.h"

#include "runtime/TextConversion.h"

#include <cerrno>
#include <cstdlib>
#include <sys/wait.h>
#include <unistd.h>

namespace
{
// pavucontrol's tabs: playback, recording, output devices, input devices, configuration.
constexpr char PAVUCONTROL_OUTPUT_TAB[] = "--tab=3";
// Terminal emulators tried after $TERMINAL, the desktop's choice first.
constexpr const char* TERMINALS[] = {"x-terminal-emulator", "gnome-terminal", "konsole", "xfce4-terminal",
                                     "mate-terminal",       "lxterminal",     "xterm"};
} // namespace

std::string CLinuxSettingsLauncher::FindOnPath(const std::string& Program)
{
    if (Program.empty())
    {
        return {};
    }
    if (Program.find('/') != std::string::npos)
    {
        return access(Program.c_str(), X_OK) == 0 ? Program : std::string();
    }
    const char* pPath = std::getenv("PATH");
    const std::string Path = pPath != nullptr ? pPath : "";
    size_t ullStart = 0;
    while (ullStart <= Path.size())
    {
        size_t ullEnd = Path.find(':', ullStart);
        if (ullEnd == std::string::npos)
        {
            ullEnd = Path.size();
        }
        const std::string Folder = Path.substr(ullStart, ullEnd - ullStart);
        if (!Folder.empty())
        {
            const std::string Candidate = Folder + "/" + Program;
            if (access(Candidate.c_str(), X_OK) == 0)
            {
                return Candidate;
            }
        }
        ullStart = ullEnd + 1;
    }
    return {};
}

std::string CLinuxSettingsLauncher::CardOf(const std::string& EndpointId)
{
    const size_t ullCard = EndpointId.find("CARD=");
    if (ullCard != std::string::npos)
    {
        const size_t ullStart = ullCard + 5;
        return EndpointId.substr(ullStart, EndpointId.find(',', ullStart) - ullStart);
    }
    // hw:0 or hw:0,3
    if (EndpointId.rfind("hw:", 0) == 0)
    {
        return EndpointId.substr(3, EndpointId.find(',', 3) - 3);
    }
    return {};
}

std::vector<std::string> CLinuxSettingsLauncher::ChooseCommand(const std::string& EndpointId)
{
    std::string Program = FindOnPath("pavucontrol");
    if (!Program.empty())
    {
        return {Program, PAVUCONTROL_OUTPUT_TAB};
    }
    Program = FindOnPath("gnome-control-center");
    if (!Program.empty())
    {
        return {Program, "sound"};
    }
    const std::string Mixer = FindOnPath("alsamixer");
    if (Mixer.empty())
    {
        return {};
    }
    std::vector<std::string> MixerCommand = {Mixer};
    const std::string Card = CardOf(EndpointId);
    if (!Card.empty())
    {
        MixerCommand.insert(MixerCommand.end(), {"-c", Card});
    }
    std::string Terminal;
    std::string TerminalName;
    const char* pChosen = std::getenv("TERMINAL");
    if (pChosen != nullptr && *pChosen != '\0')
    {
        TerminalName = pChosen;
        Terminal = FindOnPath(TerminalName);
    }
    for (const char* pName : TERMINALS)
    {
        if (!Terminal.empty())
        {
            break;
        }
        TerminalName = pName;
        Terminal = FindOnPath(TerminalName);
    }
    if (Terminal.empty())
    {
        return {};
    }
    // GNOME's terminal takes the command after "--"; the others after "-e".
    const bool bDashDash = TerminalName.ends_with("gnome-terminal");
    std::vector<std::string> Command = {Terminal, bDashDash ? "--" : "-e"};
    Command.insert(Command.end(), MixerCommand.begin(), MixerCommand.end());
    return Command;
}

int32_t CLinuxSettingsLauncher::Launch(const std::u16string& EndpointId)
{
    std::vector<std::string> Command = ChooseCommand(WideToUtf8(EndpointId));
    if (Command.empty())
    {
        return -1;
    }
    // Everything the child needs is made before the fork: after it only async-signal-safe calls.
    std::vector<char*> Arguments;
    for (std::string& Word : Command)
    {
        Arguments.push_back(Word.data());
    }
    Arguments.push_back(nullptr);

    // Two forks: the middle child ends at once and is reaped here, so the program belongs to no one
    // in this process and is never waited for.
    const pid_t Child = fork();
    if (Child < 0)
    {
        return -1;
    }
    if (Child == 0)
    {
        setsid();
        const pid_t Grandchild = fork();
        if (Grandchild == 0)
        {
            execv(Arguments[0], Arguments.data());
            _exit(127);
        }
        _exit(Grandchild < 0 ? 1 : 0);
    }
    int iStatus = 0;
    while (waitpid(Child, &iStatus, 0) < 0 && errno == EINTR)
    {
    }
    return WIFEXITED(iStatus) && WEXITSTATUS(iStatus) == 0 ? 1 : -1;
}
