#include "app/player/PlaybackObjectFactory.h"

#include "conversion/SamplingFrequencyConverter.h"
#include "output/CSoundStreamWASAPI.h"
#include "runtime/CMultiThreadWin.h"
#include "soundbuffer/IntelligentSoundBuffer.h"
#include "wave/AudioFileOpener.h"

#include <new>

std::unique_ptr<IntelligentSoundBuffer> PlaybackObjectFactory::CreateSoundBuffer()
{
    return std::unique_ptr<IntelligentSoundBuffer>(new (std::nothrow) IntelligentSoundBuffer());
}

std::unique_ptr<CSoundStreamWASAPI> PlaybackObjectFactory::CreateStream(SAudioClientLayer* pLayer)
{
    return std::unique_ptr<CSoundStreamWASAPI>(new (std::nothrow) CSoundStreamWASAPI(pLayer));
}

std::unique_ptr<SamplingFrequencyConverter>
PlaybackObjectFactory::CreateConverter(double dfOversamplingFactor)
{
    return std::unique_ptr<SamplingFrequencyConverter>(new (std::nothrow)
                                                           SamplingFrequencyConverter(dfOversamplingFactor));
}

std::unique_ptr<CMultiThreadWin> PlaybackObjectFactory::CreateWorker()
{
    return std::unique_ptr<CMultiThreadWin>(new (std::nothrow) CMultiThreadWin());
}

std::unique_ptr<SAudioFileReader> PlaybackObjectFactory::CreateReader()
{
    return std::unique_ptr<SAudioFileReader>(new (std::nothrow) AudioFileOpener());
}

int32_t PlaybackObjectFactory::InitializeSoundBuffer(IntelligentSoundBuffer& Buffer,
                                                     double dfSamplingFrequency, double& dfPeriodSeconds)
{
    return Buffer.Initialize(dfSamplingFrequency, dfPeriodSeconds);
}

int32_t PlaybackObjectFactory::LimitSoundBuffer(IntelligentSoundBuffer& Buffer, uint64_t ullLimitFrames)
{
    return Buffer.SetCapacityLimit(ullLimitFrames);
}

int32_t PlaybackObjectFactory::AllocateThreadBuffer(CMultiThreadWin& Worker, const char16_t* pName,
                                                    uint64_t ullBytes)
{
    return Worker.AllocateBuffer(pName, ullBytes);
}

int32_t PlaybackObjectFactory::StartWorker(CMultiThreadWin& Worker, ThreadBody pBody)
{
    return Worker.Start(pBody);
}
