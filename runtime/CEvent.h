#pragma once
#include "runtime/CNonCopyable.h"
#include "runtime/SEvent.h"

#include <atomic>

class CEvent : public SEvent, private CNonCopyable
{
public:
    ~CEvent() override;

    int32_t Create(int32_t iManualReset, int32_t iInitialState) override;
    int32_t Close() override;
    int32_t Set() override;
    int32_t Reset() override;
    int32_t Wait(uint32_t uiMilliseconds) override;
    int32_t Wait() override;

    // The object's own record of the state; nothing in the event itself reads it.
    int32_t IsSignalledRecord() const { return bSignalled.load(std::memory_order_relaxed); }

#ifdef _WIN32
    // The Win32 event HANDLE, for platform calls that signal the event themselves; null until
    // created.
    void* GetNativeHandle() const;
#endif

private:
    // Frees the platform event behind hEvent; defined per platform.
    void DestroyPlatformEvent();

    int32_t bCreated = 0;
    int32_t bManualReset = 0;
    // Written by whichever thread sets, resets or waits; atomic so those writes never race.
    std::atomic<int32_t> bSignalled{0};
    // The platform event: a Win32 HANDLE, or the POSIX emulation object.
    void* hEvent = nullptr;
};
