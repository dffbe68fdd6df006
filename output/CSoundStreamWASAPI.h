#pragma once
#include "output/DataBuffer.h"
#include "output/Quantizer.h"
#include "output/SAudioCaptureClient.h"
#include "output/SAudioClient.h"
#include "output/SAudioClientLayer.h"
#include "output/SAudioEndpoint.h"
#include "output/SAudioRenderClient.h"
#include "output/SSoundStream.h"
#include "output/SoundStreamBuffer.h"
#include "runtime/CEvent.h"
#include "runtime/CMultiThreadWin.h"
#include "runtime/CMultimediaTimer.h"

#include <cstdint>
#include <memory>
#include <string>

// The output stream over the audio-client layer: negotiates two-channel integer PCM of 32, 24 or 16
// bits at a given rate on an endpoint, then runs the render worker that feeds the device from the
// buffer callback. Written once against the layer; the layer given to the constructor decides
// whether a platform back end or the virtual device serves it. The name is the player's own and
// holds on every platform: on Linux the same class runs over ALSA.
class CSoundStreamWASAPI : public SSoundStream
{
public:
    // pAudioLayer is not owned and must outlive the stream; with none, every set-up fails.
    explicit CSoundStreamWASAPI(SAudioClientLayer* pAudioLayer);
    // Ends the worker and releases everything (the device is not stopped).
    ~CSoundStreamWASAPI() override;

    int32_t PrepareCapture(BufferCallbackFunction pCallback, void* pUserParameter) override;
    int32_t PrepareRender(BufferCallbackFunction pCallback, void* pUserParameter) override;
    int32_t Start() override;
    int32_t Stop(int32_t iReserved) override;
    int32_t IsStopRequested(int32_t* pbStopRequested) override;
    int32_t Close() override;

    // Opens endpoint iDeviceIndex (-1 the default, k >= 0 the k-th active one) at
    // uiSamplingFrequency Hz with a buffer of about *pdfSeconds (0: the device's default period).
    // On success *pdfSeconds holds the granted buffer duration. 1, or the first failure: -1 device
    // or state, -4 missing argument or refused bit counts, -5 sizes out of range.
    int32_t SetupDevice(uint32_t uiSamplingFrequency, double* pdfSeconds, int32_t iDeviceIndex);
    // The same on the active endpoint whose identifier is EndpointId, wherever it is listed now; -1
    // when none has it (the device has gone).
    int32_t SetupDevice(uint32_t uiSamplingFrequency, double* pdfSeconds, const std::u16string& EndpointId);
    // Waits at most uiMilliseconds until the render worker started by PrepareRender has filled the
    // device buffer once (or has ended). 1 filled or ended; 0 time-out; -1 no render worker was
    // prepared.
    int32_t WaitForPrefill(uint32_t uiMilliseconds);
    // 1 when the render worker started by PrepareRender has ended (by a stop, a device error or its
    // callback's end), 0 while it runs, -1 when none was prepared.
    int32_t HasRenderWorkerEnded();
    // Endpoint iDeviceIndex as SetupDevice numbers them. 1, or -1.
    int32_t GetAudioEndpoint(int32_t iDeviceIndex, std::unique_ptr<SAudioEndpoint>& pEndpoint);
    // The active endpoint whose identifier is EndpointId. 1, or -1.
    int32_t GetAudioEndpoint(const std::u16string& EndpointId, std::unique_ptr<SAudioEndpoint>& pEndpoint);

    // Read by the controller.
    uint32_t uiStreamMode = STREAM_MODE_NONE;
    double dfSamplingFrequency = 0.0;
    uint32_t uiBitCount = 0;
    uint64_t ullBufferFrameCount = 0;
    // Written by the controller before set-up; Close keeps them.
    uint32_t uiLogicalBitCount = 0;
    uint64_t ullCallbackFrameCount = 0;
    int32_t bResolutionEnhancer = 0;
    int32_t bSharedMode = 0;
    // Never cleared by the player: set-up goes straight to the timer-driven initialisation.
    int32_t bForceTimerDriven = 1;

    // Views for inspection.
    int32_t IsRunning() const { return bRunning; }
    int32_t IsEventDriven() const { return bEventDriven; }
    uint64_t GetRenderChannelCount() const { return uiRenderChannelCount; }
    uint64_t GetCaptureChannelCount() const { return uiCaptureChannelCount; }
    uint64_t GetLocalBufferBytes() const { return ullLocalBufferBytes; }
    int32_t HasDevice() const { return pDevice != nullptr ? 1 : 0; }
    int32_t HasAudioClient() const { return pAudioClient != nullptr ? 1 : 0; }
    int32_t HasRenderClient() const { return pAudioRenderClient != nullptr ? 1 : 0; }
    const Quantizer& GetQuantizer() const { return QuantizerState; }
    const SoundStreamBuffer& GetSoundStreamBuffer() const { return StreamBuffer; }
    const DataBuffer& GetDataBuffer() const { return Data; }
    const CMultiThreadWin& GetWorker() const { return Worker; }

private:
    // SetupDevice on the endpoint Find gives: the checks, the close of what was open, the set-up and
    // the cleanup after a failure.
    template <typename EndpointFinder>
    int32_t SetupFoundDevice(uint32_t uiSamplingFrequency, double* pdfSeconds, EndpointFinder Find);
    // The steps of SetupDevice after the endpoint was found; the caller cleans up after a failure.
    int32_t SetupEndpoint(uint32_t uiSamplingFrequency, double* pdfSeconds,
                          std::unique_ptr<SAudioEndpoint>& pEndpoint);
    // PrepareRender and PrepareCapture.
    int32_t PrepareWorker(int32_t bCapture, BufferCallbackFunction pCallback, void* pUserParameter);

    SAudioClientLayer* pLayer = nullptr;
    int32_t bLayerThreadInitialized = 0;

    int32_t bRunning = 0;
    uint64_t uiCaptureChannelCount = 0;
    uint64_t uiRenderChannelCount = 0;
    Quantizer QuantizerState;
    std::unique_ptr<SAudioEndpoint> pDevice;
    int32_t bEventDriven = 0;
    CEvent BufferEvent;
    std::unique_ptr<SAudioClient> pAudioClient;
    std::unique_ptr<SAudioRenderClient> pAudioRenderClient;
    std::unique_ptr<SAudioCaptureClient> pAudioCaptureClient;
    CMultiThreadWin Worker;
    CEvent TerminationEvent;
    // Set by the render worker (manual reset); created by PrepareRender.
    CEvent PrefillEvent;
    CEvent ExitEvent;
    int32_t bRenderEventsReady = 0;
    SoundStreamBuffer StreamBuffer;
    DataBuffer Data;
    uint64_t ullLocalBufferBytes = 0;
    CMultimediaTimer Timer;
    int32_t bMonauralDevice = 0;
};
