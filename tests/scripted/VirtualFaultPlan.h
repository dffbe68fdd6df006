#pragma once
#include "output/AudioClientConstants.h"

#include <array>
#include <cstddef>
#include <cstdint>

// The operations of the virtual back end that count their calls and can be made to fail.
enum class VirtualOperation : uint32_t
{
    // Layer and enumeration.
    InitializeThread, // the layer's, or (on a device) the audio client's per-thread set-up
    UninitializeThread,
    CreateDeviceEnumerator,
    GetDefaultAudioEndpoint,
    EnumAudioEndpoints,
    GetCount,
    Item,
    // Endpoint.
    Activate,
    GetFriendlyName,
    GetId,
    // Audio client.
    GetDevicePeriod,
    IsFormatSupported,
    Initialize,
    SetEventHandle,
    GetBufferSize,
    GetCurrentPadding,
    GetService,
    Start,
    Stop,
    // Render and capture clients.
    GetBuffer,
    ReleaseBuffer,
    GetCaptureBuffer,
    ReleaseCaptureBuffer,
    Count
};

// Call counts per operation and the failures planned for them: after a given number of successful
// calls, every further call of that operation fails with a given result. No lock; its owner
// serialises the calls.
class VirtualFaultPlan
{
public:
    // Calls after the first ullSuccessfulCalls (counted from now) fail with iResult.
    void FailAfter(VirtualOperation Operation, uint64_t ullSuccessfulCalls, int32_t iResult);
    // Removes the planned failure of the operation.
    void Heal(VirtualOperation Operation);
    // Counts one call: AUDIO_OK, or the planned failure.
    int32_t Enter(VirtualOperation Operation);
    uint64_t GetCallCount(VirtualOperation Operation) const;

private:
    struct Plan
    {
        uint64_t ullCalls = 0;
        uint64_t ullFailFrom = 0;
        int32_t iResult = AUDIO_OK;
        bool bArmed = false;
    };
    std::array<Plan, static_cast<size_t>(VirtualOperation::Count)> Plans{};
};
