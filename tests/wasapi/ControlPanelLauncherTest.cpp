#include "output/CSoundStreamWASAPI.h"
#include "output/EnumerateOutputDevices.h"
#include "output/OpenDeviceSettings.h"
#include "output/wasapi/CControlPanelLauncher.h"
#include "output/wasapi/SettingsCommandLine.h"
#include "tests/wasapi/TestSink.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
const std::u16string PREFIX = u"control.exe mmsys.cpl,,";
const std::u16string SUFFIX = u",advanced";

// Records the command line instead of starting the control panel.
class RecordingLauncher : public CControlPanelLauncher
{
public:
    std::u16string CommandLine;
    int iStarts = 0;

protected:
    int32_t StartProcess(char16_t* pCommandLine) override
    {
        CommandLine = pCommandLine;
        ++iStarts;
        return 1;
    }
};

std::u16string Launched(const std::u16string& Id)
{
    RecordingLauncher Launcher;
    EXPECT_EQ(Launcher.Launch(Id), 1);
    EXPECT_EQ(Launcher.iStarts, 1);
    return Launcher.CommandLine;
}
} // namespace

TEST(ControlPanelLauncher, TheCommandLineIsCutAt1023Characters)
{
    EXPECT_EQ(Launched(u""), PREFIX + SUFFIX);
    // Exactly full, one unit over (the suffix loses its last letter), and far over (the identifier
    // fills the line and the suffix is gone).
    const size_t ullFitting = SETTINGS_COMMAND_LINE_UNITS - 1 - PREFIX.size() - SUFFIX.size();
    const std::u16string Fitting(ullFitting, u'f');
    EXPECT_EQ(Launched(Fitting), PREFIX + Fitting + SUFFIX);
    const std::u16string OneOver = Launched(Fitting + u"g");
    EXPECT_EQ(OneOver.size(), SETTINGS_COMMAND_LINE_UNITS - 1);
    EXPECT_EQ(OneOver, PREFIX + Fitting + u"g" + SUFFIX.substr(0, SUFFIX.size() - 1));
    const std::u16string Long(3000, u'x');
    EXPECT_EQ(Launched(Long), PREFIX + Long.substr(0, SETTINGS_COMMAND_LINE_UNITS - 1 - PREFIX.size()));
}

TEST(ControlPanelLauncher, NothingStartableIsAFailure)
{
    // A command line that names no program: CreateProcessW refuses it and the launcher says so.
    class MissingProgramLauncher : public CControlPanelLauncher
    {
    public:
        int32_t Start()
        {
            char16_t CommandLine[] = u"larkspur-no-such-program.exe";
            return StartProcess(CommandLine);
        }
    };
    MissingProgramLauncher Launcher;
    EXPECT_EQ(Launcher.Start(), -1);
}

using ControlPanelEndpointTest = TestSinkFixture;

TEST_F(ControlPanelEndpointTest, TheSettingsOfTheDefaultAndOfAChosenEndpointNameThem)
{
    CSoundStreamWASAPI Stream(&Layer);
    for (const int32_t iIndex : {-1, iSinkIndex})
    {
        SCOPED_TRACE(iIndex);
        std::unique_ptr<SAudioEndpoint> pEndpoint;
        ASSERT_EQ(Stream.GetAudioEndpoint(iIndex, pEndpoint), 1);
        std::u16string Id;
        ASSERT_GE(pEndpoint->GetId(Id), 0);
        ASSERT_FALSE(Id.empty());
        RecordingLauncher Launcher;
        EXPECT_EQ(OpenDeviceSettings(&Layer, &Launcher, iIndex), 1);
        EXPECT_EQ(Launcher.iStarts, 1);
        EXPECT_EQ(Launcher.CommandLine, PREFIX + Id + SUFFIX);
    }
    // An endpoint that does not exist starts nothing.
    std::vector<std::u16string> Names;
    ASSERT_EQ(EnumerateOutputDevices(&Layer, Names), 1);
    RecordingLauncher Launcher;
    EXPECT_EQ(OpenDeviceSettings(&Layer, &Launcher, static_cast<int32_t>(Names.size())), -1);
    EXPECT_EQ(Launcher.iStarts, 0);
}
