#include "tests/common/TestWorker.h"

#include "output/WorkerInputs.h"

#include <algorithm>

TestWorker::~TestWorker()
{
    TerminationEvent.Set();
    Worker.WaitForExit();
    Worker.Release();
}

::testing::AssertionResult TestWorker::Prepare(uint32_t uiDeviceFrames, uint64_t ullBlockFrames,
                                               uint32_t uiBits, bool bCapture)
{
    uiBufferFrames = uiDeviceFrames;
    if (Block.Initialize(nullptr, ullBlockFrames, bCapture ? 1 : 0) != 1 ||
        Data.Initialize(16 * uint64_t{uiBufferFrames}, 16 * ullBlockFrames) != 1 ||
        QuantizerState.Initialize(uiBits, uiBits, 0) != 1 || TerminationEvent.Create(1, 0) != 1 ||
        BufferEvent.Create(0, 0) != 1)
    {
        return ::testing::AssertionFailure() << "the worker's objects could not be made";
    }
    uiBitCount = uiBits;
    return ::testing::AssertionSuccess();
}

int32_t TestWorker::Launch(ThreadBody pBody, BufferCallbackFunction pCallback, void* pUserParameter,
                           bool bLocalBuffer)
{
    int32_t iResult = Worker.Create(1);
    WorkerAddresses Inputs = AddressWorkerObjects(pCallback, pUserParameter, TerminationEvent, bEventDriven,
                                                  BufferEvent, Block, Data, Timer, bMonaural, uiBitCount,
                                                  16 * std::max<uint64_t>(uiBufferFrames, Block.ullCapacity));
    Inputs.pAudioClient = pClient.get();
    Inputs.pCaptureClient = pCaptureClient.get();
    Inputs.pRenderClient = pRenderClient.get();
    Inputs.pullChannelCount = &ullChannels;
    Inputs.pQuantizer = &QuantizerState;
    Inputs.bLocalBuffer = bLocalBuffer ? 1 : 0;
    if (iResult >= 0)
    {
        iResult = StoreWorkerInputs(Worker, Inputs);
    }
    return iResult >= 0 ? Worker.Start(pBody) : iResult;
}

uint64_t TestWorker::Join()
{
    TerminationEvent.Set();
    Worker.WaitForExit();
    return Worker.GetResult(0);
}
