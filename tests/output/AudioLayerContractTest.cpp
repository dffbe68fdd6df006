#include "tests/common/AudioLayerContract.h"
#include "output/virtual/VirtualRecordingLayer.h"

#include "tests/scripted/CVirtualAudioLayer.h"
#include "tests/scripted/VirtualAudioDevice.h"

namespace
{
// A virtual layer with two endpoints; the second is the default and takes 48 kHz 16-bit in shared
// mode only.
AudioLayerContractTarget VirtualTarget()
{
    AudioLayerContractTarget Target;
    Target.Name = "Virtual";
    Target.Create = []
    {
        auto pLayer = std::make_unique<CVirtualAudioLayer>();
        auto pFirst = std::make_shared<VirtualAudioDevice>();
        pFirst->SetId(u"{virtual.render.first}");
        pFirst->SetFriendlyNameNotText();
        auto pSecond = std::make_shared<VirtualAudioDevice>();
        pSecond->SetId(u"{virtual.render.second}");
        pSecond->AcceptFormat(AUDIO_SHAREMODE_SHARED, 48000, 16);
        pLayer->AddDevice(pFirst);
        pLayer->AddDevice(pSecond);
        pLayer->SetDefaultDevice(pSecond);
        return std::unique_ptr<SAudioClientLayer>(std::move(pLayer));
    };
    return Target;
}

// The programs' own virtual output: one endpoint that takes every rate.
AudioLayerContractTarget VirtualOutputTarget()
{
    AudioLayerContractTarget Target;
    Target.Name = "VirtualOutput";
    Target.Create = [] { return std::unique_ptr<SAudioClientLayer>(new VirtualRecordingLayer(u"")); };
    return Target;
}
} // namespace

INSTANTIATE_TEST_SUITE_P(Layers, AudioLayerContract,
                         ::testing::Values(VirtualTarget(), VirtualOutputTarget()), AudioLayerContractName);
