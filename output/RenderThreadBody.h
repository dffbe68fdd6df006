#pragma once
#include "runtime/SMultiThread.h"

#include <cstdint>

// The render worker of a sound stream. It finds everything under the names its stream stored in
// the worker's tables, then keeps the device buffer topped up: each time the device has room for F
// frames it takes F frames from the data buffer (calling the buffer callback as often as that
// needs), quantises them and writes the device words. It allocates nothing and never blocks on
// anything but its period wait. Two optional events tell its owner how far it got: "pPrefillEvent"
// is set after the first write into the device buffer (or when the worker ends before it),
// "pExitEvent" when the worker ends.
// 1 when it ended because the termination event was set; 0 after a device error, a failed
// per-thread set-up, a callback that returned 0, or a buffer error.
uint64_t RenderThreadBody(ThreadContext* pContext);
