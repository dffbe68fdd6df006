#pragma once
#include "output/SAudioRenderClient.h"
#include "output/alsa/AlsaPcmStream.h"

#include <memory>

// The render service of an initialised ALSA stream: the staging block and snd_pcm_writei.
class CAlsaRenderClient : public SAudioRenderClient
{
public:
    explicit CAlsaRenderClient(std::shared_ptr<AlsaPcmStream> pStream);

    int32_t GetBuffer(uint32_t uiFrames, uint8_t** ppData) override;
    int32_t ReleaseBuffer(uint32_t uiFrames, uint32_t uiFlags) override;

private:
    std::shared_ptr<AlsaPcmStream> pPcmStream;
};
