#include "output/OpenDeviceSettings.h"

#include "output/CSoundStreamWASAPI.h"

#include <string>

int32_t OpenDeviceSettings(SAudioClientLayer* pLayer, SSettingsLauncher* pLauncher, int32_t iEndpointIndex)
{
    CSoundStreamWASAPI Stream(pLayer);
    std::unique_ptr<SAudioEndpoint> pEndpoint;
    const int32_t iResult = Stream.GetAudioEndpoint(iEndpointIndex, pEndpoint);
    if (iResult < 0)
    {
        return iResult;
    }
    // Without an identifier the request simply lacks it.
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
