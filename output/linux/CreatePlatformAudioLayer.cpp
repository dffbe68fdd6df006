#include "output/CreatePlatformAudioLayer.h"

#include "output/alsa/CAlsaAudioLayer.h"

std::unique_ptr<SAudioClientLayer> CreatePlatformAudioLayer()
{
    return std::make_unique<CAlsaAudioLayer>();
}
