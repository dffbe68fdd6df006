#include "output/CreatePlatformAudioLayer.h"

#include "output/linux/CLinuxAudioLayer.h"

std::unique_ptr<SAudioClientLayer> CreatePlatformAudioLayer()
{
    return std::make_unique<CLinuxAudioLayer>();
}
