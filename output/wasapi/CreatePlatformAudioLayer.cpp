#include "output/CreatePlatformAudioLayer.h"

#include "output/wasapi/CWasapiAudioLayer.h"

std::unique_ptr<SAudioClientLayer> CreatePlatformAudioLayer()
{
    return std::make_unique<CWasapiAudioLayer>();
}
