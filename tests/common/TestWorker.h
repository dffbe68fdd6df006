#pragma once
#include "output/DataBuffer.h"
#include "output/Quantizer.h"
#include "output/SAudioCaptureClient.h"
#include "output/SAudioClient.h"
#include "output/SAudioRenderClient.h"
#include "output/SoundStreamBuffer.h"
#include "runtime/CEvent.h"
#include "runtime/CMultiThreadWin.h"
#include "runtime/CMultimediaTimer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>

// A render or capture worker made by hand, with the objects a stream keeps for it and the stream's
// wiring of them into the worker's tables, so that a test runs a thread body on a device client of
// its own and reads the body's result.
class TestWorker
{
public:
    // Ends a worker that still runs.
    ~TestWorker();

    // The events, the callback block of ullBlockFrames (capture or render), the data buffer for a
    // device buffer of uiDeviceFrames and the quantiser for uiBits.
    ::testing::AssertionResult Prepare(uint32_t uiDeviceFrames, uint64_t ullBlockFrames, uint32_t uiBits,
                                       bool bCapture);
    // Stores the inputs under the names the stream uses and starts pBody on the client and its
    // render or capture service. Without the local buffer when bLocalBuffer is false.
    int32_t Launch(ThreadBody pBody, BufferCallbackFunction pCallback, void* pUserParameter,
                   bool bLocalBuffer = true);
    // Sets the termination event, joins the worker and returns the body's result.
    uint64_t Join();

    std::unique_ptr<SAudioClient> pClient;
    std::unique_ptr<SAudioRenderClient> pRenderClient;
    std::unique_ptr<SAudioCaptureClient> pCaptureClient;
    uint64_t ullChannels = 2;
    int32_t bMonaural = 0;
    uint32_t uiBitCount = 0;
    int32_t bEventDriven = 0;
    uint32_t uiBufferFrames = 0;
    CEvent TerminationEvent;
    CEvent BufferEvent;
    SoundStreamBuffer Block;
    DataBuffer Data;
    CMultimediaTimer Timer;
    Quantizer QuantizerState;
    CMultiThreadWin Worker;
};
