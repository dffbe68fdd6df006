#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

// One test device of the configuration: a PCM of the test plugin.
struct TestDeviceProfile
{
    explicit TestDeviceProfile(std::string DeviceName, std::string HintDescription = "",
                               std::string HintDirection = "")
        : Name(std::move(DeviceName)), Description(std::move(HintDescription)),
          Direction(std::move(HintDirection))
    {
    }
    TestDeviceProfile& Taking(std::string NewRates, std::string NewFormats)
    {
        Rates = std::move(NewRates);
        Formats = std::move(NewFormats);
        return *this;
    }

    std::string Name;
    std::string Rates = "48000";
    std::string Formats = "S16_LE";
    // Hint description; empty: the PCM has no hint and is not listed.
    std::string Description;
    // Hint direction ("Input", "Output"), empty for none.
    std::string Direction;
    long long llUnplugAfter = -1;
    double dfPacePercent = 100.0;
};

// What a test device captured: its format line and every byte written.
struct TestCapture
{
    uint32_t uiRate = 0;
    std::string Format;
    uint32_t uiChannels = 0;
    std::vector<uint8_t> Bytes;
};

// A private ALSA configuration under the build folder (never the user's own): the test plugin,
// the few standard definitions the back end's device strings need, and the test's devices. The
// process's ALSA reads it through ALSA_CONFIG_PATH; each Write replaces it and makes ALSA reload.
class AlsaTestSetup
{
public:
    // Extra: more configuration text (pcm.default, plain PCMs with hints ...).
    static void Write(const std::vector<TestDeviceProfile>& Devices, const std::string& Extra = "");
    static std::filesystem::path Folder();
    static std::filesystem::path ConfigPath();
    static std::filesystem::path CapturePath(const std::string& Device);
    static TestCapture ReadCapture(const std::string& Device);
};
