#include "output/EnumerateOutputDevices.h"

#include "output/SAudioDeviceEnumerator.h"
#include "output/SAudioEndpoint.h"
#include "output/SAudioEndpointCollection.h"
#include "runtime/FormatText.h"

#include <memory>
#include <utility>

namespace
{
// The entry text is formatted into this many bytes, so at most 63 characters of a name are kept.
constexpr uint64_t ENTRY_BYTES = 128;
} // namespace

int32_t EnumerateOutputDevices(SAudioClientLayer* pLayer, std::vector<ListedOutputDevice>& Devices)
{
    Devices.clear();
    std::unique_ptr<SAudioDeviceEnumerator> pEnumerator;
    if (pLayer == nullptr || pLayer->CreateDeviceEnumerator(pEnumerator) < 0 || pEnumerator == nullptr)
    {
        return 0;
    }
    std::unique_ptr<SAudioEndpointCollection> pCollection;
    if (pEnumerator->EnumAudioEndpoints(pCollection) < 0 || pCollection == nullptr)
    {
        return 0;
    }
    uint32_t uiCount = 0;
    if (pCollection->GetCount(&uiCount) < 0)
    {
        uiCount = 0;
    }
    for (uint32_t i = 0; i < uiCount; ++i)
    {
        std::unique_ptr<SAudioEndpoint> pEndpoint;
        std::u16string Name;
        int32_t bIsText = 0;
        if (pCollection->Item(i, pEndpoint) < 0 || pEndpoint == nullptr ||
            pEndpoint->GetFriendlyName(Name, bIsText) < 0)
        {
            continue;
        }
        char16_t Entry[ENTRY_BYTES / sizeof(char16_t)] = {};
        FormatText(Entry, ENTRY_BYTES, u"%s", bIsText != 0 ? Name.c_str() : u"Unknown");
        ListedOutputDevice Listed{Entry, u"", static_cast<int32_t>(i)};
        if (pEndpoint->GetId(Listed.Id) < 0)
        {
            Listed.Id.clear();
        }
        Devices.push_back(std::move(Listed));
    }
    return 1;
}

int32_t EnumerateOutputDevices(SAudioClientLayer* pLayer, std::vector<std::u16string>& Names)
{
    std::vector<ListedOutputDevice> Devices;
    const int32_t iResult = EnumerateOutputDevices(pLayer, Devices);
    Names.clear();
    for (ListedOutputDevice& Listed : Devices)
    {
        Names.push_back(std::move(Listed.Name));
    }
    return iResult;
}
