#pragma once
#include "output/SAudioEndpoint.h"
#include "output/alsa/AlsaEndpointInfo.h"

// One ALSA output endpoint: its device string is its identifier.
class CAlsaEndpoint : public SAudioEndpoint
{
public:
    explicit CAlsaEndpoint(AlsaEndpointInfo Endpoint);

    int32_t Activate(std::unique_ptr<SAudioClient>& pAudioClient) override;
    // The name is text when ALSA gave a non-empty, well-formed UTF-8 one.
    int32_t GetFriendlyName(std::u16string& Name, int32_t& bIsText) override;
    int32_t GetId(std::u16string& Id) override;

private:
    AlsaEndpointInfo Info;
};
