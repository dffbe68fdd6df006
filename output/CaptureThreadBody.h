#pragma once
#include "runtime/SMultiThread.h"

#include <cstdint>

// The capture worker of a sound stream: decodes every packet the device delivers into doubles,
// gathers them in the data buffer and hands them to the buffer callback in blocks of the stream
// buffer's capacity; what is left at the end is delivered once more.
// 1 when it ended without error, 0 otherwise.
uint64_t CaptureThreadBody(ThreadContext* pContext);
