#pragma once
#include "output/SAudioClientLayer.h"
#include "tests/scripted/CVirtualAudioLayer.h"
#include "tests/scripted/VirtualAudioDevice.h"

#include <memory>
#include <string>

// A virtual device that behaves like an ordinary sound card for whole programs: it runs on a
// real-time clock, accepts two-channel 32-, 24- and 16-bit PCM at every rate in exclusive and shared
// mode, and, when given a file name, writes what it played last as a WAV file when the layer ends.
// Used on machines without a sound card, for headless runs and for GUI tests.
class VirtualRecordingLayer : public SAudioClientLayer
{
public:
    // pRecordingPath: UTF-16 path of the WAV file to write at the end, or empty for none.
    explicit VirtualRecordingLayer(std::u16string RecordingPath);
    // Writes the recording (when asked for and when something was played).
    ~VirtualRecordingLayer() override;

    int32_t InitializeThread() override { return Inner.InitializeThread(); }
    void UninitializeThread() override { Inner.UninitializeThread(); }
    int32_t CreateDeviceEnumerator(std::unique_ptr<SAudioDeviceEnumerator>& pEnumerator) override
    {
        return Inner.CreateDeviceEnumerator(pEnumerator);
    }

    // Writes the last stream's bytes to the recording path now. 1 written; 0 nothing to write or no
    // path; -1 the file could not be written.
    int32_t WriteRecording();
    const std::u16string& GetRecordingPath() const { return Path; }
    VirtualAudioDevice& GetDevice() { return *pDevice; }

private:
    CVirtualAudioLayer Inner;
    std::shared_ptr<VirtualAudioDevice> pDevice;
    std::u16string Path;
};
