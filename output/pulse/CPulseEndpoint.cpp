#include "output/pulse/CPulseEndpoint.h"

#include "output/AudioClientConstants.h"
#include "output/FriendlyNameText.h"
#include "output/pulse/CPulseAudioClient.h"
#include "runtime/TextConversion.h"

#include <utility>

CPulseEndpoint::CPulseEndpoint(std::shared_ptr<PulseServerConnection> pConnection, PulseSinkInfo Sink,
                               std::unique_ptr<SAudioEndpoint> pHardwareEndpoint)
    : pServer(std::move(pConnection)), SinkInfo(std::move(Sink)), pHardware(std::move(pHardwareEndpoint))
{
}

int32_t CPulseEndpoint::Activate(std::unique_ptr<SAudioClient>& pAudioClient)
{
    pAudioClient.reset();
    PulseSinkInfo Current;
    const int32_t iFound = pServer->FindSink(SinkInfo.Name, Current);
    if (iFound < 0)
    {
        return iFound;
    }
    std::unique_ptr<SAudioClient> pHardwareClient;
    if (pHardware != nullptr && pHardware->Activate(pHardwareClient) < 0)
    {
        pHardwareClient.reset();
    }
    pAudioClient = std::make_unique<CPulseAudioClient>(pServer, Current, std::move(pHardwareClient));
    return AUDIO_OK;
}

int32_t CPulseEndpoint::GetFriendlyName(std::u16string& Name, int32_t& bIsText)
{
    FriendlyNameText(SinkInfo.Description, Name, bIsText);
    return AUDIO_OK;
}

int32_t CPulseEndpoint::GetId(std::u16string& Id)
{
    Id = Utf8ToWide(SinkInfo.Name);
    return AUDIO_OK;
}
