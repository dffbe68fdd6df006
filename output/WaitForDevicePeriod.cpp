#include "output/WaitForDevicePeriod.h"

#include "runtime/SEvent.h"
#include "runtime/STimer.h"

#include <thread>

namespace
{
// How long one look at the buffer event lasts before the termination event is checked again.
constexpr uint32_t EVENT_SLICE_MS = 1;
} // namespace

bool WaitForDevicePeriod(int32_t bEventDriven, SEvent* pTerminationEvent, SEvent* pBufferEvent,
                         STimer* pTimer)
{
    if (bEventDriven != 0)
    {
        // A wait on both events at once, as two waits: the termination event is looked at first
        // (it has the lower index), then the buffer event for a short slice.
        for (;;)
        {
            if (pTerminationEvent->Wait(0) != 0)
            {
                return false;
            }
            const int32_t iBuffer = pBufferEvent != nullptr ? pBufferEvent->Wait(EVENT_SLICE_MS) : -1;
            if (iBuffer > 0)
            {
                return true;
            }
            if (iBuffer < 0)
            {
                return false;
            }
        }
    }
    if (pTimer == nullptr || pTimer->Sleep(1) < 0)
    {
        std::this_thread::yield();
    }
    return pTerminationEvent->Wait(0) <= 0;
}
