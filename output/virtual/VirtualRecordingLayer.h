#pragma once
#include "output/SAudioClientLayer.h"
#include "output/virtual/VirtualOutputDevice.h"

#include <memory>
#include <string>

// The virtual output as an audio-client layer, for whole programs: it behaves like an ordinary sound
// card on a real-time clock, takes two-channel 32-, 24- and 16-bit PCM at every rate in exclusive and
// shared mode, and, given a file name, records what it plays into that WAV file as it plays: every
// stream of the layer's life, a stream in another format (rate or bits) in a second file beside it
// (OUT-2.wav); the files are complete at their paths once the device has gone with the layer and
// the streams on it. Used on machines without a sound card, for headless runs and for GUI tests.
class VirtualRecordingLayer : public SAudioClientLayer
{
public:
    // RecordingPath: UTF-16 path of the WAV file, or empty for none.
    explicit VirtualRecordingLayer(std::u16string RecordingPath);

    int32_t InitializeThread() override { return 0; }
    void UninitializeThread() override {}
    int32_t CreateDeviceEnumerator(std::unique_ptr<SAudioDeviceEnumerator>& pEnumerator) override;

    const std::u16string& GetRecordingPath() const { return pDevice->GetRecordingPath(); }
    VirtualOutputDevice& GetDevice() { return *pDevice; }

private:
    std::shared_ptr<VirtualOutputDevice> pDevice;
};
