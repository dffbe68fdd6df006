#include "output/linux/LinuxSinkStream.h"

#include "output/AudioClientConstants.h"
#include "output/CStreamEndpoint.h"

LinuxSinkStream::LinuxSinkStream(std::shared_ptr<PulseServerConnection> pConnection,
                                 const PulseSinkInfo& Sink, const std::optional<AlsaEndpointInfo>& Hardware)
    : PulseSinkStream(std::move(pConnection), Sink),
      pHardware(Hardware.has_value() ? std::make_unique<AlsaPcmStream>(*Hardware) : nullptr)
{
}

std::unique_ptr<SAudioEndpoint>
LinuxSinkStream::MakeEndpoint(const std::shared_ptr<PulseServerConnection>& pConnection,
                              const PulseSinkInfo& Sink, const std::optional<AlsaEndpointInfo>& Hardware)
{
    return CStreamEndpoint::FromUtf8(
        Sink.Description, Sink.Name,
        [pConnection, Name = Sink.Name, Hardware](std::shared_ptr<SAudioStream>& pStream)
        {
            PulseSinkInfo Current;
            const int32_t iFound = pConnection->FindSink(Name, Current);
            if (iFound < 0)
            {
                return iFound;
            }
            pStream = std::make_shared<LinuxSinkStream>(pConnection, Current, Hardware);
            return AUDIO_OK;
        });
}

SAudioStream& LinuxSinkStream::ProbeRoute(uint32_t uiShareMode, const AudioStreamFormat* pFormat,
                                          const AudioStreamFormat* pClosestMatch)
{
    if (uiShareMode == AUDIO_SHAREMODE_EXCLUSIVE && pHardware != nullptr && pClosestMatch == nullptr &&
        pFormat != nullptr)
    {
        return *pHardware;
    }
    return *this;
}

SAudioStream& LinuxSinkStream::InitializeRoute(uint32_t uiShareMode, int64_t hnsPeriodicity)
{
    if (uiShareMode == AUDIO_SHAREMODE_EXCLUSIVE && pHardware != nullptr && hnsPeriodicity >= 0)
    {
        return *pHardware;
    }
    return *this;
}
