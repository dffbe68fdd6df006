#include "output/WorkerInputs.h"

#include "output/SAudioClient.h"
#include "output/WorkerParameters.h"
#include "runtime/SEvent.h"

WorkerInputs ReadWorkerInputs(const SMultiThread* pOwner)
{
    WorkerInputs In;
    In.pAudioClient = ReadParameterAddress<SAudioClient>(pOwner, u"pAudioClient");
    if (const uint64_t* pullChannels = ReadParameterAddress<uint64_t>(pOwner, u"puiChannelCount"))
    {
        In.ullChannels = *pullChannels;
    }
    uint64_t ullCallback = 0;
    if (pOwner != nullptr && pOwner->GetParameter(u"BufferCallbackFunction", &ullCallback) == 1)
    {
        In.pCallback = reinterpret_cast<BufferCallbackFunction>(static_cast<uintptr_t>(ullCallback));
    }
    In.pUserParameter = ReadParameterAddress<void>(pOwner, u"pUserParameter");
    In.pTerminationEvent = ReadParameterAddress<SEvent>(pOwner, u"pTerminationEvent");
    if (const int32_t* pbEventDriven = ReadParameterAddress<int32_t>(pOwner, u"pbEventDriven"))
    {
        In.bEventDriven = *pbEventDriven;
    }
    In.pBufferEvent = ReadParameterAddress<SEvent>(pOwner, u"pBufferEvent");
    In.pStreamBuffer = ReadParameterAddress<SoundStreamBuffer>(pOwner, u"pSoundStreamBuffer");
    In.pDataBuffer = ReadParameterAddress<DataBuffer>(pOwner, u"pDataBuffer");
    In.pTimer = ReadParameterAddress<STimer>(pOwner, u"pTimer");
    void* pLocal = nullptr;
    uint64_t ullLocalBytes = 0;
    if (pOwner != nullptr && pOwner->GetBuffer(u"pdfLocalBuffer", &pLocal, &ullLocalBytes) == 1 &&
        pLocal != nullptr)
    {
        In.pdfLocal = static_cast<double*>(pLocal);
        In.ullLocalDoubles = ullLocalBytes / sizeof(double);
    }
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
