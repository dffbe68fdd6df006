#pragma once
#include "output/SoundStreamBuffer.h"
#include "runtime/SMultiThread.h"

#include <cstdint>

class DataBuffer;
class SAudioClient;
class SEvent;
class STimer;

// What the render and capture workers both read from their tables once, at their start.
struct WorkerInputs
{
    SAudioClient* pAudioClient = nullptr;
    uint64_t ullChannels = 0;
    BufferCallbackFunction pCallback = nullptr;
    void* pUserParameter = nullptr;
    SEvent* pTerminationEvent = nullptr;
    int32_t bEventDriven = 0;
    SEvent* pBufferEvent = nullptr;
    SoundStreamBuffer* pStreamBuffer = nullptr;
    DataBuffer* pDataBuffer = nullptr;
    STimer* pTimer = nullptr;
    double* pdfLocal = nullptr;
    uint64_t ullLocalDoubles = 0;
};

// The common inputs stored under their names in pOwner's tables (absent ones stay empty).
WorkerInputs ReadWorkerInputs(const SMultiThread* pOwner);

// The per-thread set-up of the device client. false when the worker must end at once: without a
// termination event, or after a failed set-up (which sets the termination event, so the rest of the
// system sees the stream as ended).
bool InitializeWorkerThread(const WorkerInputs& In);
