#pragma once
#include <cstdint>

// The operations of a virtual back end, by name: a virtual device counts its calls of them, and a
// scripted one can be made to fail them.
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
