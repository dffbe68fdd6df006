#pragma once
#include "output/SAudioDeviceEnumerator.h"
#include "runtime/CNonCopyable.h"

#include <cstdint>
#include <memory>

// The entry to an audio back end: per-thread set-up and the endpoint enumerator. The stream and the
// device list are written against it only, so the platform's back end and the virtual device serve
// them alike. A layer outlives every object it hands out.
class SAudioClientLayer : private CNonCopyable
{
public:
    virtual ~SAudioClientLayer() = default;

    // Prepares the calling thread for the back end (Windows: COM, apartment-threaded). Non-negative
    // on success; each success is balanced by one UninitializeThread on the same thread.
    virtual int32_t InitializeThread() = 0;
    virtual void UninitializeThread() = 0;

    // A new endpoint enumerator (Windows: the in-process MMDevice enumerator).
    virtual int32_t CreateDeviceEnumerator(std::unique_ptr<SAudioDeviceEnumerator>& pEnumerator) = 0;
};
