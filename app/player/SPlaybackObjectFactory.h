#pragma once
#include "runtime/CNonCopyable.h"
#include "runtime/SMultiThread.h"

#include <cstdint>
#include <memory>

class IntelligentSoundBuffer;
class CSoundStreamWASAPI;
class SamplingFrequencyConverter;
class CMultiThreadWin;
class SAudioFileReader;
class SAudioClientLayer;

// How the playback controller makes its working objects and the few set-up steps whose failures
// cannot be brought about from outside. The programs use PlaybackObjectFactory; tests derive from it
// to make one step fail.
class SPlaybackObjectFactory : private CNonCopyable
{
public:
    virtual ~SPlaybackObjectFactory() = default;

    // Null when the object cannot be made.
    virtual std::unique_ptr<IntelligentSoundBuffer> CreateSoundBuffer() = 0;
    virtual std::unique_ptr<CSoundStreamWASAPI> CreateStream(SAudioClientLayer* pLayer) = 0;
    virtual std::unique_ptr<SamplingFrequencyConverter> CreateConverter(double dfOversamplingFactor) = 0;
    virtual std::unique_ptr<CMultiThreadWin> CreateWorker() = 0;
    // A reader that opens every file the player takes (our WAV reader first, then the platform's
    // decoder).
    virtual std::unique_ptr<SAudioFileReader> CreateReader() = 0;

    // The buffer's Initialize and SetCapacityLimit (under the buffer's lock); the worker's
    // AllocateBuffer and Start. Each returns the operation's result.
    virtual int32_t InitializeSoundBuffer(IntelligentSoundBuffer& Buffer, double dfSamplingFrequency,
                                          double& dfPeriodSeconds) = 0;
    virtual int32_t LimitSoundBuffer(IntelligentSoundBuffer& Buffer, uint64_t ullLimitFrames) = 0;
    virtual int32_t AllocateThreadBuffer(CMultiThreadWin& Worker, const char16_t* pName,
                                         uint64_t ullBytes) = 0;
    virtual int32_t StartWorker(CMultiThreadWin& Worker, ThreadBody pBody) = 0;
};
