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

#ifndef _WIN32
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
    bool Start(const std::string& Command) const
    {
        return Tmux("new-session -d -x 150 -y 12 " + Quoted("LANG=C.UTF-8 LC_ALL=C.UTF-8 " + Command)) == 0;
    }
    std::string Screen() const
    {
        const auto Path = TestFiles::PathFor("screen.txt");
        std::system(("env -u TMUX tmux -u -S " + Quoted(Socket) + " capture-pane -p -J > " +
                     Quoted(Utf8(Path)) + " 2>/dev/null")
                        .c_str());
        return ReadAll(Path);
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
    {
        TerminalSession Session("escape");
        ASSERT_TRUE(Session.Start(Wrapped("escape", Quoted(Utf8(Long)))));
        ASSERT_TRUE(Session.WaitFor(" 再生")) << Session.Screen();
        Session.Keys("Escape");
        EXPECT_TRUE(Session.WaitFor("EXIT=0")) << Session.Screen();
        ExpectTerminalRestored("escape");
    }
    {
        TerminalSession Session("interrupt");
        ASSERT_TRUE(Session.Start(Wrapped("interrupt", Quoted(Utf8(Long)))));
        ASSERT_TRUE(Session.WaitFor(" 再生")) << Session.Screen();
        Session.Keys("C-c");
        EXPECT_TRUE(Session.WaitFor("EXIT=130")) << Session.Screen();
        ExpectTerminalRestored("interrupt");
    }
    {
        TerminalSession Session("end");
        ASSERT_TRUE(Session.Start(Wrapped("end", Quoted(Utf8(Short)))));
        EXPECT_TRUE(Session.WaitFor("00:01.0 / 00:01.0 [####################]")) << Session.Screen();
        EXPECT_TRUE(Session.WaitFor("EXIT=0")) << Session.Screen();
        ExpectTerminalRestored("end");
    }
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
