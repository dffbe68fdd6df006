#include "tests/linux/PulseMonitorRecorder.h"

#include <pulse/simple.h>
#include <pulse/timeval.h>

namespace
{
constexpr uint32_t BLOCK_MS = 5;
}

PulseMonitorRecorder::PulseMonitorRecorder(const std::string& Source, uint32_t uiRate) : uiSampleRate(uiRate)
{
    const pa_sample_spec Sample{PA_SAMPLE_S16LE, uiRate, 2};
    pa_buffer_attr Attributes{};
    Attributes.maxlength = static_cast<uint32_t>(-1);
    Attributes.fragsize = static_cast<uint32_t>(pa_usec_to_bytes(BLOCK_MS * PA_USEC_PER_MSEC, &Sample));
    int iError = 0;
    pStream = pa_simple_new(nullptr, "Larkspur tests", PA_STREAM_RECORD, Source.c_str(), "monitor", &Sample,
                            nullptr, &Attributes, &iError);
    if (pStream != nullptr)
    {
        Thread = std::thread([this] { Run(); });
    }
}

PulseMonitorRecorder::~PulseMonitorRecorder()
{
    Stop();
}

void PulseMonitorRecorder::Stop()
{
    bStop.store(true);
    if (Thread.joinable())
    {
        Thread.join();
    }
    if (pStream != nullptr)
    {
        pa_simple_free(pStream);
        pStream = nullptr;
    }
}

void PulseMonitorRecorder::Run()
{
    const size_t ullBlockFrames = uiSampleRate * BLOCK_MS / 1000;
    std::vector<int16_t> Block(2 * ullBlockFrames);
    while (!bStop.load())
    {
        int iError = 0;
        if (pa_simple_read(pStream, Block.data(), Block.size() * sizeof(int16_t), &iError) < 0)
        {
            return;
        }
        const Clock::time_point Arrived = Clock::now();
        std::lock_guard<std::mutex> Lock(Mutex);
        Recorded.insert(Recorded.end(), Block.begin(), Block.end());
        Arrivals.emplace_back(Arrived, Recorded.size() / 2);
        ullFrames.store(Recorded.size() / 2);
    }
}

bool PulseMonitorRecorder::WaitFor(uint64_t ullTotal) const
{
    const auto Deadline = Clock::now() + std::chrono::seconds(60);
    while (Frames() < ullTotal && Clock::now() < Deadline && pStream != nullptr)
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return Frames() >= ullTotal;
}

std::vector<int32_t> PulseMonitorRecorder::Codes()
{
    std::lock_guard<std::mutex> Lock(Mutex);
    return Recorded;
}

bool PulseMonitorRecorder::FirstSoundAfter(Clock::time_point Since, Clock::time_point& Time)
{
    std::lock_guard<std::mutex> Lock(Mutex);
    uint64_t ullBlockStart = 0;
    for (const auto& [Arrived, ullEnd] : Arrivals)
    {
        if (Arrived > Since)
        {
            for (uint64_t f = ullBlockStart; f < ullEnd; ++f)
            {
                if (Recorded[2 * f] != 0 || Recorded[2 * f + 1] != 0)
                {
                    Time = Arrived - std::chrono::microseconds((ullEnd - f) * 1000000 / uiSampleRate);
                    return true;
                }
            }
        }
        ullBlockStart = ullEnd;
    }
    return false;
}
