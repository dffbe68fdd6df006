#include "tests/dialog/PlayerRig.h"

#include "app/dialog/DialogControlIds.h"
#include "conversion/ParameterSmoother.h"
#include "conversion/SamplingFrequencyConverter.h"
#include "output/CSoundStreamWASAPI.h"
#include "runtime/CMultiThreadWin.h"
#include "runtime/WorkerParameterNames.h"
#include "soundbuffer/IntelligentSoundBuffer.h"
#include "tests/common/TestFiles.h"
#include "tests/common/WaveFileBuilder.h"

#include <chrono>
#include <cmath>
#include <numbers>
#include <thread>

using namespace DialogControlIds;

namespace
{
constexpr uint32_t WAIT_MS = 30000;

// A stream whose render launch is refused.
class RefusingStream : public CSoundStreamWASAPI
{
public:
    using CSoundStreamWASAPI::CSoundStreamWASAPI;
    int32_t PrepareRender(BufferCallbackFunction, void*) override { return -1; }
};
} // namespace

std::unique_ptr<IntelligentSoundBuffer> FailingFactory::CreateSoundBuffer()
{
    return bFailSoundBuffer ? nullptr : PlaybackObjectFactory::CreateSoundBuffer();
}

std::unique_ptr<SamplingFrequencyConverter> FailingFactory::CreateConverter(double dfOversamplingFactor)
{
    return bFailConverter ? nullptr : PlaybackObjectFactory::CreateConverter(dfOversamplingFactor);
}

std::unique_ptr<CMultiThreadWin> FailingFactory::CreateWorker()
{
    return bFailWorker ? nullptr : PlaybackObjectFactory::CreateWorker();
}

std::unique_ptr<CSoundStreamWASAPI> FailingFactory::CreateStream(SAudioClientLayer* pLayer)
{
    if (bFailStream)
    {
        return nullptr;
    }
    if (bFailPrepareRender)
    {
        return std::make_unique<RefusingStream>(pLayer);
    }
    return PlaybackObjectFactory::CreateStream(pLayer);
}

int32_t FailingFactory::InitializeSoundBuffer(IntelligentSoundBuffer& Buffer, double dfSamplingFrequency,
                                              double& dfPeriodSeconds)
{
    if (bFailSoundBufferInitialize)
    {
        return -2;
    }
    if (uiSoundBufferInitializeFailures > 0)
    {
        --uiSoundBufferInitializeFailures;
        return -2;
    }
    const int32_t iResult =
        PlaybackObjectFactory::InitializeSoundBuffer(Buffer, dfSamplingFrequency, dfPeriodSeconds);
    if (bZeroPeriod)
    {
        Buffer.ullPeriodFrames = 0;
    }
    return iResult;
}

int32_t FailingFactory::LimitSoundBuffer(IntelligentSoundBuffer& Buffer, uint64_t ullLimitFrames)
{
    return bFailCapacityLimit ? -1 : PlaybackObjectFactory::LimitSoundBuffer(Buffer, ullLimitFrames);
}

int32_t FailingFactory::AllocateThreadBuffer(CMultiThreadWin& Worker, const char16_t* pName,
                                             uint64_t ullBytes)
{
    const std::u16string Name = pName;
    if ((bFailInputBuffer && Name == WorkerParameterNames::INPUT_SIGNAL_BUFFER) ||
        (bFailOutputBuffer && Name == WorkerParameterNames::OUTPUT_SIGNAL_BUFFER))
    {
        return -2;
    }
    return PlaybackObjectFactory::AllocateThreadBuffer(Worker, pName, ullBytes);
}

int32_t FailingFactory::StartWorker(CMultiThreadWin& Worker, ThreadBody pBody)
{
    if (bFailWorkerStart)
    {
        return -1;
    }
    return PlaybackObjectFactory::StartWorker(Worker, pBody);
}

PlayerRig::PlayerRig(const char16_t* pArguments) : State(PlayerState::Instance())
{
    State.RestoreDefaultSettings();
    State.bPlaying = 0;
    State.bPaused.store(0);
    State.dfDeviceSamplingFrequency = 0.0;

    pDevice = std::make_shared<VirtualAudioDevice>();
    Layer.AddDevice(pDevice);
    pEntry = std::make_unique<ProgramEntry>(&Layer, &Launcher, Host, pArguments, &Factory);
    Host.SetHandler(&pEntry->GetDialog());
    EXPECT_EQ(pEntry->Begin(), 1);
}

PlayerRig::~PlayerRig()
{
    pEntry->End();
    EXPECT_EQ(State.pSoundStream, nullptr);
    EXPECT_EQ(State.pPlaybackThread, nullptr);
    EXPECT_EQ(State.pVolume, nullptr);
    pEntry.reset();
}

std::filesystem::path PlayerRig::ChooseToneFile(const std::string& Name, uint64_t ullFrames, uint32_t uiRate,
                                                uint32_t uiBits, uint32_t uiChannels)
{
    std::vector<double> Signal(uiChannels * ullFrames);
    for (uint64_t n = 0; n < ullFrames; ++n)
    {
        const double t = static_cast<double>(n) / uiRate;
        for (uint32_t c = 0; c < uiChannels; ++c)
        {
            Signal[uiChannels * n + c] =
                (c == 0 ? 0.7 : 0.4) * std::sin(2.0 * std::numbers::pi * (c == 0 ? 1000.0 : 3100.0) * t + c);
        }
    }
    const auto Path = TestFiles::Write(Name, WaveFileBuilder::PcmWave(Signal, uiChannels, uiRate, uiBits));
    ChooseFile(Path);
    return Path;
}

bool PlayerRig::OpenAndPlayTone(const std::string& Name, uint64_t ullFrames)
{
    Host.Open();
    ChooseToneFile(Name, ullFrames);
    Host.Click(ID_PLAY);
    return State.bPlaying == 1;
}

void PlayerRig::ChooseFile(const std::filesystem::path& Path)
{
    Host.ScriptFileChoice(TestFiles::Wide(Path));
    Host.Click(ID_CHOOSE_FILE);
}

bool PlayerRig::BufferHolds(uint64_t ullReads)
{
    IntelligentSoundBuffer* pBuffer = PlayerState::Instance().pIntelligentSoundBuffer;
    if (pBuffer == nullptr)
    {
        return false;
    }
    const auto Deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(WAIT_MS);
    for (;;)
    {
        if (pBuffer->HoldsPeriods(ullReads) == 1)
        {
            return true;
        }
        if (std::chrono::steady_clock::now() > Deadline)
        {
            return false;
        }
        std::this_thread::yield();
    }
}

bool PlayerRig::PlayPeriods(uint64_t ullPeriods)
{
    IntelligentSoundBuffer* pBuffer = State.pIntelligentSoundBuffer;
    if (pBuffer == nullptr)
    {
        return false;
    }
    const uint64_t P = pBuffer->ullPeriodFrames;
    for (uint64_t i = 0; i < ullPeriods; ++i)
    {
        const uint64_t ullWritten = pDevice->GetStreamState().ullWrittenFrames;
        if (!BufferHolds(1))
        {
            ADD_FAILURE() << "the playback thread fell behind";
            return false;
        }
        if (pDevice->Advance(P) != P)
        {
            ADD_FAILURE() << "the device did not play a whole period";
            return false;
        }
        if (!pDevice->WaitForWrittenFrames(ullWritten + P, WAIT_MS))
        {
            ADD_FAILURE() << "the render thread did not refill";
            return false;
        }
    }
    return true;
}
