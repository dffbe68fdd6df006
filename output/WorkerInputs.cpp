#include "output/WorkerInputs.h"

#include "output/SAudioClient.h"
#include "runtime/SEvent.h"
#include "runtime/WorkerParameterNames.h"
#include "runtime/WorkerParameters.h"

using namespace WorkerParameterNames;

WorkerAddresses AddressWorkerObjects(BufferCallbackFunction pCallback, void* pUserParameter,
                                     SEvent& TerminationEvent, const int32_t& bEventDriven,
                                     SEvent& BufferEvent, SoundStreamBuffer& StreamBuffer, DataBuffer& Data,
                                     STimer& Timer, const int32_t& bMonauralDevice,
                                     const uint32_t& uiBitCount, uint64_t ullLocalBufferBytes)
{
    WorkerAddresses Addresses;
    Addresses.pbMonauralDevice = &bMonauralDevice;
    Addresses.puiBitCount = &uiBitCount;
    Addresses.pCallback = pCallback;
    Addresses.pUserParameter = pUserParameter;
    Addresses.pTerminationEvent = &TerminationEvent;
    Addresses.pbEventDriven = &bEventDriven;
    Addresses.pBufferEvent = &BufferEvent;
    Addresses.pStreamBuffer = &StreamBuffer;
    Addresses.pDataBuffer = &Data;
    Addresses.pTimer = &Timer;
    Addresses.ullLocalBufferBytes = ullLocalBufferBytes;
    return Addresses;
}

int32_t StoreWorkerInputs(SMultiThread& Worker, const WorkerAddresses& In)
{
    const bool bCapture = In.pCaptureClient != nullptr;
    struct NamedAddress
    {
        const char16_t* pName;
        const void* pAddress;
    };
    const NamedAddress Leading[] = {
        {AUDIO_CLIENT, In.pAudioClient},
        {bCapture ? AUDIO_CAPTURE_CLIENT : AUDIO_RENDER_CLIENT,
         bCapture ? static_cast<const void*>(In.pCaptureClient) : static_cast<const void*>(In.pRenderClient)},
        {CHANNEL_COUNT, In.pullChannelCount},
    };
    int32_t iResult = 1;
    for (const NamedAddress& Entry : Leading)
    {
        if ((iResult = StoreParameterAddress(Worker, Entry.pName, Entry.pAddress)) < 0)
        {
            return iResult;
        }
    }
    if (bCapture && (iResult = StoreParameterAddress(Worker, MONAURAL_DEVICE, In.pbMonauralDevice)) < 0)
    {
        return iResult;
    }
    if ((iResult = StoreParameterAddress(Worker, BIT_COUNT, In.puiBitCount)) < 0 ||
        (iResult = Worker.SetParameter(BUFFER_CALLBACK, reinterpret_cast<uintptr_t>(In.pCallback))) < 0)
    {
        return iResult;
    }
    const NamedAddress Trailing[] = {
        {USER_PARAMETER, In.pUserParameter},
        {TERMINATION_EVENT, In.pTerminationEvent},
        {EVENT_DRIVEN, In.pbEventDriven},
        {BUFFER_EVENT, In.pBufferEvent},
        {SOUND_STREAM_BUFFER, In.pStreamBuffer},
        {DATA_BUFFER, In.pDataBuffer},
        {TIMER, In.pTimer},
    };
    for (const NamedAddress& Entry : Trailing)
    {
        if ((iResult = StoreParameterAddress(Worker, Entry.pName, Entry.pAddress)) < 0)
        {
            return iResult;
        }
    }
    if (In.bLocalBuffer != 0 && (iResult = Worker.AllocateBuffer(LOCAL_BUFFER, In.ullLocalBufferBytes)) < 0)
    {
        return iResult;
    }
    if (!bCapture && (iResult = StoreParameterAddress(Worker, QUANTIZER, In.pQuantizer)) < 0)
    {
        return iResult;
    }
    return 1;
}

WorkerInputs ReadWorkerInputs(const SMultiThread* pOwner)
{
    WorkerInputs In;
    In.pAudioClient = ReadParameterAddress<SAudioClient>(pOwner, AUDIO_CLIENT);
    if (const uint64_t* pullChannels = ReadParameterAddress<uint64_t>(pOwner, CHANNEL_COUNT))
    {
        In.ullChannels = *pullChannels;
    }
    uint64_t ullCallback = 0;
    if (pOwner != nullptr && pOwner->GetParameter(BUFFER_CALLBACK, &ullCallback) == 1)
    {
        In.pCallback = reinterpret_cast<BufferCallbackFunction>(static_cast<uintptr_t>(ullCallback));
    }
    In.pUserParameter = ReadParameterAddress<void>(pOwner, USER_PARAMETER);
    In.pTerminationEvent = ReadParameterAddress<SEvent>(pOwner, TERMINATION_EVENT);
    if (const int32_t* pbEventDriven = ReadParameterAddress<int32_t>(pOwner, EVENT_DRIVEN))
    {
        In.bEventDriven = *pbEventDriven;
    }
    In.pBufferEvent = ReadParameterAddress<SEvent>(pOwner, BUFFER_EVENT);
    In.pStreamBuffer = ReadParameterAddress<SoundStreamBuffer>(pOwner, SOUND_STREAM_BUFFER);
    In.pDataBuffer = ReadParameterAddress<DataBuffer>(pOwner, DATA_BUFFER);
    In.pTimer = ReadParameterAddress<STimer>(pOwner, TIMER);
    uint64_t ullLocalBytes = 0;
    In.pdfLocal = ReadParameterBuffer<double>(pOwner, LOCAL_BUFFER, ullLocalBytes);
    In.ullLocalDoubles = ullLocalBytes / sizeof(double);
    return In;
}

bool InitializeWorkerThread(const WorkerInputs& In)
{
    if (In.pTerminationEvent == nullptr)
    {
        return false;
    }
    if (In.pAudioClient == nullptr || In.pAudioClient->InitializeThread() < 0)
    {
        In.pTerminationEvent->Set();
        return false;
    }
    return true;
}
