#pragma once
#include "output/SAudioClient.h"
#include "runtime/win32/ComPointer.h"

#include <windows.h>

#include <audioclient.h>

// One IAudioClient. Every result is the platform's own, passed on unchanged.
class CWasapiAudioClient : public SAudioClient
{
public:
    explicit CWasapiAudioClient(ComPointer<IAudioClient> pClient);

    int32_t InitializeThread() override;
    void UninitializeThread() override;
    int32_t GetDevicePeriod(int64_t* phnsDefaultPeriod, int64_t* phnsMinimumPeriod) override;
    // A closest match the platform offers is translated into *pClosestMatch and its memory freed.
    int32_t IsFormatSupported(uint32_t uiShareMode, const AudioStreamFormat* pFormat,
                              AudioStreamFormat* pClosestMatch) override;
    int32_t Initialize(uint32_t uiShareMode, uint32_t uiStreamFlags, int64_t hnsBufferDuration,
                       int64_t hnsPeriodicity, const AudioStreamFormat* pFormat) override;
    // pEvent must be a CEvent: the client is given its Win32 handle.
    int32_t SetEventHandle(SEvent* pEvent) override;
    int32_t GetBufferSize(uint32_t* puiBufferFrames) override;
    int32_t GetCurrentPadding(uint32_t* puiPaddingFrames) override;
    int32_t GetRenderClient(std::unique_ptr<SAudioRenderClient>& pRenderClient) override;
    int32_t GetCaptureClient(std::unique_ptr<SAudioCaptureClient>& pCaptureClient) override;
    int32_t Start() override;
    int32_t Stop() override;

private:
    ComPointer<IAudioClient> pNative;
};
