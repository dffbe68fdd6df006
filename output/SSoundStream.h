#pragma once
#include "output/SoundStreamBuffer.h"
#include "runtime/CNonCopyable.h"

#include <cstdint>

constexpr uint32_t STREAM_MODE_NONE = 0;
constexpr uint32_t STREAM_MODE_RENDER = 1;
constexpr uint32_t STREAM_MODE_CAPTURE = 2;

// An output (or input) stream: set up by its implementation, then fed by a worker thread that hands
// a SoundStreamBuffer to the buffer callback once per device period. Every operation belongs to
// the owner's thread. Results: 1 success, negative failure.
class SSoundStream : private CNonCopyable
{
public:
    virtual ~SSoundStream() = default;

    // Launches the capture worker; -1 unless set up for capture.
    virtual int32_t PrepareCapture(BufferCallbackFunction pCallback, void* pUserParameter) = 0;
    // Launches the render worker, which pre-fills the device buffer; -1 unless set up for output.
    virtual int32_t PrepareRender(BufferCallbackFunction pCallback, void* pUserParameter) = 0;
    // Starts the device; -1 when not set up or the device refuses.
    virtual int32_t Start() = 0;
    // Ends the worker, stops the device and closes the stream; -1 when not set up. iReserved is
    // not used.
    virtual int32_t Stop(int32_t iReserved) = 0;
    // *pbStopRequested = 1 when the worker's stop event is set; -1 while not started.
    virtual int32_t IsStopRequested(int32_t* pbStopRequested) = 0;
    // Ends the worker and releases every per-playback resource; always 1.
    virtual int32_t Close() = 0;
};
