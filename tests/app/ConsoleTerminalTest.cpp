// The real larkspur-cli in a pseudo-terminal (a private tmux server) on the virtual device: the
// screen shows the status line, keys act, and every way out leaves the terminal as it was.
#include "tests/app/CliRun.h"
#include "tests/common/TestFiles.h"
#include "tests/common/WaveFileBuilder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <numbers>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>

#ifndef _WIN32
#include "app/cli/DisplayColumns.h"

namespace
{
std::string Quoted(const std::string& Text)
{
    std::string Out = "'";
    for (char c : Text)
    {
        Out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return Out + "'";
}

std::string ReadAll(const std::filesystem::path& Path)
{
    std::ifstream In(Path, std::ios::binary);
    std::stringstream Text;
    Text << In.rdbuf();
    return Text.str();
}

// One tmux server of this test's own (by its socket), one window running a shell command.
class TerminalSession
{
public:
    explicit TerminalSession(const std::string& Name) : Socket(Utf8(TestFiles::PathFor(Name + ".tmux"))) {}
    ~TerminalSession() { Tmux("kill-server"); }

    static bool Available() { return std::system("tmux -V >/dev/null 2>&1") == 0; }

    int Tmux(const std::string& Arguments) const
    {
        return std::system(
            ("env -u TMUX tmux -u -S " + Quoted(Socket) + " " + Arguments + " >/dev/null 2>&1").c_str());
    }
    bool Start(const std::string& Command, int iColumns = 150) const
    {
        return Tmux("new-session -d -x " + std::to_string(iColumns) + " -y 12 " +
                    Quoted("LANG=C.UTF-8 LC_ALL=C.UTF-8 " + Command)) == 0;
    }
    // The screen's text; bRows keeps wrapped lines apart, as the rows show them.
    std::string Screen(bool bRows = false) const
    {
        const auto Path = TestFiles::PathFor("screen.txt");
        std::system(("env -u TMUX tmux -u -S " + Quoted(Socket) + " capture-pane -p " + (bRows ? "" : "-J ") +
                     "> " + Quoted(Utf8(Path)) + " 2>/dev/null")
                        .c_str());
        return ReadAll(Path);
    }
    // Types Text as it is, then Enter.
    void Type(const std::string& Text) const
    {
        Tmux("send-keys -l " + Quoted(Text));
        Tmux("send-keys Enter");
    }
    // Waits (generously) until the screen shows Text.
    bool WaitFor(const std::string& Text, int iSeconds = 20) const
    {
        const auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(iSeconds);
        while (std::chrono::steady_clock::now() < Deadline)
        {
            if (Screen().find(Text) != std::string::npos)
            {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }
    void Keys(const std::string& KeyNames) const { Tmux("send-keys " + KeyNames); }

private:
    std::string Socket;
};

std::filesystem::path ToneFile(const std::string& Name, double dfSeconds)
{
    const uint64_t ullFrames = static_cast<uint64_t>(dfSeconds * 44100);
    std::vector<double> Signal(2 * ullFrames);
    for (uint64_t n = 0; n < ullFrames; ++n)
    {
        Signal[2 * n] = Signal[2 * n + 1] = 0.5 * std::sin(2.0 * std::numbers::pi * 440.0 * n / 44100.0);
    }
    return TestFiles::Write(Name, WaveFileBuilder::PcmWave(Signal, 2, 44100, 16));
}

// The command a session runs: the terminal's settings before and after the player, and its status
// (shown only once the settings after it are written, so a test that sees it can read them).
std::string Wrapped(const std::string& Name, const std::string& PlayArguments)
{
    const std::string Before = Utf8(TestFiles::PathFor(Name + ".before"));
    const std::string After = Utf8(TestFiles::PathFor(Name + ".after"));
    // The shell outlives an interrupt so it can report the player's status.
    return "sh -c " + Quoted("trap : INT; stty -g > " + Quoted(Before) + "; LARKSPUR_AUDIO=virtual " +
                             Quoted(LARKSPUR_CLI_PROGRAM) + " play " + PlayArguments +
                             "; status=$?; stty -g > " + Quoted(After) + "; echo EXIT=$status; sleep 60");
}

// The screen row that holds the status line (the one with the file's length).
std::string StatusRow(const std::string& Screen, const std::string& Length)
{
    std::istringstream Rows(Screen);
    std::string Found;
    for (std::string Row; std::getline(Rows, Row);)
    {
        if (Row.find("/ " + Length) != std::string::npos)
        {
            Found = Row;
        }
    }
    return Found;
}

// Waits (generously) until a file exists with some content.
std::string WaitForFile(const std::filesystem::path& Path)
{
    const auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    std::string Text;
    while ((Text = ReadAll(Path)).empty() && std::chrono::steady_clock::now() < Deadline)
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return Text;
}

void ExpectTerminalRestored(const std::string& Name)
{
    const std::string Before = ReadAll(TestFiles::PathFor(Name + ".before"));
    EXPECT_FALSE(Before.empty());
    EXPECT_EQ(ReadAll(TestFiles::PathFor(Name + ".after")), Before);
}
} // namespace

class ConsoleTerminalTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!TerminalSession::Available())
        {
            GTEST_SKIP() << "tmux is not installed";
        }
    }
};

TEST_F(ConsoleTerminalTest, StatusLineKeysAndQuit)
{
    const auto Tone = ToneFile("term-keys.wav", 30.0);
    TerminalSession Session("keys");
    ASSERT_TRUE(Session.Start(Wrapped("keys", Quoted(Utf8(Tone)))));
    ASSERT_TRUE(Session.WaitFor("/ 00:30.0 [")) << Session.Screen();
    EXPECT_TRUE(Session.WaitFor("x1.0000 -20.0 dB 96000 Hz 24 bit 排他モード 再生")) << Session.Screen();
    Session.Keys("Right Right Up");
    EXPECT_TRUE(Session.WaitFor("x1.0116 -19.5 dB")) << Session.Screen();
    Session.Keys("S-Left");
    EXPECT_TRUE(Session.WaitFor("x0.9548 -19.5 dB")) << Session.Screen();
    Session.Keys("Space");
    EXPECT_TRUE(Session.WaitFor("排他モード 一時停止")) << Session.Screen();
    Session.Keys("Space");
    EXPECT_TRUE(Session.WaitFor("排他モード 再生")) << Session.Screen();
    Session.Keys("q");
    EXPECT_TRUE(Session.WaitFor("EXIT=0")) << Session.Screen();
    // One status line, redrawn in place.
    const std::string Screen = Session.Screen();
    EXPECT_EQ(Screen.find("/ 00:30.0 ["), Screen.rfind("/ 00:30.0 [")) << Screen;
    ExpectTerminalRestored("keys");
}

TEST_F(ConsoleTerminalTest, EscapeControlCAndTheEndRestoreTheTerminal)
{
    const auto Long = ToneFile("term-long.wav", 30.0);
    const auto Short = ToneFile("term-short.wav", 1.0);
    // A key while playing: its session's name, the key and the exit status it ends with.
    for (const auto& [pName, pKey, pExit] :
         {std::tuple{"escape", "Escape", "EXIT=0"}, std::tuple{"interrupt", "C-c", "EXIT=130"}})
    {
        SCOPED_TRACE(pName);
        TerminalSession Session(pName);
        ASSERT_TRUE(Session.Start(Wrapped(pName, Quoted(Utf8(Long)))));
        ASSERT_TRUE(Session.WaitFor(" 再生")) << Session.Screen();
        Session.Keys(pKey);
        EXPECT_TRUE(Session.WaitFor(pExit)) << Session.Screen();
        ExpectTerminalRestored(pName);
    }
    {
        TerminalSession Session("end");
        ASSERT_TRUE(Session.Start(Wrapped("end", Quoted(Utf8(Short)))));
        EXPECT_TRUE(Session.WaitFor("00:01.0 / 00:01.0 [####################]")) << Session.Screen();
        EXPECT_TRUE(Session.WaitFor("EXIT=0")) << Session.Screen();
        ExpectTerminalRestored("end");
    }
}

// The status line fits the terminal: all of it at 120 columns, a shorter bar at 80, no bar and no
// mode words at 60; after the terminal is resized it is redrawn to the new width.
TEST_F(ConsoleTerminalTest, StatusLineFitsTheTerminalAndFollowsItsSize)
{
    const auto Tone = ToneFile("term-width.wav", 30.0);
    const struct
    {
        int iColumns;
        const char* pShape; // what follows the times
    } WIDTHS[] = {{120, " [--------------------] x1.0000"}, {80, " [------] x1.0000"}, {60, " x1.0000"}};
    for (const auto& Width : WIDTHS)
    {
        const std::string Name = "width" + std::to_string(Width.iColumns);
        TerminalSession Session(Name);
        ASSERT_TRUE(Session.Start(Wrapped(Name, "--volume -20 " + Quoted(Utf8(Tone))), Width.iColumns));
        ASSERT_TRUE(Session.WaitFor(" 再生")) << Session.Screen();
        const std::string Row = StatusRow(Session.Screen(true), "00:30.0");
        EXPECT_NE(Row.find(std::string("/ 00:30.0") + Width.pShape), std::string::npos) << Row;
        // One row, ending in the state word, narrower than the terminal.
        EXPECT_NE(Row.find(" 再生"), std::string::npos) << Row;
        EXPECT_LT(DisplayColumns(Row.substr(0, Row.find_last_not_of(' ') + 1)),
                  static_cast<size_t>(Width.iColumns));
        EXPECT_EQ(Width.iColumns >= 80, Row.find("排他モード") != std::string::npos) << Row;
        if (Width.iColumns == 120)
        {
            // Narrower: the next line drawn is the short one.
            Session.Tmux("resize-window -x 60");
            EXPECT_TRUE(Session.WaitFor("/ 00:30.0 x1.0000 -20.0 dB 96000 Hz 24 bit 再生"))
                << Session.Screen();
        }
        Session.Keys("q");
        EXPECT_TRUE(Session.WaitFor("EXIT=0")) << Session.Screen();
    }
}

// Ctrl-Z gives the shell its terminal back as it was; after fg the player's keys work again.
TEST_F(ConsoleTerminalTest, SuspendAndForegroundGiveTheKeysBack)
{
    const auto Tone = ToneFile("term-suspend.wav", 30.0);
    TerminalSession Session("suspend");
    const auto Before = TestFiles::PathFor("suspend.before");
    const auto During = TestFiles::PathFor("suspend.during");
    const auto After = TestFiles::PathFor("suspend.after");
    ASSERT_TRUE(Session.Start("env PS1='$ ' bash --norc --noprofile -i"));
    Session.Type("stty -g > " + Quoted(Utf8(Before)) + "; LARKSPUR_AUDIO=virtual " +
                 Quoted(LARKSPUR_CLI_PROGRAM) + " play " + Quoted(Utf8(Tone)));
    ASSERT_TRUE(Session.WaitFor(" 再生")) << Session.Screen();
    Session.Keys("C-z");
    ASSERT_TRUE(Session.WaitFor("Stopped")) << Session.Screen();
    Session.Type("stty -g > " + Quoted(Utf8(During)));
    EXPECT_EQ(WaitForFile(During), WaitForFile(Before));
    Session.Type("fg");
    Session.Keys("Right");
    EXPECT_TRUE(Session.WaitFor("x1.0058")) << Session.Screen();
    Session.Keys("Space");
    EXPECT_TRUE(Session.WaitFor(" 一時停止")) << Session.Screen();
    Session.Keys("q");
    Session.Type("echo EXIT=$?; stty -g > " + Quoted(Utf8(After)));
    EXPECT_TRUE(Session.WaitFor("EXIT=0")) << Session.Screen();
    EXPECT_EQ(WaitForFile(After), ReadAll(Before));
}

TEST_F(ConsoleTerminalTest, CrashSignalRestoresTheTerminal)
{
    const auto Long = ToneFile("term-crash.wav", 30.0);
    TerminalSession Session("crash");
    const std::string Pid = Utf8(TestFiles::PathFor("crash.pid"));
    // The player replaces a shell whose pid it then has; a segmentation fault ends it.
    const std::string Player =
        "sh -c " + Quoted("echo $$ > " + Quoted(Pid) + "; LARKSPUR_AUDIO=virtual exec " +
                          Quoted(LARKSPUR_CLI_PROGRAM) + " play " + Quoted(Utf8(Long)));
    ASSERT_TRUE(Session.Start(
        "sh -c " + Quoted("stty -g > " + Quoted(Utf8(TestFiles::PathFor("crash.before"))) + "; " + Player +
                          "; status=$?; stty -g > " + Quoted(Utf8(TestFiles::PathFor("crash.after"))) +
                          "; echo EXIT=$status; sleep 60")));
    ASSERT_TRUE(Session.WaitFor(" 再生")) << Session.Screen();
    const std::string Target = ReadAll(Pid);
    ASSERT_FALSE(Target.empty());
    ASSERT_EQ(std::system(("kill -SEGV " + Target.substr(0, Target.find('\n'))).c_str()), 0);
    EXPECT_TRUE(Session.WaitFor("EXIT=139")) << Session.Screen();
    ExpectTerminalRestored("crash");
}
#endif
