#include "tests/common/AudioLayerContract.h"

#include "output/wasapi/CWasapiAudioLayer.h"

#include <windows.h>

#include <vector>

namespace
{
// The platform layer, whose default endpoint is the test sink's server in shared mode at the
// sink's own format. Only where the Wine test script has set the sink up: elsewhere the machine's
// endpoints are unknown.
std::vector<AudioLayerContractTarget> WasapiTargets()
{
    wchar_t Name[256] = {};
    if (GetEnvironmentVariableW(L"LARKSPUR_TEST_SINK_NAME", Name, 256) == 0)
    {
        return {};
    }
    return {SharedLayerTarget<CWasapiAudioLayer>("Wasapi", 48000, 16)};
}
} // namespace

GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(AudioLayerContract);
INSTANTIATE_TEST_SUITE_P(Layers, AudioLayerContract, ::testing::ValuesIn(WasapiTargets()),
                         AudioLayerContractName);
