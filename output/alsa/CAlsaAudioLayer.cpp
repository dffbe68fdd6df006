#include "output/alsa/CAlsaAudioLayer.h"

#include "output/AudioClientConstants.h"
#include "output/CEndpointEnumerator.h"
#include "output/alsa/AlsaDeviceList.h"
#include "output/alsa/AlsaPcmStream.h"

#include <alsa/asoundlib.h>

#include <cstdlib>
#include <cstring>
#include <mutex>

namespace
{
void IgnoreAlsaError(const char*, int, const char*, int, const char*, ...) {}
} // namespace

CAlsaAudioLayer::CAlsaAudioLayer()
{
    QuietErrorOutput();
}

void CAlsaAudioLayer::QuietErrorOutput()
{
    static std::once_flag Once;
    std::call_once(Once,
                   []
                   {
                       const char* pVerbose = std::getenv("LARKSPUR_VERBOSE");
                       if (pVerbose == nullptr || *pVerbose == '\0' || std::strcmp(pVerbose, "0") == 0)
                       {
                           snd_lib_error_set_handler(IgnoreAlsaError);
                       }
                   });
}

// ALSA needs no per-thread set-up.
int32_t CAlsaAudioLayer::InitializeThread()
{
    return AUDIO_OK;
}

void CAlsaAudioLayer::UninitializeThread() {}

int32_t CAlsaAudioLayer::CreateDeviceEnumerator(std::unique_ptr<SAudioDeviceEnumerator>& pEnumerator)
{
    pEnumerator = std::make_unique<CEndpointEnumerator>(
        [](std::unique_ptr<SAudioEndpoint>& pEndpoint)
        {
            pEndpoint = AlsaPcmStream::MakeEndpoint(DefaultAlsaEndpoint());
            return AUDIO_OK;
        },
        []
        {
            std::vector<AlsaEndpointInfo> Endpoints;
            ListAlsaEndpoints(Endpoints);
            std::vector<CEndpointCollection::EndpointMaker> Items;
            for (AlsaEndpointInfo& Endpoint : Endpoints)
            {
                Items.push_back([Info = std::move(Endpoint)] { return AlsaPcmStream::MakeEndpoint(Info); });
            }
            return Items;
        });
    return AUDIO_OK;
}
