#include "output/linux/LinuxEndpointEntry.h"

#include "output/alsa/CAlsaEndpoint.h"
#include "output/pulse/CPulseEndpoint.h"

std::unique_ptr<SAudioEndpoint> MakeLinuxEndpoint(const std::shared_ptr<PulseServerConnection>& pConnection,
                                                  const LinuxEndpointEntry& Entry)
{
    std::unique_ptr<SAudioEndpoint> pAlsa;
    if (Entry.Alsa.has_value())
    {
        pAlsa = std::make_unique<CAlsaEndpoint>(*Entry.Alsa);
    }
    if (!Entry.Sink.has_value())
    {
        return pAlsa;
    }
    return std::make_unique<CPulseEndpoint>(pConnection, *Entry.Sink, std::move(pAlsa));
}
