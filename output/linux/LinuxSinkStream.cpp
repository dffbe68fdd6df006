#include "output/linux/LinuxSinkStream.h"

#include "output/AudioClientConstants.h"
#include "output/CStreamEndpoint.h"

LinuxSinkStream::LinuxSinkStream(std::shared_ptr<PulseServerConnection> pConnection,
                                 const PulseSinkInfo& Sink, const std::optional<AlsaEndpointInfo>& Hardware)
    : SinkStream(std::move(pConnection), Sink),
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

int32_t LinuxSinkStream::GetDevicePeriod(int64_t* phnsDefaultPeriod, int64_t* phnsMinimumPeriod)
{
    return SinkStream.GetDevicePeriod(phnsDefaultPeriod, phnsMinimumPeriod);
}

int32_t LinuxSinkStream::IsFormatSupported(uint32_t uiShareMode, const AudioStreamFormat* pFormat,
                                           AudioStreamFormat* pClosestMatch)
{
    if (uiShareMode == AUDIO_SHAREMODE_EXCLUSIVE && pHardware != nullptr && pClosestMatch == nullptr &&
        pFormat != nullptr)
    {
        return pHardware->IsFormatSupported(uiShareMode, pFormat, nullptr);
    }
    return SinkStream.IsFormatSupported(uiShareMode, pFormat, pClosestMatch);
}

int32_t LinuxSinkStream::Initialize(uint32_t uiShareMode, uint32_t uiStreamFlags, int64_t hnsBufferDuration,
                                    int64_t hnsPeriodicity, const AudioStreamFormat* pFormat)
{
    if (pRoute != nullptr)
    {
        return AUDIO_E_ALREADY_INITIALIZED;
    }
    SAudioStream& Chosen =
        uiShareMode == AUDIO_SHAREMODE_EXCLUSIVE && pHardware != nullptr && hnsPeriodicity >= 0
            ? static_cast<SAudioStream&>(*pHardware)
            : SinkStream;
    const int32_t iResult =
        Chosen.Initialize(uiShareMode, uiStreamFlags, hnsBufferDuration, hnsPeriodicity, pFormat);
    if (iResult >= 0)
    {
        pRoute = &Chosen;
    }
    return iResult;
}

int32_t LinuxSinkStream::SetEventHandle(SEvent* pEvent)
{
    return Route().SetEventHandle(pEvent);
}

int32_t LinuxSinkStream::GetBufferSize(uint32_t* puiBufferFrames)
{
    return Route().GetBufferSize(puiBufferFrames);
}

int32_t LinuxSinkStream::GetCurrentPadding(uint32_t* puiPaddingFrames)
{
    return Route().GetCurrentPadding(puiPaddingFrames);
}

int32_t LinuxSinkStream::CheckInitialized()
{
    return Route().CheckInitialized();
}

int32_t LinuxSinkStream::GetService(AudioStreamView View)
{
    return Route().GetService(View);
}

int32_t LinuxSinkStream::Start()
{
    return Route().Start();
}

int32_t LinuxSinkStream::Stop()
{
    return Route().Stop();
}

int32_t LinuxSinkStream::GetBuffer(uint32_t uiFrames, uint8_t** ppData)
{
    return Route().GetBuffer(uiFrames, ppData);
}

int32_t LinuxSinkStream::ReleaseBuffer(uint32_t uiFrames, uint32_t uiFlags)
{
    return Route().ReleaseBuffer(uiFrames, uiFlags);
}
