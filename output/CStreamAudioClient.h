#pragma once
#include "output/SAudioClient.h"
#include "output/SAudioStream.h"

#include <memory>
#include <new>

// The audio client of every back end that supplies an SAudioStream: the calls go to the stream (or
// the stream it routes the client's Initialize to), and its render and capture services are views of
// that stream.
class CStreamAudioClient : public SAudioClient
{
public:
    explicit CStreamAudioClient(std::shared_ptr<SAudioStream> pStream);
    ~CStreamAudioClient() override;

    int32_t InitializeThread() override;
    void UninitializeThread() override;
    int32_t GetDevicePeriod(int64_t* phnsDefaultPeriod, int64_t* phnsMinimumPeriod) override;
    int32_t IsFormatSupported(uint32_t uiShareMode, const AudioStreamFormat* pFormat,
                              AudioStreamFormat* pClosestMatch) override;
    int32_t Initialize(uint32_t uiShareMode, uint32_t uiStreamFlags, int64_t hnsBufferDuration,
                       int64_t hnsPeriodicity, const AudioStreamFormat* pFormat) override;
    int32_t SetEventHandle(SEvent* pEvent) override;
    int32_t GetBufferSize(uint32_t* puiBufferFrames) override;
    int32_t GetCurrentPadding(uint32_t* puiPaddingFrames) override;
    int32_t GetRenderClient(std::unique_ptr<SAudioRenderClient>& pRenderClient) override;
    int32_t GetCaptureClient(std::unique_ptr<SAudioCaptureClient>& pCaptureClient) override;
    int32_t Start() override;
    int32_t Stop() override;

private:
    // A new service of the stream, when the stream has one for View now.
    template <class TView, class TService>
    int32_t MakeService(AudioStreamView View, std::unique_ptr<TService>& pService)
    {
        pService.reset();
        const int32_t iResult = pRoute->GetService(View);
        if (iResult < 0)
        {
            return iResult;
        }
        pService.reset(new (std::nothrow) TView(pRoute));
        return pService != nullptr ? AUDIO_OK : AUDIO_E_OUTOFMEMORY;
    }

    const std::shared_ptr<SAudioStream> pAudioStream;
    // The stream Initialize went to (sharing the ownership of pAudioStream); pAudioStream until then.
    std::shared_ptr<SAudioStream> pRoute;
    int32_t bRouted = 0;
};
