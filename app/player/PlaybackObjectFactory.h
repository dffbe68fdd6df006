#pragma once
#include "app/player/SPlaybackObjectFactory.h"

// The working objects as the programs make them: plain construction without exceptions, and the
// objects' own operations.
class PlaybackObjectFactory : public SPlaybackObjectFactory
{
public:
    std::unique_ptr<IntelligentSoundBuffer> CreateSoundBuffer() override;
    std::unique_ptr<CSoundStreamWASAPI> CreateStream(SAudioClientLayer* pLayer) override;
    std::unique_ptr<SamplingFrequencyConverter> CreateConverter(double dfOversamplingFactor) override;
    std::unique_ptr<CMultiThreadWin> CreateWorker() override;
    std::unique_ptr<SAudioFileReader> CreateReader() override;

    int32_t InitializeSoundBuffer(IntelligentSoundBuffer& Buffer, double dfSamplingFrequency,
                                  double& dfPeriodSeconds) override;
    int32_t LimitSoundBuffer(IntelligentSoundBuffer& Buffer, uint64_t ullLimitFrames) override;
    int32_t AllocateThreadBuffer(CMultiThreadWin& Worker, const char16_t* pName, uint64_t ullBytes) override;
    int32_t StartWorker(CMultiThreadWin& Worker, ThreadBody pBody) override;
};
