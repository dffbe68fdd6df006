#pragma once
#include "conversion/SamplingFrequencyConverter.h"
#include "output/SoundStreamBuffer.h"
#include "runtime/CMultiThreadWin.h"
#include "soundbuffer/IntelligentSoundBuffer.h"
#include "tests/common/PlayerStateBinding.h"
#include "wave/WaveFileReader.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Plays the device's part: calls PlaybackBufferCallback at a steady pace on its own thread and
// keeps every frame it was given, so tests can wait for what the device has heard.
class TestConsumer
{
public:
    struct Record
    {
        std::vector<double> Frames; // interleaved stereo, in the order delivered
        uint64_t ullCalls = 0;
        uint64_t ullFailedCalls = 0;
    };
    using Predicate = std::function<bool(const Record&)>;

    TestConsumer(uint64_t ullPeriodFrames, uint32_t uiPaceMilliseconds);
    // From now on each call waits until the buffer holds a period above its low mark (or finishes), so
    // a slow producer on a loaded machine never makes the device side fade; tests of the sound itself
    // use it, tests of starvation do not.
    void NeverStarve(IntelligentSoundBuffer* pBuffer) { pFedBuffer = pBuffer; }
    ~TestConsumer();

    void Start();
    void Stop();
    // Waits until Condition holds for what was heard so far (checked after every call); false when
    // it does not within dfSeconds.
    bool WaitFor(const Predicate& Condition, double dfSeconds = 60.0);
    // Waits for ullMore calls after the present one.
    bool WaitForCalls(uint64_t ullMore);
    Record Snapshot();

private:
    void Run();
    void WaitUntilFed();

    IntelligentSoundBuffer* pFedBuffer = nullptr;
    SoundStreamBuffer Block;
    uint32_t uiPace;
    std::thread Thread;
    std::mutex Mutex;
    std::condition_variable Changed;
    bool bStop = false;
    Record Heard;
};

// Everything a playback thread needs, set up as the playback start does: a reader on a WAV image,
// a converter (2 channels, file rate to device rate, speed 1), an intelligent sound buffer with a
// 10 ms period, the player record's device block and volume (gain 1, ramps over one period), and a
// worker with the five named inputs. The destructor stops whatever still runs and clears the record.
class PlaybackRig
{
public:
    PlaybackRig();
    ~PlaybackRig();

    // Writes the image to a file and sets everything up; check with ASSERT_NO_FATAL_FAILURE.
    void Prepare(const std::vector<uint8_t>& Wave, double dfDeviceRate, uint64_t ullCapacityLimit = 4000);
    // Registers the inputs and starts the thread; bOmit* leave that input out.
    void StartThread(bool bOmitReader = false, bool bOmitInputBuffer = false, bool bOmitOutputBuffer = false,
                     bool bOmitSoundBuffer = false);
    // Waits for the thread to end and returns its result.
    uint64_t JoinThread();
    bool IsBufferFinishing();
    uint64_t ConsumedFrames() const;

    WaveFileReader Reader;
    SamplingFrequencyConverter Converter;
    IntelligentSoundBuffer Buffer;
    CMultiThreadWin Worker;
    uint64_t ullPeriodFrames = 0;

private:
    // Released after the destructor has ended the thread.
    PlayerStateBinding StateBinding;
    static int iFileNumber;
};
