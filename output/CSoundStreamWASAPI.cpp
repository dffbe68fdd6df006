#include "output/CSoundStreamWASAPI.h"

#include "output/AudioClientConstants.h"
#include "output/AudioStreamFormat.h"
#include "output/CaptureThreadBody.h"
#include "output/RenderThreadBody.h"
#include "output/SAudioDeviceEnumerator.h"
#include "output/SAudioEndpointCollection.h"
#include "output/WorkerInputs.h"
#include "runtime/ResultCodes.h"
#include "runtime/WorkerParameterNames.h"
#include "runtime/WorkerParameters.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace
{
constexpr uint64_t STEREO_FRAME_BYTES = 2 * sizeof(double);
constexpr double MAX_BUFFER_FRAMES = 4294967295.0;
constexpr uint32_t PROBED_BIT_COUNTS[] = {32, 24, 16};

} // namespace

CSoundStreamWASAPI::CSoundStreamWASAPI(SAudioClientLayer* pAudioLayer) : pLayer(pAudioLayer)
{
    BufferEvent.Create(0, 0);
    TerminationEvent.Create(0, 0);
    // A thread whose set-up failed must not be torn down, so the outcome is remembered.
    bLayerThreadInitialized = pLayer != nullptr && pLayer->InitializeThread() >= 0 ? 1 : 0;
}

CSoundStreamWASAPI::~CSoundStreamWASAPI()
{
    Close();
    if (bLayerThreadInitialized != 0)
    {
        pLayer->UninitializeThread();
    }
    TerminationEvent.Close();
    BufferEvent.Close();
}

int32_t CSoundStreamWASAPI::GetAudioEndpoint(int32_t iDeviceIndex, std::unique_ptr<SAudioEndpoint>& pEndpoint)
{
    pEndpoint.reset();
    std::unique_ptr<SAudioDeviceEnumerator> pEnumerator;
    if (pLayer == nullptr || pLayer->CreateDeviceEnumerator(pEnumerator) < 0 || pEnumerator == nullptr)
    {
        return -1;
    }
    if (iDeviceIndex == -1)
    {
        if (pEnumerator->GetDefaultAudioEndpoint(pEndpoint) < 0 || pEndpoint == nullptr)
        {
            pEndpoint.reset();
            return -1;
        }
        return 1;
    }
    std::unique_ptr<SAudioEndpointCollection> pCollection;
    if (iDeviceIndex < 0 || pEnumerator->EnumAudioEndpoints(pCollection) < 0 || pCollection == nullptr ||
        pCollection->Item(static_cast<uint32_t>(iDeviceIndex), pEndpoint) < 0 || pEndpoint == nullptr)
    {
        pEndpoint.reset();
        return -1;
    }
    return 1;
}

int32_t CSoundStreamWASAPI::GetAudioEndpoint(const std::u16string& EndpointId,
                                             std::unique_ptr<SAudioEndpoint>& pEndpoint)
{
    pEndpoint.reset();
    std::unique_ptr<SAudioDeviceEnumerator> pEnumerator;
    std::unique_ptr<SAudioEndpointCollection> pCollection;
    uint32_t uiCount = 0;
    if (EndpointId.empty() || pLayer == nullptr || pLayer->CreateDeviceEnumerator(pEnumerator) < 0 ||
        pEnumerator == nullptr || pEnumerator->EnumAudioEndpoints(pCollection) < 0 ||
        pCollection == nullptr || pCollection->GetCount(&uiCount) < 0)
    {
        return -1;
    }
    for (uint32_t i = 0; i < uiCount; ++i)
    {
        std::unique_ptr<SAudioEndpoint> pCandidate;
        std::u16string Id;
        if (pCollection->Item(i, pCandidate) >= 0 && pCandidate != nullptr && pCandidate->GetId(Id) >= 0 &&
            Id == EndpointId)
        {
            pEndpoint = std::move(pCandidate);
            return 1;
        }
    }
    return -1;
}

int32_t CSoundStreamWASAPI::SetupDevice(uint32_t uiSamplingFrequency, double* pdfSeconds,
                                        int32_t iDeviceIndex)
{
    return SetupFoundDevice(uiSamplingFrequency, pdfSeconds,
                            [this, iDeviceIndex](std::unique_ptr<SAudioEndpoint>& pEndpoint)
                            { return GetAudioEndpoint(iDeviceIndex, pEndpoint); });
}

int32_t CSoundStreamWASAPI::SetupDevice(uint32_t uiSamplingFrequency, double* pdfSeconds,
                                        const std::u16string& EndpointId)
{
    return SetupFoundDevice(uiSamplingFrequency, pdfSeconds,
                            [this, &EndpointId](std::unique_ptr<SAudioEndpoint>& pEndpoint)
                            { return GetAudioEndpoint(EndpointId, pEndpoint); });
}

template <typename EndpointFinder>
int32_t CSoundStreamWASAPI::SetupFoundDevice(uint32_t uiSamplingFrequency, double* pdfSeconds,
                                             EndpointFinder Find)
{
    // Refused before anything is closed, so a bad call leaves a running stream alone.
    if (pdfSeconds == nullptr || uiSamplingFrequency == 0 || std::isnan(*pdfSeconds))
    {
        return -4;
    }
    Close();
    std::unique_ptr<SAudioEndpoint> pEndpoint;
    const int32_t iEndpoint = Find(pEndpoint);
    if (iEndpoint < 0)
    {
        return iEndpoint;
    }
    const int32_t iResult = SetupEndpoint(uiSamplingFrequency, pdfSeconds, pEndpoint);
    if (iResult < 0)
    {
        // The client and the endpoint went with the locals of SetupEndpoint.
        StreamBuffer.Release();
        Data.Release();
    }
    return iResult;
}

int32_t CSoundStreamWASAPI::SetupEndpoint(uint32_t uiSamplingFrequency, double* pdfSeconds,
                                          std::unique_ptr<SAudioEndpoint>& pEndpoint)
{
    std::unique_ptr<SAudioClient> pClient;
    if (pEndpoint->Activate(pClient) < 0 || pClient == nullptr)
    {
        return -1;
    }
    int64_t hnsDefaultPeriod = 0;
    int64_t hnsMinimumPeriod = 0;
    if (pClient->GetDevicePeriod(&hnsDefaultPeriod, &hnsMinimumPeriod) < 0)
    {
        return -1;
    }

    // Buffer duration in 100 ns units, from a whole number of frames.
    const double dfFrequency = uiSamplingFrequency;
    int64_t hnsDuration = hnsDefaultPeriod;
    if (*pdfSeconds != 0.0)
    {
        double dfFrames = std::floor(dfFrequency * *pdfSeconds);
        dfFrames = std::clamp(dfFrames, 0.0, MAX_BUFFER_FRAMES);
        hnsDuration = static_cast<int64_t>(std::trunc(dfFrames / dfFrequency * 1000 * 1000 * 1000 / 100));
        hnsDuration = std::max(hnsDuration, hnsMinimumPeriod);
    }

    // Probe 32, 24, 16 bits; any success counts, a closest-match offer in shared mode included.
    const uint32_t uiShareMode = bSharedMode == 1 ? AUDIO_SHAREMODE_SHARED : AUDIO_SHAREMODE_EXCLUSIVE;
    uint32_t uiAcceptedBits = 0;
    for (const uint32_t uiBits : PROBED_BIT_COUNTS)
    {
        const AudioStreamFormat Proposal = MakeStereoPcmFormat(uiSamplingFrequency, uiBits);
        AudioStreamFormat ClosestMatch{};
        const int32_t iProbe = pClient->IsFormatSupported(
            uiShareMode, &Proposal, uiShareMode == AUDIO_SHAREMODE_SHARED ? &ClosestMatch : nullptr);
        if (iProbe >= 0)
        {
            uiAcceptedBits = uiBits;
            break;
        }
    }
    if (uiAcceptedBits == 0)
    {
        return -1;
    }
    const AudioStreamFormat Format = MakeStereoPcmFormat(uiSamplingFrequency, uiAcceptedBits);

    int32_t bNewEventDriven = 0;
    if (bForceTimerDriven == 0 &&
        pClient->Initialize(uiShareMode, AUDIO_STREAMFLAGS_EVENTCALLBACK | AUDIO_STREAMFLAGS_NOPERSIST,
                            hnsDuration, hnsDuration, &Format) >= 0)
    {
        BufferEvent.Create(0, 0);
        if (pClient->SetEventHandle(&BufferEvent) < 0)
        {
            return -1;
        }
        bNewEventDriven = 1;
    }
    if (bNewEventDriven == 0 &&
        pClient->Initialize(uiShareMode, AUDIO_STREAMFLAGS_NOPERSIST, hnsDuration, hnsDuration, &Format) < 0)
    {
        return -1;
    }

    uint32_t uiBufferFrames = 0;
    if (pClient->GetBufferSize(&uiBufferFrames) < 0)
    {
        return -1;
    }
    const uint64_t ullFrames = uiBufferFrames;
    if (ullCallbackFrameCount == 0)
    {
        ullCallbackFrameCount = ullFrames;
    }
    const uint64_t ullCallbackFrames = ullCallbackFrameCount;
    const int32_t iStreamBuffer = StreamBuffer.Initialize(this, ullCallbackFrames, 0);
    if (iStreamBuffer < 0)
    {
        return iStreamBuffer;
    }
    // The local buffer holds the larger of a callback delivery and a whole device buffer.
    const uint64_t ullLargest = std::max(ullCallbackFrames, ullFrames);
    if (ullLargest > std::numeric_limits<uint64_t>::max() / STEREO_FRAME_BYTES)
    {
        return -1;
    }
    ullLocalBufferBytes = STEREO_FRAME_BYTES * ullLargest;
    const int32_t iData =
        Data.Initialize(STEREO_FRAME_BYTES * ullFrames, STEREO_FRAME_BYTES * ullCallbackFrames);
    if (iData < 0)
    {
        ullLocalBufferBytes = 0;
        return iData;
    }
    ullBufferFrameCount = ullFrames;

    const uint32_t uiEffectiveBits =
        uiLogicalBitCount == 0 ? uiAcceptedBits : std::min(uiLogicalBitCount, uiAcceptedBits);
    std::unique_ptr<SAudioRenderClient> pRenderClient;
    if (pClient->GetRenderClient(pRenderClient) < 0 || pRenderClient == nullptr)
    {
        ullLocalBufferBytes = 0;
        return -1;
    }
    const int32_t iQuantizer =
        QuantizerState.Initialize(uiEffectiveBits, uiAcceptedBits, bResolutionEnhancer);
    if (iQuantizer < 0)
    {
        ullLocalBufferBytes = 0;
        return iQuantizer;
    }

    pAudioRenderClient = std::move(pRenderClient);
    *pdfSeconds = static_cast<double>(ullFrames) / dfFrequency;
    pDevice = std::move(pEndpoint);
    uiRenderChannelCount = 2;
    pAudioClient = std::move(pClient);
    dfSamplingFrequency = dfFrequency;
    uiStreamMode = STREAM_MODE_RENDER;
    bEventDriven = bNewEventDriven;
    uiBitCount = uiAcceptedBits;
    return 1;
}

int32_t CSoundStreamWASAPI::PrepareCapture(BufferCallbackFunction pCallback, void* pUserParameter)
{
    return PrepareWorker(1, pCallback, pUserParameter);
}

int32_t CSoundStreamWASAPI::PrepareRender(BufferCallbackFunction pCallback, void* pUserParameter)
{
    return PrepareWorker(0, pCallback, pUserParameter);
}

int32_t CSoundStreamWASAPI::PrepareWorker(int32_t bCapture, BufferCallbackFunction pCallback,
                                          void* pUserParameter)
{
    if (uiStreamMode != (bCapture != 0 ? STREAM_MODE_CAPTURE : STREAM_MODE_RENDER))
    {
        return -1;
    }
    // A second launch while the first worker runs would replace its termination event and tables
    // under it.
    const int32_t iWorkerState = Worker.GetState();
    if (iWorkerState == THREAD_STATE_RUNNING || iWorkerState == THREAD_STATE_STOPPING)
    {
        return -1;
    }
    int32_t iResult = TerminationEvent.Create(1, 0);
    if (iResult < 0)
    {
        return iResult;
    }
    iResult = Worker.Create(1);
    if (iResult < 0)
    {
        return iResult;
    }
    bRenderEventsReady = 0;
    if (bCapture == 0)
    {
        if ((iResult = PrefillEvent.Create(1, 0)) < 0 || (iResult = ExitEvent.Create(1, 0)) < 0)
        {
            return iResult;
        }
    }

    WorkerAddresses Inputs =
        AddressWorkerObjects(pCallback, pUserParameter, TerminationEvent, bEventDriven, BufferEvent,
                             StreamBuffer, Data, Timer, bMonauralDevice, uiBitCount, ullLocalBufferBytes);
    Inputs.pAudioClient = pAudioClient.get();
    if (bCapture != 0)
    {
        Inputs.pCaptureClient = pAudioCaptureClient.get();
        Inputs.pullChannelCount = &uiCaptureChannelCount;
    }
    else
    {
        Inputs.pRenderClient = pAudioRenderClient.get();
        Inputs.pullChannelCount = &uiRenderChannelCount;
        Inputs.pQuantizer = &QuantizerState;
    }
    if ((iResult = StoreWorkerInputs(Worker, Inputs)) < 0)
    {
        return iResult;
    }
    if (bCapture == 0 && ((iResult = StoreParameterAddress(Worker, WorkerParameterNames::PREFILL_EVENT,
                                                           static_cast<SEvent*>(&PrefillEvent))) < 0 ||
                          (iResult = StoreParameterAddress(Worker, WorkerParameterNames::EXIT_EVENT,
                                                           static_cast<SEvent*>(&ExitEvent))) < 0))
    {
        return iResult;
    }
    if ((iResult = Worker.SetPriority(1)) < 0)
    {
        return iResult;
    }
    iResult = Worker.Start(bCapture != 0 ? CaptureThreadBody : RenderThreadBody);
    bRenderEventsReady = bCapture == 0 && iResult >= 0 ? 1 : 0;
    return iResult;
}

int32_t CSoundStreamWASAPI::WaitForPrefill(uint32_t uiMilliseconds)
{
    if (bRenderEventsReady == 0)
    {
        return RESULT_FAILED;
    }
    return PrefillEvent.Wait(uiMilliseconds) > 0 ? RESULT_SUCCESS : RESULT_NOTHING_DONE;
}

int32_t CSoundStreamWASAPI::HasRenderWorkerEnded()
{
    if (bRenderEventsReady == 0)
    {
        return RESULT_FAILED;
    }
    return ExitEvent.Wait(0) > 0 ? 1 : 0;
}

int32_t CSoundStreamWASAPI::Start()
{
    if (uiStreamMode == STREAM_MODE_NONE || pAudioClient == nullptr || pAudioClient->Start() < 0)
    {
        return -1;
    }
    bRunning = 1;
    return 1;
}

int32_t CSoundStreamWASAPI::Stop(int32_t /*iReserved*/)
{
    if (uiStreamMode == STREAM_MODE_NONE)
    {
        return -1;
    }
    TerminationEvent.Set();
    if (pAudioClient != nullptr)
    {
        pAudioClient->Stop();
    }
    Worker.WaitForExit();
    Worker.Release();
    Close();
    bRunning = 0;
    return 1;
}

int32_t CSoundStreamWASAPI::IsStopRequested(int32_t* pbStopRequested)
{
    if (bRunning == 0)
    {
        return -1;
    }
    if (pbStopRequested == nullptr)
    {
        return -4;
    }
    SEvent* pStopEvent = Worker.GetStopEvent();
    *pbStopRequested = pStopEvent != nullptr && pStopEvent->Wait(0) > 0 ? 1 : 0;
    return 1;
}

int32_t CSoundStreamWASAPI::Close()
{
    TerminationEvent.Set();
    Worker.WaitForExit();
    Worker.Release();
    uiBitCount = 0;
    uiCaptureChannelCount = 0;
    uiRenderChannelCount = 0;
    dfSamplingFrequency = 0.0;
    ullLocalBufferBytes = 0;
    StreamBuffer.Release();
    Data.Release();
    pAudioCaptureClient.reset();
    pAudioRenderClient.reset();
    pAudioClient.reset();
    pDevice.reset();
    TerminationEvent.Close();
    bRenderEventsReady = 0;
    PrefillEvent.Close();
    ExitEvent.Close();
    bEventDriven = 0;
    BufferEvent.Close();
    uiStreamMode = STREAM_MODE_NONE;
    return 1;
}
