#pragma once
#include "output/SoundStreamBuffer.h"
#include "runtime/SMultiThread.h"

#include <cstdint>

class DataBuffer;
class Quantizer;
class SAudioCaptureClient;
class SAudioClient;
class SAudioRenderClient;
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

// What the owner of a render or capture worker stores in its tables: addresses of objects that
// live as long as the worker. A capture worker has a capture client, a render worker a render
// client and a quantiser.
struct WorkerAddresses
{
    SAudioClient* pAudioClient = nullptr;
    SAudioRenderClient* pRenderClient = nullptr;
    SAudioCaptureClient* pCaptureClient = nullptr;
    const uint64_t* pullChannelCount = nullptr;
    const int32_t* pbMonauralDevice = nullptr;
    const uint32_t* puiBitCount = nullptr;
    BufferCallbackFunction pCallback = nullptr;
    void* pUserParameter = nullptr;
    SEvent* pTerminationEvent = nullptr;
    const int32_t* pbEventDriven = nullptr;
    SEvent* pBufferEvent = nullptr;
    SoundStreamBuffer* pStreamBuffer = nullptr;
    DataBuffer* pDataBuffer = nullptr;
    STimer* pTimer = nullptr;
    Quantizer* pQuantizer = nullptr;
    // The worker's own local buffer, allocated under its name unless bLocalBuffer is 0.
    int32_t bLocalBuffer = 1;
    uint64_t ullLocalBufferBytes = 0;
};

// The addresses of what a stream keeps for its worker besides the device clients, the channel count
// and the quantiser: the callback and its parameter, the events, the exchange buffers, the timer,
// the flags and the local buffer's size. The stream and the tests that stand in for it wire their
// workers with it.
WorkerAddresses AddressWorkerObjects(BufferCallbackFunction pCallback, void* pUserParameter,
                                     SEvent& TerminationEvent, const int32_t& bEventDriven,
                                     SEvent& BufferEvent, SoundStreamBuffer& StreamBuffer, DataBuffer& Data,
                                     STimer& Timer, const int32_t& bMonauralDevice,
                                     const uint32_t& uiBitCount, uint64_t ullLocalBufferBytes);

// Fills Worker's tables in the order the stream has always used: the clients, the channel count,
// (capture) the mono flag, the bit count, the callback, the user parameter, the events, the
// buffers and the timer, the local buffer, (render) the quantiser. The first refusal, or 1.
int32_t StoreWorkerInputs(SMultiThread& Worker, const WorkerAddresses& In);

// The common inputs stored under their names in pOwner's tables (absent ones stay empty).
WorkerInputs ReadWorkerInputs(const SMultiThread* pOwner);

// The per-thread set-up of the device client. false when the worker must end at once: without a
// termination event, or after a failed set-up (which sets the termination event, so the rest of the
// system sees the stream as ended).
bool InitializeWorkerThread(const WorkerInputs& In);
