#include "app/cli/CliAudioLayer.h"

#include "app/player/AudioLayerSelection.h"

#include <cstdlib>

const char* const NO_OUTPUT_DEVICE_TEXT =
    "no output device: no sound card or sound server was found; LARKSPUR_AUDIO=virtual plays onto a "
    "virtual device instead (LARKSPUR_AUDIO=virtual:OUT.wav also keeps what it played)";

int32_t OpenCliAudioLayer(bool bVerbose, std::unique_ptr<SAudioClientLayer>& pLayer, std::string& Description)
{
    if (bVerbose)
    {
        // A literal: POSIX keeps the very string in the environment.
        static char VERBOSE_SETTING[] = "LARKSPUR_VERBOSE=1";
        putenv(VERBOSE_SETTING);
    }
    return SelectAudioLayerFromEnvironment(pLayer, Description);
}
