#pragma once
#include <cstdint>
#include <filesystem>
#include <functional>
#include <vector>

class SAudioClientLayer;

// The whole output chain onto an ALSA endpoint, for tests that compare what a device got with the
// offline render: reader -> playback thread -> intelligent sound buffer -> buffer callback ->
// render thread -> quantiser -> ALSA, set up in the order a playback start uses.
struct AlsaChainPlayback
{
    // The layer the stream opens; null: the ALSA layer alone.
    SAudioClientLayer* pLayer = nullptr;
    uint32_t uiDeviceRate = 48000;
    // Effective bits asked of the stream (0: the container's).
    uint32_t uiLogicalBits = 0;
    int32_t bShared = 0;
    int32_t iEndpoint = 0;
    // Room in the sound buffer, and whether the whole file is to be in it before the device starts
    // (so a producer slower than the device cannot be heard).
    double dfBufferSeconds = 0.1;
    bool bWholeFileFirst = false;
    // Called with the pre-fill's frames before Start and with every frame to wait for after it;
    // true once the device has been handed that many. Null: no waiting before Start.
    std::function<bool(uint64_t ullFrames)> BeforeStart;
    std::function<bool(uint64_t ullFrames)> AfterStart;
};

// What the chain reports back.
struct AlsaChainResult
{
    uint64_t ullPeriodFrames = 0;
    uint64_t ullBufferFrames = 0;
    uint32_t uiBitCount = 0;
};

// Plays the file; the wait after Start asks for the leading silent period, ullRenderFrames, three
// periods more and the device buffer.
AlsaChainResult PlayFileThroughAlsa(const std::filesystem::path& Input, const AlsaChainPlayback& Playback,
                                    uint64_t ullRenderFrames);
