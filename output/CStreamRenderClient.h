#pragma once
#include "output/SAudioRenderClient.h"
#include "output/SAudioStream.h"

#include <memory>

// The render service of a stream: its buffer calls.
class CStreamRenderClient : public SAudioRenderClient
{
public:
    explicit CStreamRenderClient(std::shared_ptr<SAudioStream> pStream);
    ~CStreamRenderClient() override;

    int32_t GetBuffer(uint32_t uiFrames, uint8_t** ppData) override;
    int32_t ReleaseBuffer(uint32_t uiFrames, uint32_t uiFlags) override;

private:
    const std::shared_ptr<SAudioStream> pAudioStream;
};
