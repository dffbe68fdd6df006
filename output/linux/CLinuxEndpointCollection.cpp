#include "output/linux/CLinuxEndpointCollection.h"

#include "output/AudioClientConstants.h"

#include <utility>

CLinuxEndpointCollection::CLinuxEndpointCollection(std::shared_ptr<PulseServerConnection> pConnection,
                                                   std::vector<LinuxEndpointEntry> Entries)
    : pServer(std::move(pConnection)), Items(std::move(Entries))
{
}

int32_t CLinuxEndpointCollection::GetCount(uint32_t* puiCount)
{
    if (puiCount == nullptr)
    {
        return AUDIO_E_POINTER;
    }
    *puiCount = static_cast<uint32_t>(Items.size());
    return AUDIO_OK;
}

int32_t CLinuxEndpointCollection::Item(uint32_t uiIndex, std::unique_ptr<SAudioEndpoint>& pEndpoint)
{
    pEndpoint.reset();
    if (uiIndex >= Items.size())
    {
        return AUDIO_E_INVALIDARG;
    }
    pEndpoint = MakeLinuxEndpoint(pServer, Items[uiIndex]);
    return pEndpoint != nullptr ? AUDIO_OK : AUDIO_E_FAIL;
}
