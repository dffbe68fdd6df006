#include "output/alsa/CLinuxSettingsLauncher.h"
#include "tests/alsa/AlsaTestSetup.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
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

    void AddProgram(const std::string& Name)
    {
        const auto Path = Bin / Name;
        {
            std::ofstream Script(Path);
            Script << "#!/bin/sh\n"
                   << "echo \"${0##*/} $*\" >> '" << Record.string() << "'\n"
                   << "exec /bin/sleep 1 </dev/null >/dev/null 2>&1\n";
        }
        std::filesystem::permissions(Path, std::filesystem::perms::owner_all);
    }

    // Launches, checks it returned without waiting for the program and left no child behind,
    // and returns the command line the program saw.
    std::string LaunchAndRecord(const std::u16string& EndpointId)
    {
        CLinuxSettingsLauncher Launcher;
        const auto Before = Clock::now();
        EXPECT_EQ(Launcher.Launch(EndpointId), 1);
        EXPECT_LT(Clock::now() - Before, std::chrono::milliseconds(1000));
        errno = 0;
        EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
        EXPECT_EQ(errno, ECHILD);
        const auto Deadline = Clock::now() + std::chrono::seconds(10);
        std::string Line;
        while (Line.empty() && Clock::now() < Deadline)
        {
            std::ifstream File(Record);
            std::getline(File, Line);
            if (Line.empty())
            {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        }
        return Line;
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
    EXPECT_EQ(LaunchAndRecord(u"hw:CARD=PCH,DEV=0"), "pavucontrol --tab=3");
}

TEST_F(SettingsLauncher, ThenTheDesktopSoundSettings)
{
    for (const char* pName : {"gnome-control-center", "alsamixer", "xterm"})
    {
        AddProgram(pName);
    }
    EXPECT_EQ(LaunchAndRecord(u"default"), "gnome-control-center sound");
}

// The mixer runs in a terminal, on the endpoint's card when it names one.
TEST_F(SettingsLauncher, ThenTheMixerForTheCardInATerminal)
{
    for (const char* pName : {"alsamixer", "xterm", "gnome-terminal"})
    {
        AddProgram(pName);
    }
    const std::string Mixer = (Bin / "alsamixer").string();
    EXPECT_EQ(LaunchAndRecord(u"hw:CARD=USB,DEV=1"), "gnome-terminal -- " + Mixer + " -c USB");

    std::filesystem::remove(Record);
    setenv("TERMINAL", "xterm", 1);
    EXPECT_EQ(LaunchAndRecord(u"pulse"), "xterm -e " + Mixer);
    EXPECT_EQ(CLinuxSettingsLauncher::CardOf("hw:2,0"), "2");
    EXPECT_EQ(CLinuxSettingsLauncher::CardOf("plughw:CARD=PCH"), "PCH");
}

TEST_F(SettingsLauncher, StartsNothingWhenNoneIsInstalled)
{
    AddProgram("alsamixer"); // but no terminal to show it in
    CLinuxSettingsLauncher Launcher;
    EXPECT_EQ(Launcher.Launch(u"default"), -1);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(std::filesystem::exists(Record));
}
