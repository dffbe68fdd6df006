#pragma once
#include <cstdint>

// Signalling between threads: manual- or auto-reset, with timed waits.
class SEvent
{
public:
    static constexpr uint32_t INFINITE_WAIT = 0xFFFFFFFFu;

    virtual ~SEvent() = default;
    virtual int32_t Create(int32_t iManualReset, int32_t iInitialState) = 0;
    virtual int32_t Close() = 0;
    virtual int32_t Set() = 0;
    virtual int32_t Reset() = 0;
    virtual int32_t Wait(uint32_t uiMilliseconds) = 0;
    virtual int32_t Wait() = 0;
};
