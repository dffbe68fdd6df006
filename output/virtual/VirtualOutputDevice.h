#pragma once
#include "output/AudioStreamFormat.h"
#include "output/virtual/VirtualDeviceCore.h"

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class SEvent;
class WaveRecordingFile;

// The output the programs play on when asked to (LARKSPUR_AUDIO=virtual[:OUT.wav]) or when there is
// no sound card: one endpoint that takes two-channel 16-, 24- and 32-bit PCM at every rate from 8 to
// 384 kHz in both share modes and plays it in real time. Its own clock thread takes the frames out
// of the device buffer as time passes and, given a path, appends them to a WAV file there: every
// stream of the device's life in one format (rate and bits) goes on in the same file, the first
// format's at the path, each further format's beside it (OUT-2.wav, OUT-3.wav, ...). A file is
// written beside its place and put there, complete, when the device goes; the player's threads
// never wait for it. It holds one device buffer and one clock step of frames however long it plays.
// Its clients' streams (VirtualDeviceStream) reach it; any thread may call it.
class VirtualOutputDevice : public VirtualDeviceCore
{
public:
    static constexpr const char16_t* FRIENDLY_NAME = u"Larkspur Virtual Output";
    static constexpr const char16_t* ENDPOINT_ID = u"{virtual.render.0}";
    static constexpr uint32_t LOWEST_RATE = 8000;
    static constexpr uint32_t HIGHEST_RATE = 384000;

    // RecordingPath: the WAV file the streams' sound goes to, or empty for none.
    explicit VirtualOutputDevice(std::u16string RecordingPath);
    // Stops a clock that still runs; every recording is finalised and put at its path.
    ~VirtualOutputDevice() override;

    const std::u16string& GetRecordingPath() const { return RecordingPath; }
    // The paths of the recordings begun so far, one per format in the order they were first played
    // (the first is RecordingPath).
    std::vector<std::u16string> GetRecordingPaths() const;
    // Where the recording of the uiNumber-th format goes: RecordingPath for 1, "OUT-2.wav" beside
    // "OUT.wav" for 2 (the number before the extension, or at the end of a name without one).
    static std::u16string NumberedPath(const std::u16string& Path, uint32_t uiNumber);
    // Until the clock has played ullFrames frames of the current stream, at most uiTimeoutMs; false
    // on time-out.
    bool WaitForPlayedFrames(uint64_t ullFrames, uint32_t uiTimeoutMs) const;

protected:
    bool AcceptsLocked(uint32_t uiShareMode, const AudioStreamFormat& Format) const override;
    // A second at the highest rate is more than any player asks for.
    int32_t GrantLocked(uint64_t& ullFrames, const AudioStreamFormat& Format) override;
    int32_t StartLocked() override;
    void StopLocked(std::unique_lock<std::mutex>& Lock) override;

private:
    // Ends the clock thread (it plays up to now and finalises the recording) and waits for it.
    void StopClock(std::unique_lock<std::mutex>& Lock);
    void RunClock();

    const std::u16string RecordingPath;
    std::thread Clock;
    int32_t bClockStop = 0;

    // One recording per format played: open from its first stream until the device goes. Only the
    // clock thread writes to it, and one clock runs at a time.
    struct Recording
    {
        uint32_t uiRate = 0;
        uint32_t uiBits = 0;
        std::u16string Path;
        std::unique_ptr<WaveRecordingFile> pFile;
    };
    std::vector<Recording> Recordings;
};
