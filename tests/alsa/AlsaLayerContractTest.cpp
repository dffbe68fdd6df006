#include "tests/common/AudioLayerContract.h"

#include "output/alsa/CAlsaAudioLayer.h"
#include "tests/alsa/AlsaTestSetup.h"

namespace
{
// The ALSA layer on a written configuration: "default" is a test device that takes 48 kHz 16-bit
// (a plugin, so only shared mode reaches it), listed beside a second device.
AudioLayerContractTarget AlsaTarget()
{
    AudioLayerContractTarget Target;
    Target.Name = "Alsa";
    Target.Create = []
    {
        AlsaTestSetup::Write({TestDeviceProfile("contract_main", "Contract device").Taking("48000", "S16_LE"),
                              TestDeviceProfile("contract_other", "Second device").Taking("44100", "S32_LE")},
                             "pcm.!default \"contract_main\"\n");
        return std::unique_ptr<SAudioClientLayer>(std::make_unique<CAlsaAudioLayer>());
    };
    return Target;
}
} // namespace

INSTANTIATE_TEST_SUITE_P(Layers, AudioLayerContract, ::testing::Values(AlsaTarget()), AudioLayerContractName);
