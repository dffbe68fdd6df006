#pragma once
#include "output/CSoundStreamWASAPI.h"
#include "output/DataBuffer.h"
#include "output/Quantizer.h"
#include "output/SAudioCaptureClient.h"
#include "output/SAudioClient.h"
#include "output/SAudioRenderClient.h"
#include "output/SoundStreamBuffer.h"
#include "runtime/CEvent.h"
#include "runtime/CMultiThreadWin.h"
#include "runtime/CMultimediaTimer.h"
#include "tests/common/TestWorker.h"
#include "tests/scripted/CVirtualAudioLayer.h"
#include "tests/scripted/VirtualAudioDevice.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Shared pieces of the sound-output tests.

// Upper bound for waiting on a worker; only reached when something is broken.
constexpr uint32_t WAIT_MS = 30000;

// A virtual layer with one device that accepts every rate of the table at 16, 24 and 32 bits in
// both share modes. Declare it before the streams that use it: the layer must outlive them.
struct VirtualRig
{
    VirtualRig();
    CVirtualAudioLayer Layer;
    std::shared_ptr<VirtualAudioDevice> pDevice;
};

// The code carried by frame k on the left channel; the right channel carries its negation. Small
// enough for a 12-bit grid.
int32_t FrameCode(uint64_t ullFrame);

// A buffer callback that delivers FrameCode(k) / max code for consecutive frames k, so that the
// quantiser reproduces the codes exactly. Scripted before the worker starts; counters are atomic.
class CountingSource
{
public:
    explicit CountingSource(uint32_t uiLogicalBits);
    static int32_t Callback(SoundStreamBuffer* pBuffer, void* pUserParameter);

    uint64_t ullFramesPerCall = 0;  // 0: the block's capacity
    uint64_t ullZeroFrameCalls = 0; // the first calls deliver nothing (and return 1)
    uint64_t ullFailingCall = 0;    // this call (counted from 1) returns 0; 0: none
    uint64_t ullClaimExtra = 0;     // frames claimed beyond those filled

    uint64_t GetCalls() const { return ullCalls.load(); }
    uint64_t GetFramesDelivered() const { return ullNextFrame.load(); }

private:
    double dfStep;
    std::atomic<uint64_t> ullCalls{0};
    std::atomic<uint64_t> ullNextFrame{0};
};

// Sets Stream up on its layer's default device at 48 kHz with a 5 ms buffer (240 frames) and
// prepares it to render from Source.
::testing::AssertionResult PrepareCountingRender(CSoundStreamWASAPI& Stream, CountingSource& Source);

// Codes read back from device bytes: containers of uiContainerBits, codes in the top uiLogicalBits.
struct DecodedFrames
{
    std::vector<int32_t> Left;
    std::vector<int32_t> Right;
    bool bLowBitsClear = true; // every bit below the logical grid was 0
};
DecodedFrames DecodeDeviceWords(const std::vector<uint8_t>& Bytes, uint32_t uiContainerBits,
                                uint32_t uiLogicalBits);
// Frames [0, ullCount) of Frames carry FrameCode(ullFirstFrame + i) and its negation.
::testing::AssertionResult FramesFollowTheCount(const DecodedFrames& Frames, uint64_t ullFirstFrame,
                                                uint64_t ullCount);

// The keys of a worker's parameter table, in the order they were stored.
std::vector<std::u16string> ParameterKeys(const SMultiThread& Worker);

// A hand-made worker on an exclusive stream of the virtual device.
class WorkerRig : public TestWorker
{
public:
    WorkerRig();

    // An exclusive 48 kHz stream of uiBits on the virtual device with a buffer of uiFrames frames
    // and callback blocks of ullBlockFrames; render or capture.
    ::testing::AssertionResult Open(uint32_t uiBits, uint32_t uiFrames, uint64_t ullBlockFrames,
                                    bool bCapture);
    // true when the body ended by itself (it undoes the client's per-thread set-up last); otherwise
    // the termination event is set so that Join cannot hang.
    bool EndsByItself();

    std::shared_ptr<VirtualAudioDevice> pDevice;
};
