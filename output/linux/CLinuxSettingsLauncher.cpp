#include "output/linux/CLinuxSettingsLauncher.h"

#include "output/CreatePlatformSettingsLauncher.h"
#include "runtime/TextConversion.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{
// pavucontrol's tabs: playback, recording, output devices, input devices, configuration.
constexpr char PAVUCONTROL_OUTPUT_TAB[] = "--tab=3";
// Terminal emulators tried after $TERMINAL, the desktop's choice first.
constexpr const char* TERMINALS[] = {"x-terminal-emulator", "gnome-terminal", "konsole", "xfce4-terminal",
                                     "mate-terminal",       "lxterminal",     "xterm"};

// How a terminal emulator takes the command it is to run.
enum class CommandForm
{
    WordsAfterDashE,    // -e program arguments...: the rest of the line
    WordsAfterDashDash, // -- program arguments...
    StringAfterDashE,   // -e "program arguments": one string, split as a shell would
    OneWord,            // -e starter: a single word, which both -e forms read alike
};

struct KnownTerminal
{
    const char* pName;
    CommandForm Form;
};

// Debian's x-terminal-emulator must take the rest of the line after -e; the *.wrapper programs
// the terminals install for it do that for their own terminal.
constexpr KnownTerminal KNOWN_TERMINALS[] = {
    {"x-terminal-emulator", CommandForm::WordsAfterDashE},
    {"xterm", CommandForm::WordsAfterDashE},
    {"uxterm", CommandForm::WordsAfterDashE},
    {"konsole", CommandForm::WordsAfterDashE},
    {"urxvt", CommandForm::WordsAfterDashE},
    {"rxvt", CommandForm::WordsAfterDashE},
    {"alacritty", CommandForm::WordsAfterDashE},
    {"gnome-terminal", CommandForm::WordsAfterDashDash},
    {"xfce4-terminal", CommandForm::StringAfterDashE},
    {"mate-terminal", CommandForm::StringAfterDashE},
    {"lxterminal", CommandForm::StringAfterDashE},
    {"terminator", CommandForm::StringAfterDashE},
    {"tilix", CommandForm::StringAfterDashE},
    {"sakura", CommandForm::StringAfterDashE},
};

std::string BaseName(const std::string& Path)
{
    const size_t ullSlash = Path.rfind('/');
    return ullSlash == std::string::npos ? Path : Path.substr(ullSlash + 1);
}

// By the program the path finally leads to (x-terminal-emulator is a chain of links to the real
// one), else by the name it was found under, else unknown.
CommandForm FormOf(const std::string& TerminalPath)
{
    std::string Target = TerminalPath;
    if (char* pResolved = realpath(TerminalPath.c_str(), nullptr))
    {
        Target = pResolved;
        std::free(pResolved);
    }
    const std::string TargetName = BaseName(Target);
    if (TargetName.ends_with(".wrapper"))
    {
        return CommandForm::WordsAfterDashE;
    }
    for (const std::string& Name : {TargetName, BaseName(TerminalPath)})
    {
        for (const KnownTerminal& Known : KNOWN_TERMINALS)
        {
            if (Name == Known.pName)
            {
                return Known.Form;
            }
        }
    }
    return CommandForm::OneWord;
}

bool IsPlainWord(const std::string& Word)
{
    return !Word.empty() && std::all_of(Word.begin(), Word.end(),
                                        [](char c)
                                        {
                                            return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                                                   (c >= '0' && c <= '9') ||
                                                   std::strchr("_@%+=:,./-", c) != nullptr;
                                        });
}

// The word as a shell reads it back: unchanged when plain, else in single quotes.
std::string ShellQuoted(const std::string& Word)
{
    if (IsPlainWord(Word))
    {
        return Word;
    }
    std::string Quoted = "'";
    for (const char c : Word)
    {
        if (c == '\'')
        {
            Quoted += "'\\''";
        }
        else
        {
            Quoted += c;
        }
    }
    return Quoted + "'";
}

std::string ShellLine(const std::vector<std::string>& Words)
{
    std::string Line;
    for (const std::string& Word : Words)
    {
        if (!Line.empty())
        {
            Line += ' ';
        }
        Line += ShellQuoted(Word);
    }
    return Line;
}

// A script that removes itself and runs the command, in the user's runtime folder (else the
// temporary one); its path is a plain word. Empty when it cannot be written.
std::string WriteStarter(const std::vector<std::string>& Command)
{
    std::string Folder;
    for (const char* pVariable : {"XDG_RUNTIME_DIR", "TMPDIR"})
    {
        const char* pValue = std::getenv(pVariable);
        if (Folder.empty() && pValue != nullptr && pValue[0] == '/' && IsPlainWord(pValue))
        {
            Folder = pValue;
        }
    }
    if (Folder.empty())
    {
        Folder = "/tmp";
    }
    std::string Path = Folder + "/larkspur-mixer-XXXXXX";
    const int iFile = mkostemp(Path.data(), O_CLOEXEC);
    if (iFile < 0)
    {
        return {};
    }
    std::string Remover = CLinuxSettingsLauncher::FindOnPath("rm");
    if (Remover.empty())
    {
        Remover = "/bin/rm";
    }
    const std::string Script =
        "#!/bin/sh\n" + ShellQuoted(Remover) + " -f -- \"$0\"\nexec " + ShellLine(Command) + "\n";
    const bool bWritten = fchmod(iFile, S_IRWXU) == 0 &&
                          write(iFile, Script.data(), Script.size()) == static_cast<ssize_t>(Script.size());
    close(iFile);
    if (!bWritten)
    {
        unlink(Path.c_str());
        return {};
    }
    return Path;
}
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

std::vector<std::string> CLinuxSettingsLauncher::ChooseCommand(const std::string& EndpointId,
                                                               std::string& Starter)
{
    Starter.clear();
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
    const char* pChosen = std::getenv("TERMINAL");
    if (pChosen != nullptr && *pChosen != '\0')
    {
        Terminal = FindOnPath(pChosen);
    }
    for (const char* pName : TERMINALS)
    {
        if (!Terminal.empty())
        {
            break;
        }
        Terminal = FindOnPath(pName);
    }
    if (Terminal.empty())
    {
        return {};
    }
    std::vector<std::string> Command = {Terminal};
    switch (FormOf(Terminal))
    {
    case CommandForm::WordsAfterDashDash:
        Command.push_back("--");
        Command.insert(Command.end(), MixerCommand.begin(), MixerCommand.end());
        break;
    case CommandForm::StringAfterDashE:
        Command.insert(Command.end(), {"-e", ShellLine(MixerCommand)});
        break;
    case CommandForm::OneWord:
        Starter = WriteStarter(MixerCommand);
        if (!Starter.empty())
        {
            Command.insert(Command.end(), {"-e", Starter});
            break;
        }
        // No script: the most common form.
        [[fallthrough]];
    case CommandForm::WordsAfterDashE:
        Command.push_back("-e");
        Command.insert(Command.end(), MixerCommand.begin(), MixerCommand.end());
        break;
    }
    return Command;
}

int32_t CLinuxSettingsLauncher::Launch(const std::u16string& EndpointId)
{
    std::string Starter;
    std::vector<std::string> Command = ChooseCommand(WideToUtf8(EndpointId), Starter);
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
    // A starter nobody will run is removed.
    const char* pStarter = Starter.empty() ? nullptr : Starter.c_str();
    const pid_t Child = fork();
    if (Child < 0)
    {
        if (pStarter != nullptr)
        {
            unlink(pStarter);
        }
        return -1;
    }
    if (Child == 0)
    {
        setsid();
        const pid_t Grandchild = fork();
        if (Grandchild == 0)
        {
            execv(Arguments[0], Arguments.data());
            if (pStarter != nullptr)
            {
                unlink(pStarter);
            }
            _exit(127);
        }
        if (Grandchild < 0 && pStarter != nullptr)
        {
            unlink(pStarter);
        }
        _exit(Grandchild < 0 ? 1 : 0);
    }
    int iStatus = 0;
    while (waitpid(Child, &iStatus, 0) < 0 && errno == EINTR)
    {
    }
    return WIFEXITED(iStatus) && WEXITSTATUS(iStatus) == 0 ? 1 : -1;
}

// The launcher the programs use on this platform.
std::unique_ptr<SSettingsLauncher> CreatePlatformSettingsLauncher()
{
    return std::make_unique<CLinuxSettingsLauncher>();
}
