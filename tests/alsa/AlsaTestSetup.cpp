#include "tests/alsa/AlsaTestSetup.h"

#include <alsa/asoundlib.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <system_error>
#include <unistd.h>

namespace
{
// A folder of this process under the build folder, removed at exit.
class PrivateFolder
{
public:
    PrivateFolder()
    {
        Path = std::filesystem::path(LARKSPUR_TEST_ALSA_FOLDER) / std::to_string(getpid());
        std::filesystem::create_directories(Path);
    }
    ~PrivateFolder()
    {
        std::error_code Ignored;
        std::filesystem::remove_all(Path, Ignored);
    }
    std::filesystem::path Path;
};

std::string Quoted(const std::string& Text)
{
    return "\"" + Text + "\"";
}
} // namespace

std::filesystem::path AlsaTestSetup::Folder()
{
    static PrivateFolder Instance;
    return Instance.Path;
}

std::filesystem::path AlsaTestSetup::ConfigPath()
{
    return Folder() / "asound.conf";
}

std::filesystem::path AlsaTestSetup::CapturePath(const std::string& Device)
{
    return Folder() / (Device + ".raw");
}

void AlsaTestSetup::Write(const std::vector<TestDeviceProfile>& Devices, const std::string& Extra)
{
    std::ostringstream Text;
    Text << "pcm_type.larkspur_test { lib " << Quoted(LARKSPUR_TEST_PCM_PLUGIN) << " }\n"
         << "defaults.namehint.showall off\n"
         << "defaults.namehint.basic on\n"
         << "defaults.namehint.extended off\n"
         << "pcm.plug { @args [ SLAVE ] @args.SLAVE { type string } type plug slave.pcm $SLAVE }\n";
    for (const TestDeviceProfile& Device : Devices)
    {
        Text << "pcm." << Device.Name << " {\n"
             << "  type larkspur_test\n"
             << "  rates " << Quoted(Device.Rates) << "\n"
             << "  formats " << Quoted(Device.Formats) << "\n"
             << "  capture " << Quoted(CapturePath(Device.Name).string()) << "\n"
             << "  lock " << Quoted((Folder() / (Device.Name + ".lock")).string()) << "\n"
             << "  unplug_after " << Device.llUnplugAfter << "\n"
             << "  pace " << Device.dfPacePercent << "\n";
        if (!Device.Description.empty())
        {
            Text << "  hint { show on description " << Quoted(Device.Description);
            if (!Device.Direction.empty())
            {
                Text << " ioid " << Quoted(Device.Direction);
            }
            Text << " }\n";
        }
        Text << "}\n";
    }
    Text << Extra << "\n";
    // A new file (new inode) each time, so ALSA sees the change.
    const auto Temporary = Folder() / "asound.conf.new";
    {
        std::ofstream File(Temporary, std::ios::trunc);
        File << Text.str();
    }
    std::filesystem::rename(Temporary, ConfigPath());
    setenv("ALSA_CONFIG_PATH", ConfigPath().c_str(), 1);
    snd_config_update_free_global();
}

TestCapture AlsaTestSetup::ReadCapture(const std::string& Device)
{
    TestCapture Capture;
    const auto Path = CapturePath(Device);
    std::ifstream FormatFile(Path.string() + ".format");
    std::string Word;
    while (FormatFile >> Word)
    {
        const auto Equals = Word.find('=');
        const std::string Key = Word.substr(0, Equals);
        const std::string Value = Equals == std::string::npos ? "" : Word.substr(Equals + 1);
        if (Key == "rate")
        {
            Capture.uiRate = static_cast<uint32_t>(std::stoul(Value));
        }
        else if (Key == "format")
        {
            Capture.Format = Value;
        }
        else if (Key == "channels")
        {
            Capture.uiChannels = static_cast<uint32_t>(std::stoul(Value));
        }
    }
    std::ifstream File(Path, std::ios::binary);
    Capture.Bytes.assign(std::istreambuf_iterator<char>(File), std::istreambuf_iterator<char>());
    return Capture;
}
