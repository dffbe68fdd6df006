#pragma once
#include "runtime/CNonCopyable.h"
#include <cstdint>
#include <string>

// Starts the system's own settings for one output endpoint (Windows: the sound control panel on
// the endpoint's advanced page). The program started is never waited for. An interface so that
// tests can record what would be started.
class SSettingsLauncher : private CNonCopyable
{
public:
    virtual ~SSettingsLauncher() = default;

    // EndpointId: the endpoint's identifier as the layer gives it (empty when it had none).
    // 1 started; negative when nothing could be started (callers ignore it).
    virtual int32_t Launch(const std::u16string& EndpointId) = 0;
};
