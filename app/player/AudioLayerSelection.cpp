#include "app/player/AudioLayerSelection.h"

#include "output/CreatePlatformAudioLayer.h"
#include "output/virtual/VirtualRecordingLayer.h"
#include "runtime/TextConversion.h"

#include <cstdlib>
#include <cstring>

int32_t SelectAudioLayer(const char* pSetting, std::unique_ptr<SAudioClientLayer>& pLayer,
                         std::string& Description)
{
    pLayer.reset();
    const std::string Setting = pSetting != nullptr ? pSetting : "";
    static constexpr char VIRTUAL[] = "virtual";
    if (Setting.rfind(VIRTUAL, 0) == 0)
    {
        const std::string Rest = Setting.substr(std::strlen(VIRTUAL));
        if (!Rest.empty() && Rest[0] != ':')
        {
            Description = "unknown LARKSPUR_AUDIO setting '" + Setting + "'";
            return -4;
        }
        const std::string Path = Rest.empty() ? "" : Rest.substr(1);
        pLayer = std::make_unique<VirtualRecordingLayer>(Utf8ToWide(Path));
        Description = Path.empty() ? "virtual device" : "virtual device recording to " + Path;
        return 2;
    }
    if (!Setting.empty())
    {
        Description = "unknown LARKSPUR_AUDIO setting '" + Setting + "' (use virtual or virtual:FILE.wav)";
        return -4;
    }
    pLayer = CreatePlatformAudioLayer();
    if (!pLayer)
    {
        Description = "no audio system on this platform";
        return -1;
    }
    Description = "platform audio";
    return 1;
}

int32_t SelectAudioLayerFromEnvironment(std::unique_ptr<SAudioClientLayer>& pLayer, std::string& Description)
{
    return SelectAudioLayer(std::getenv("LARKSPUR_AUDIO"), pLayer, Description);
}
