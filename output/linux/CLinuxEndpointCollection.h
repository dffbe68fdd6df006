#pragma once
#include "output/SAudioEndpointCollection.h"
#include "output/linux/LinuxEndpointEntry.h"

#include <memory>
#include <vector>

// The outputs of a Linux desktop as they were listed when the collection was made.
class CLinuxEndpointCollection : public SAudioEndpointCollection
{
public:
    CLinuxEndpointCollection(std::shared_ptr<PulseServerConnection> pConnection,
                             std::vector<LinuxEndpointEntry> Entries);

    int32_t GetCount(uint32_t* puiCount) override;
    int32_t Item(uint32_t uiIndex, std::unique_ptr<SAudioEndpoint>& pEndpoint) override;

private:
    std::shared_ptr<PulseServerConnection> pServer;
    std::vector<LinuxEndpointEntry> Items;
};
