#include "output/OpenDeviceSettings.h"

#include "output/CSoundStreamWASAPI.h"

namespace
{
// Finds the endpoint by index or by identifier and hands its identifier to the launcher; without an
// identifier the request simply lacks it.
template <class TWhich>
int32_t LaunchForEndpoint(SAudioClientLayer* pLayer, SSettingsLauncher* pLauncher, const TWhich& Which)
{
    CSoundStreamWASAPI Stream(pLayer);
    std::unique_ptr<SAudioEndpoint> pEndpoint;
    const int32_t iResult = Stream.GetAudioEndpoint(Which, pEndpoint);
    if (iResult < 0)
    {
        return iResult;
    }
    std::u16string Id;
    if (pEndpoint->GetId(Id) < 0)
    {
        Id.clear();
    }
    if (pLauncher != nullptr)
    {
        pLauncher->Launch(Id);
    }
    return iResult;
}
} // namespace

int32_t OpenDeviceSettings(SAudioClientLayer* pLayer, SSettingsLauncher* pLauncher, int32_t iEndpointIndex)
{
    return LaunchForEndpoint(pLayer, pLauncher, iEndpointIndex);
}

int32_t OpenDeviceSettings(SAudioClientLayer* pLayer, SSettingsLauncher* pLauncher,
                           const std::u16string& EndpointId)
{
    return LaunchForEndpoint(pLayer, pLauncher, EndpointId);
}
