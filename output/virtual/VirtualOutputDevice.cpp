#include "output/virtual/VirtualOutputDevice.h"

#include "output/AudioClientConstants.h"
#include "runtime/CMultimediaTimer.h"
#include "runtime/SEvent.h"
#include "wave/WaveRecordingFile.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <utility>

namespace
{
// How often the clock plays what is due: the render thread tops the buffer up every millisecond.
constexpr uint32_t CLOCK_STEP_MS = 1;

bool IsPlayableFormat(const AudioStreamFormat& Format)
{
    const uint32_t uiBits = Format.wBitsPerSample;
    return Format.wFormatTag == AUDIO_FORMAT_TAG_EXTENSIBLE && Format.nChannels == 2 &&
           (uiBits == 16 || uiBits == 24 || uiBits == 32) && Format.nBlockAlign == 2 * (uiBits / 8) &&
           Format.nAvgBytesPerSec == Format.nSamplesPerSec * Format.nBlockAlign &&
           Format.cbSize == AUDIO_FORMAT_EXTENSIBLE_SIZE && Format.wValidBitsPerSample == uiBits &&
           (Format.dwChannelMask == 0 || Format.dwChannelMask == 3) &&
           Format.SubFormat == AUDIO_SUBTYPE_PCM &&
           Format.nSamplesPerSec >= VirtualOutputDevice::LOWEST_RATE &&
           Format.nSamplesPerSec <= VirtualOutputDevice::HIGHEST_RATE;
}

WaveSampleFormat RecordingFormat(uint32_t uiBits)
{
    return uiBits == 16   ? WaveSampleFormat::Pcm16
           : uiBits == 24 ? WaveSampleFormat::Pcm24
                          : WaveSampleFormat::Pcm32;
}

// Device bytes (little-endian samples) as the writer's words: the sample in the top bytes.
void BytesToWords(const uint8_t* pBytes, uint64_t ullSamples, uint32_t uiBytesPerSample, uint32_t* puiWords)
{
    for (uint64_t s = 0; s < ullSamples; ++s)
    {
        uint32_t uiWord = 0;
        for (uint32_t b = 0; b < uiBytesPerSample; ++b)
        {
            uiWord |= static_cast<uint32_t>(pBytes[s * uiBytesPerSample + b])
                      << (8 * (4 - uiBytesPerSample + b));
        }
        puiWords[s] = uiWord;
    }
}
} // namespace

VirtualOutputDevice::VirtualOutputDevice(std::u16string Path) : RecordingPath(std::move(Path)) {}

VirtualOutputDevice::~VirtualOutputDevice()
{
    std::unique_lock<std::mutex> Lock(Mutex);
    StopClock(Lock);
    for (Recording& Kept : Recordings)
    {
        if (Kept.pFile != nullptr)
        {
            Kept.pFile->Finalise();
        }
    }
}

std::vector<std::u16string> VirtualOutputDevice::GetRecordingPaths() const
{
    std::lock_guard<std::mutex> Lock(Mutex);
    std::vector<std::u16string> Paths;
    for (const Recording& Kept : Recordings)
    {
        Paths.push_back(Kept.Path);
    }
    return Paths;
}

std::u16string VirtualOutputDevice::NumberedPath(const std::u16string& Path, uint32_t uiNumber)
{
    if (uiNumber <= 1)
    {
        return Path;
    }
    // The extension is the last dot's in the file's own name, unless the name begins with it.
    const size_t ullName = Path.find_last_of(u"/\\");
    const size_t ullNameStart = ullName == std::u16string::npos ? 0 : ullName + 1;
    size_t ullDot = Path.rfind(u'.');
    if (ullDot == std::u16string::npos || ullDot <= ullNameStart)
    {
        ullDot = Path.size();
    }
    std::u16string Number;
    for (const char c : std::to_string(uiNumber))
    {
        Number += static_cast<char16_t>(c);
    }
    return Path.substr(0, ullDot) + u"-" + Number + Path.substr(ullDot);
}

bool VirtualOutputDevice::WaitForPlayedFrames(uint64_t ullFrames, uint32_t uiTimeoutMs) const
{
    std::unique_lock<std::mutex> Lock(Mutex);
    return Changed.wait_for(Lock, std::chrono::milliseconds(uiTimeoutMs),
                            [&] { return Stream.ullPlayedFrames >= ullFrames; });
}

bool VirtualOutputDevice::AcceptsLocked(uint32_t, const AudioStreamFormat& Format) const
{
    return IsPlayableFormat(Format);
}

int32_t VirtualOutputDevice::GrantLocked(uint64_t& ullFrames, const AudioStreamFormat&)
{
    ullFrames = std::min<uint64_t>(ullFrames, HIGHEST_RATE);
    return AUDIO_OK;
}

int32_t VirtualOutputDevice::StartLocked()
{
    if (Clock.joinable())
    {
        return AUDIO_E_FAIL; // a clock that was stopped is joined by Stop; never here
    }
    bClockStop = 0;
    Clock = std::thread([this] { RunClock(); });
    return AUDIO_OK;
}

void VirtualOutputDevice::StopLocked(std::unique_lock<std::mutex>& Lock)
{
    StopClock(Lock);
}

void VirtualOutputDevice::StopClock(std::unique_lock<std::mutex>& Lock)
{
    Stream.bStarted = 0;
    if (!Clock.joinable())
    {
        return;
    }
    bClockStop = 1;
    std::thread Ending = std::move(Clock);
    Lock.unlock();
    Ending.join();
    Lock.lock();
}

void VirtualOutputDevice::RunClock()
{
    CMultimediaTimer Timer;
    std::vector<uint8_t> Taken;
    std::vector<uint32_t> Words;
    uint32_t uiRate = 0;
    uint32_t uiFrameBytes = 0;
    WaveRecordingFile* pRecording = nullptr;
    std::u16string OpenPath; // the recording to open: its format's first stream
    {
        std::lock_guard<std::mutex> Lock(Mutex);
        uiRate = Stream.Format.nSamplesPerSec;
        uiFrameBytes = Stream.Format.nBlockAlign;
        Taken.resize(static_cast<size_t>(Stream.uiBufferFrames) * uiFrameBytes);
        Words.resize(static_cast<size_t>(Stream.uiBufferFrames) * 2);
        // The recording of this format goes on; a new format begins one of its own beside the first.
        if (!RecordingPath.empty())
        {
            const uint32_t uiBits = 8 * (uiFrameBytes / 2);
            const auto Found = std::find_if(Recordings.begin(), Recordings.end(),
                                            [&](const Recording& Kept)
                                            { return Kept.uiRate == uiRate && Kept.uiBits == uiBits; });
            if (Found == Recordings.end())
            {
                Recording Made;
                Made.uiRate = uiRate;
                Made.uiBits = uiBits;
                Made.Path = NumberedPath(RecordingPath, static_cast<uint32_t>(Recordings.size()) + 1);
                Made.pFile = std::make_unique<WaveRecordingFile>();
                OpenPath = Made.Path;
                pRecording = Made.pFile.get();
                Recordings.push_back(std::move(Made));
            }
            else
            {
                pRecording = Found->pFile.get();
            }
        }
    }
    const uint32_t uiBytesPerSample = uiFrameBytes / 2;
    // Only this thread touches the recording while it runs: clocks run one at a time, and the device
    // finalises the recordings only after its clock has ended. A file that cannot be made leaves the
    // device playing without a recording of this format.
    if (!OpenPath.empty())
    {
        pRecording->Open(OpenPath.c_str(), 2, uiRate, RecordingFormat(8 * uiBytesPerSample));
    }
    const auto StartTime = std::chrono::steady_clock::now();
    uint64_t ullClockFrames = 0;
    for (;;)
    {
        uint64_t ullTaken = 0;
        bool bStop = false;
        {
            std::lock_guard<std::mutex> Lock(Mutex);
            bStop = bClockStop != 0;
            const std::chrono::duration<double> Elapsed = std::chrono::steady_clock::now() - StartTime;
            const auto ullTotal = static_cast<uint64_t>(std::floor(Elapsed.count() * uiRate));
            const uint64_t ullDue = ullTotal > ullClockFrames ? ullTotal - ullClockFrames : 0;
            ullClockFrames = std::max(ullClockFrames, ullTotal);
            // Frames due beyond what is queued play as silence and are not recorded.
            ullTaken = PlayLocked(ullDue, Taken.data());
        }
        Changed.notify_all();
        if (ullTaken != 0 && pRecording != nullptr && pRecording->IsOpen() != 0)
        {
            BytesToWords(Taken.data(), 2 * ullTaken, uiBytesPerSample, Words.data());
            uint64_t ullFrames = ullTaken;
            if (pRecording->AppendWords(Words.data(), ullFrames) != 1 || ullFrames != ullTaken)
            {
                pRecording->Abandon(); // a disk that is full: playing goes on without the file
            }
        }
        if (bStop)
        {
            break;
        }
        if (Timer.Sleep(CLOCK_STEP_MS) < 0)
        {
            std::this_thread::yield();
        }
    }
}
