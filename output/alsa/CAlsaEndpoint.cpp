#include "output/alsa/CAlsaEndpoint.h"

#include "output/AudioClientConstants.h"
#include "output/alsa/CAlsaAudioClient.h"
#include "runtime/TextConversion.h"

#include <utility>

CAlsaEndpoint::CAlsaEndpoint(AlsaEndpointInfo Endpoint) : Info(std::move(Endpoint)) {}

int32_t CAlsaEndpoint::Activate(std::unique_ptr<SAudioClient>& pAudioClient)
{
    pAudioClient = std::make_unique<CAlsaAudioClient>(Info);
    return AUDIO_OK;
}

int32_t CAlsaEndpoint::GetFriendlyName(std::u16string& Name, int32_t& bIsText)
{
    Name = Utf8ToWide(Info.Name);
    // Malformed bytes come back as replacement characters: such a name is no text to show.
    bIsText = !Name.empty() && Name.find(u'\uFFFD') == std::u16string::npos ? 1 : 0;
    if (bIsText == 0)
    {
        Name.clear();
    }
    return AUDIO_OK;
}

int32_t CAlsaEndpoint::GetId(std::u16string& Id)
{
    Id = Utf8ToWide(Info.Id);
    return AUDIO_OK;
}
