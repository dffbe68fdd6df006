#include "output/CreatePlatformAudioLayer.h"

// No back end on this platform yet: programs fall back to the virtual device when asked for it.
std::unique_ptr<SAudioClientLayer> CreatePlatformAudioLayer()
{
    return nullptr;
}
