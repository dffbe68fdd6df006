#pragma once
#include "app/dialog/ProgramEntry.h"
#include "app/player/PlaybackObjectFactory.h"
#include "app/player/PlayerState.h"
#include "tests/common/LatestTarget.h"
#include "tests/common/RecordingDialogHost.h"
#include "tests/common/RecordingLauncher.h"
#include "tests/scripted/CVirtualAudioLayer.h"
#include "tests/scripted/VirtualAudioDevice.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

// The player as a program runs it, on the recording dialog host and the virtual device: the
// program entry, the dialog logic, the controller and one virtual output device (manual clock unless
// a test asks for real time). The factory can be told to fail one step of a start. Settings of the
// process-wide player record are put back to their initial values first.
class FailingFactory : public PlaybackObjectFactory
{
public:
    bool bFailSoundBuffer = false;
    bool bFailStream = false;
    bool bFailConverter = false;
    bool bFailWorker = false;
    bool bFailSoundBufferInitialize = false;
    // The first this many attempts of the ladder fail to set up the sound buffer.
    uint32_t uiSoundBufferInitializeFailures = 0;
    bool bFailCapacityLimit = false;
    bool bZeroPeriod = false;
    bool bFailInputBuffer = false;
    bool bFailOutputBuffer = false;
    bool bFailWorkerStart = false;
    bool bFailPrepareRender = false;

    std::unique_ptr<IntelligentSoundBuffer> CreateSoundBuffer() override;
    std::unique_ptr<CSoundStreamWASAPI> CreateStream(SAudioClientLayer* pLayer) override;
    std::unique_ptr<SamplingFrequencyConverter> CreateConverter(double dfOversamplingFactor) override;
    std::unique_ptr<CMultiThreadWin> CreateWorker() override;
    int32_t InitializeSoundBuffer(IntelligentSoundBuffer& Buffer, double dfSamplingFrequency,
                                  double& dfPeriodSeconds) override;
    int32_t LimitSoundBuffer(IntelligentSoundBuffer& Buffer, uint64_t ullLimitFrames) override;
    int32_t AllocateThreadBuffer(CMultiThreadWin& Worker, const char16_t* pName, uint64_t ullBytes) override;
    int32_t StartWorker(CMultiThreadWin& Worker, ThreadBody pBody) override;
};

class PlayerRig
{
public:
    // pArguments: the command line after the program name.
    explicit PlayerRig(const char16_t* pArguments = nullptr);
    ~PlayerRig();

    // Writes a WAV file of two tones and chooses it in the file dialog.
    std::filesystem::path ChooseToneFile(const std::string& Name, uint64_t ullFrames, uint32_t uiRate = 44100,
                                         uint32_t uiBits = 16, uint32_t uiChannels = 2);
    // Opens the dialog, chooses a tone file of ullFrames at 44.1 kHz and clicks Play; true when it
    // plays.
    bool OpenAndPlayTone(const std::string& Name, uint64_t ullFrames);
    // Chooses a file through the file dialog.
    void ChooseFile(const std::filesystem::path& Path);

    // With the manual clock: plays ullPeriods sound-buffer periods, each only once the sound buffer
    // holds what the render thread will take, so nothing depends on timing. False when the player
    // fell behind or the device was not refilled.
    bool PlayPeriods(uint64_t ullPeriods);
    // True once the sound buffer can give ullReads periods without running low (or is draining).
    static bool BufferHolds(uint64_t ullReads);

    PlayerState& State;
    RecordingDialogHost Host;
    CVirtualAudioLayer Layer;
    std::shared_ptr<VirtualAudioDevice> pDevice;
    FailingFactory Factory;
    RecordingLauncher Launcher;
    std::unique_ptr<ProgramEntry> pEntry;
};
