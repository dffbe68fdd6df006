#pragma once
#include "output/SAudioCaptureClient.h"
#include "output/SAudioStream.h"

#include <memory>

// The capture service of a stream: its capture-buffer calls.
class CStreamCaptureClient : public SAudioCaptureClient
{
public:
    explicit CStreamCaptureClient(std::shared_ptr<SAudioStream> pStream);
    ~CStreamCaptureClient() override;

    int32_t GetBuffer(uint8_t** ppData, uint32_t* puiFrames, uint32_t* puiFlags) override;
    int32_t ReleaseBuffer(uint32_t uiFrames) override;

private:
    const std::shared_ptr<SAudioStream> pAudioStream;
};
