#include "output/linux/CLinuxSettingsLauncher.h"
#include "tests/alsa/AlsaTestSetup.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <sys/wait.h>
#include <thread>

// The settings launcher against fake programs on PATH that note how they were started and then
// stay a while, as a settings window would.

namespace
{
using Clock = std::chrono::steady_clock;

class SettingsLauncher : public testing::Test
{
protected:
    void SetUp() override
    {
        static int iCase = 0;
        Bin = AlsaTestSetup::Folder() / ("bin-" + std::to_string(++iCase));
        std::filesystem::create_directories(Bin);
        Record = Bin / "started.txt";
        const char* pPath = std::getenv("PATH");
        const char* pTerminal = std::getenv("TERMINAL");
        OldPath = pPath != nullptr ? pPath : "";
        bHadTerminal = pTerminal != nullptr;
        OldTerminal = bHadTerminal ? pTerminal : "";
        setenv("PATH", Bin.c_str(), 1);
        unsetenv("TERMINAL");
    }
    void TearDown() override
    {
        setenv("PATH", OldPath.c_str(), 1);
        if (bHadTerminal)
        {
            setenv("TERMINAL", OldTerminal.c_str(), 1);
        }
    }

    // How a fake terminal finds the command it runs.
    enum class Takes
    {
        Nothing,         // a program that is no terminal
        WordsAfterDashE, // the rest of the line after -e
        WordsAfterDashDash,
        StringAfterDashE, // one string after -e, split as a shell would
    };

    // A fake program that notes its name and every argument in brackets, then runs the command
    // it was given as its kind of terminal would, else stays a while as a settings window would.
    void AddProgram(const std::string& Name, Takes Form = Takes::Nothing)
    {
        const auto Path = Bin / Name;
        {
            std::ofstream Script(Path);
            Script << "#!/bin/sh\n"
                   // The line is written at once, so a reader never sees half of it.
                   << "line=\"${0##*/}\"; for a in \"$@\"; do line=\"$line [$a]\"; done; printf '%s\\n' "
                      "\"$line\" >> '"
                   << Record.string() << "'\n";
            switch (Form)
            {
            case Takes::Nothing:
                Script << "exec /bin/sleep 1 </dev/null >/dev/null 2>&1\n";
                break;
            case Takes::WordsAfterDashE:
                Script << "while [ $# -gt 0 ] && [ \"$1\" != -e ]; do shift; done; shift; exec \"$@\"\n";
                break;
            case Takes::WordsAfterDashDash:
                Script << "while [ $# -gt 0 ] && [ \"$1\" != -- ]; do shift; done; shift; exec \"$@\"\n";
                break;
            case Takes::StringAfterDashE:
                Script << "while [ $# -gt 0 ] && [ \"$1\" != -e ]; do shift; done; eval \"set -- $2\"; exec "
                          "\"$@\"\n";
                break;
            }
        }
        std::filesystem::permissions(Path, std::filesystem::perms::owner_all);
    }

    // Launches, checks it returned without waiting for the program and left no child behind,
    // and returns the first iLines lines the programs noted.
    std::vector<std::string> LaunchAndRecord(const std::u16string& EndpointId, size_t iLines = 1)
    {
        std::filesystem::remove(Record);
        CLinuxSettingsLauncher Launcher;
        const auto Before = Clock::now();
        EXPECT_EQ(Launcher.Launch(EndpointId), 1);
        EXPECT_LT(Clock::now() - Before, std::chrono::milliseconds(1000));
        errno = 0;
        EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
        EXPECT_EQ(errno, ECHILD);
        const auto Deadline = Clock::now() + std::chrono::seconds(10);
        std::vector<std::string> Lines;
        while (Lines.size() < iLines && Clock::now() < Deadline)
        {
            Lines.clear();
            // Only whole lines: the program may be writing the last one right now.
            std::ifstream File(Record);
            const std::string Text((std::istreambuf_iterator<char>(File)), std::istreambuf_iterator<char>());
            for (size_t uStart = 0, uEnd; (uEnd = Text.find('\n', uStart)) != std::string::npos;
                 uStart = uEnd + 1)
            {
                Lines.push_back(Text.substr(uStart, uEnd - uStart));
            }
            if (Lines.size() < iLines)
            {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        }
        Lines.resize(iLines);
        return Lines;
    }

    std::filesystem::path Bin;
    std::filesystem::path Record;
    std::string OldPath;
    std::string OldTerminal;
    bool bHadTerminal = false;
};
} // namespace

TEST_F(SettingsLauncher, PrefersTheVolumeControlOnItsOutputDevicesTab)
{
    for (const char* pName : {"pavucontrol", "gnome-control-center", "alsamixer", "xterm"})
    {
        AddProgram(pName);
    }
    EXPECT_EQ(LaunchAndRecord(u"hw:CARD=PCH,DEV=0")[0], "pavucontrol [--tab=3]");
}

TEST_F(SettingsLauncher, ThenTheDesktopSoundSettings)
{
    for (const char* pName : {"gnome-control-center", "alsamixer", "xterm"})
    {
        AddProgram(pName);
    }
    EXPECT_EQ(LaunchAndRecord(u"default")[0], "gnome-control-center [sound]");
}

// The mixer runs in a terminal, on the endpoint's card when it names one, given in the form that
// terminal takes: each fake terminal runs what it was given the way the real one would, and the
// mixer notes what reached it.
TEST_F(SettingsLauncher, ThenTheMixerForTheCardInEveryTerminal)
{
    AddProgram("alsamixer");
    const std::string Mixer = (Bin / "alsamixer").string();
    const std::string CardMixer = "alsamixer [-c] [USB]";
    struct Case
    {
        const char* pTerminal;
        Takes Form;
        std::string Expected;
    };
    const Case CASES[] = {
        {"gnome-terminal", Takes::WordsAfterDashDash, "gnome-terminal [--] [" + Mixer + "] [-c] [USB]"},
        {"xfce4-terminal", Takes::StringAfterDashE, "xfce4-terminal [-e] [" + Mixer + " -c USB]"},
        {"mate-terminal", Takes::StringAfterDashE, "mate-terminal [-e] [" + Mixer + " -c USB]"},
        {"lxterminal", Takes::StringAfterDashE, "lxterminal [-e] [" + Mixer + " -c USB]"},
        {"konsole", Takes::WordsAfterDashE, "konsole [-e] [" + Mixer + "] [-c] [USB]"},
        {"xterm", Takes::WordsAfterDashE, "xterm [-e] [" + Mixer + "] [-c] [USB]"},
        {"x-terminal-emulator", Takes::WordsAfterDashE,
         "x-terminal-emulator [-e] [" + Mixer + "] [-c] [USB]"},
    };
    for (const Case& Item : CASES)
    {
        SCOPED_TRACE(Item.pTerminal);
        AddProgram(Item.pTerminal, Item.Form);
        setenv("TERMINAL", Item.pTerminal, 1);
        EXPECT_EQ(LaunchAndRecord(u"hw:CARD=USB,DEV=1", 2),
                  (std::vector<std::string>{Item.Expected, CardMixer}));
    }

    // Found without $TERMINAL, in the desktop's choice first; an endpoint without a card.
    unsetenv("TERMINAL");
    EXPECT_EQ(LaunchAndRecord(u"pulse", 2),
              (std::vector<std::string>{"x-terminal-emulator [-e] [" + Mixer + "]", "alsamixer"}));
    // x-terminal-emulator leading to a terminal that takes one string is given one string.
    std::filesystem::remove(Bin / "x-terminal-emulator");
    std::filesystem::create_symlink(Bin / "lxterminal", Bin / "x-terminal-emulator");
    EXPECT_EQ(
        LaunchAndRecord(u"hw:1", 2),
        (std::vector<std::string>{"x-terminal-emulator [-e] [" + Mixer + " -c 1]", "alsamixer [-c] [1]"}));
    EXPECT_EQ(CLinuxSettingsLauncher::CardOf("hw:2,0"), "2");
    EXPECT_EQ(CLinuxSettingsLauncher::CardOf("plughw:CARD=PCH"), "PCH");
}

// A terminal of unknown kind gets one plain word, read alike whether it takes the rest of the line
// or one string: a script that removes itself and runs the mixer, even from a folder with a space.
TEST_F(SettingsLauncher, GivesAnUnknownTerminalOneWordEitherKindReads)
{
    const auto Odd = Bin / "mixer folder";
    std::filesystem::create_directories(Odd);
    {
        std::ofstream Mixer(Odd / "alsamixer");
        Mixer << "#!/bin/sh\n{ printf 'alsamixer'; for a in \"$@\"; do printf ' [%s]' \"$a\"; done; echo; } "
                 ">> '"
              << Record.string() << "'\n";
    }
    std::filesystem::permissions(Odd / "alsamixer", std::filesystem::perms::owner_all);
    setenv("PATH", (Bin.string() + ":" + Odd.string()).c_str(), 1);
    const char* pRuntime = std::getenv("XDG_RUNTIME_DIR");
    const std::string OldRuntime = pRuntime != nullptr ? pRuntime : "";
    const auto Runtime = Bin / "runtime";
    std::filesystem::create_directories(Runtime);
    setenv("XDG_RUNTIME_DIR", Runtime.c_str(), 1);
    for (const Takes Form : {Takes::WordsAfterDashE, Takes::StringAfterDashE})
    {
        AddProgram("myterm", Form);
        setenv("TERMINAL", "myterm", 1);
        const std::vector<std::string> Lines = LaunchAndRecord(u"hw:CARD=PCH,DEV=0", 2);
        const std::string Given = "myterm [-e] [";
        ASSERT_TRUE(Lines[0].starts_with(Given + Runtime.string() + "/larkspur-mixer-")) << Lines[0];
        EXPECT_EQ(Lines[0].find(' ', Given.size()), std::string::npos) << Lines[0];
        EXPECT_EQ(Lines[1], "alsamixer [-c] [PCH]");
        EXPECT_TRUE(std::filesystem::is_empty(Runtime));
    }
    if (pRuntime != nullptr)
    {
        setenv("XDG_RUNTIME_DIR", OldRuntime.c_str(), 1);
    }
    else
    {
        unsetenv("XDG_RUNTIME_DIR");
    }
}

TEST_F(SettingsLauncher, StartsNothingWhenNoneIsInstalled)
{
    AddProgram("alsamixer"); // but no terminal to show it in
    CLinuxSettingsLauncher Launcher;
    EXPECT_EQ(Launcher.Launch(u"default"), -1);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(std::filesystem::exists(Record));
}
