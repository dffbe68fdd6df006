#pragma once
#include "output/SAudioRenderClient.h"
#include "output/pulse/PulseSinkStream.h"

#include <memory>

// The render service of a stream to a sink: a staging block handed to the server on release.
class CPulseRenderClient : public SAudioRenderClient
{
public:
    explicit CPulseRenderClient(std::shared_ptr<PulseSinkStream> pStream);

    int32_t GetBuffer(uint32_t uiFrames, uint8_t** ppData) override;
    int32_t ReleaseBuffer(uint32_t uiFrames, uint32_t uiFlags) override;

private:
    std::shared_ptr<PulseSinkStream> pSinkStream;
};
