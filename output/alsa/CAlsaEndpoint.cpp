#include "output/alsa/CAlsaEndpoint.h"

#include "output/AudioClientConstants.h"
#include "output/FriendlyNameText.h"
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
    FriendlyNameText(Info.Name, Name, bIsText);
    return AUDIO_OK;
}

int32_t CAlsaEndpoint::GetId(std::u16string& Id)
{
    Id = Utf8ToWide(Info.Id);
    return AUDIO_OK;
}
