#pragma once
#include <cstdint>

class SEvent;
class STimer;

// The period wait of the render and capture workers. Event-driven: until the buffer event is set
// (true) or the termination event is set or cannot be waited on (false); the termination event
// wins when both are set. Timer-driven: one 1 ms timer sleep (a yield when the timer refuses), then
// false when the termination event is set, else true. false means: end the worker normally.
bool WaitForDevicePeriod(int32_t bEventDriven, SEvent* pTerminationEvent, SEvent* pBufferEvent,
                         STimer* pTimer);
