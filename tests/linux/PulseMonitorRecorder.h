#pragma once
#include "runtime/CNonCopyable.h"
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct pa_simple;

// Records a source of the private sound server (a sink's monitor) as 16-bit stereo codes at a given
// rate, in blocks of 5 ms on its own thread, with the time each block arrived. Its small blocks also
// keep a null sink rendering in small steps, as a sink that plays does.
class PulseMonitorRecorder : private CNonCopyable
{
public:
    using Clock = std::chrono::steady_clock;

    PulseMonitorRecorder(const std::string& Source, uint32_t uiRate);
    ~PulseMonitorRecorder();

    bool IsRecording() const { return pStream != nullptr; }
    void Stop();
    uint64_t Frames() const { return ullFrames.load(); }
    // Waits until ullTotal frames have been recorded; false after a minute.
    bool WaitFor(uint64_t ullTotal) const;
    std::vector<int32_t> Codes();
    // When the first frame that is not silent among those that arrived after Since was heard
    // (reckoned back from its block's arrival); false while there is none.
    bool FirstSoundAfter(Clock::time_point Since, Clock::time_point& Time);

private:
    void Run();

    uint32_t uiSampleRate;
    pa_simple* pStream = nullptr;
    std::thread Thread;
    std::atomic<bool> bStop{false};
    std::atomic<uint64_t> ullFrames{0};
    std::mutex Mutex;
    std::vector<int32_t> Recorded;
    // Each block's arrival and the frame count after it.
    std::vector<std::pair<Clock::time_point, uint64_t>> Arrivals;
};
