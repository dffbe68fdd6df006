#include "tests/player/PlaybackRig.h"

#include "app/player/PlaybackBufferCallback.h"
#include "app/player/PlaybackThreadBody.h"
#include "app/player/PlayerState.h"
#include "conversion/ParameterSmoother.h"
#include "runtime/CMultimediaTimer.h"
#include "runtime/CriticalSectionHolder.h"
#include "runtime/WorkerParameterNames.h"
#include "tests/common/TestFiles.h"

#include <gtest/gtest.h>

#include <chrono>

TestConsumer::TestConsumer(uint64_t ullPeriodFrames, uint32_t uiPaceMilliseconds) : uiPace(uiPaceMilliseconds)
{
    Block.Initialize(nullptr, ullPeriodFrames, 0);
}

TestConsumer::~TestConsumer()
{
    Stop();
}

void TestConsumer::Start()
{
    Thread = std::thread([this] { Run(); });
}

void TestConsumer::Stop()
{
    {
        std::lock_guard<std::mutex> Lock(Mutex);
        bStop = true;
    }
    if (Thread.joinable())
    {
        Thread.join();
    }
}

void TestConsumer::Run()
{
    CMultimediaTimer Timer;
    for (;;)
    {
        WaitUntilFed();
        const int32_t iResult = PlaybackBufferCallback(&Block, nullptr);
        {
            std::lock_guard<std::mutex> Lock(Mutex);
            if (bStop)
            {
                return;
            }
            Heard.Frames.insert(Heard.Frames.end(), Block.pdfData, Block.pdfData + 2 * Block.ullFrameCount);
            ++Heard.ullCalls;
            if (iResult != 1)
            {
                ++Heard.ullFailedCalls;
            }
        }
        Changed.notify_all();
        Timer.Sleep(uiPace);
    }
}

void TestConsumer::WaitUntilFed()
{
    if (pFedBuffer == nullptr)
    {
        return;
    }
    CMultimediaTimer Timer;
    // Bounded, so a producer that has stopped for good cannot hang the consumer.
    for (int i = 0; i < 10000; ++i)
    {
        if (pFedBuffer->HoldsPeriods(1) == 1)
        {
            return;
        }
        {
            std::lock_guard<std::mutex> Lock(Mutex);
            if (bStop)
            {
                return;
            }
        }
        Timer.Sleep(1);
    }
}

bool TestConsumer::WaitFor(const Predicate& Condition, double dfSeconds)
{
    std::unique_lock<std::mutex> Lock(Mutex);
    return Changed.wait_for(Lock, std::chrono::duration<double>(dfSeconds), [&] { return Condition(Heard); });
}

bool TestConsumer::WaitForCalls(uint64_t ullMore)
{
    uint64_t ullUntil = 0;
    {
        std::lock_guard<std::mutex> Lock(Mutex);
        ullUntil = Heard.ullCalls + ullMore;
    }
    return WaitFor([ullUntil](const Record& Heard) { return Heard.ullCalls >= ullUntil; });
}

TestConsumer::Record TestConsumer::Snapshot()
{
    std::lock_guard<std::mutex> Lock(Mutex);
    return Heard;
}

int PlaybackRig::iFileNumber = 0;

PlaybackRig::PlaybackRig() : Converter(10.0) {}

PlaybackRig::~PlaybackRig()
{
    PlayerState& State = PlayerState::Instance();
    State.bPaused.store(0);
    Worker.RequestStop();
    Worker.WaitForExit();
    Worker.Release();
}

void PlaybackRig::Prepare(const std::vector<uint8_t>& Wave, double dfDeviceRate, uint64_t ullCapacityLimit)
{
    const auto Path = TestFiles::Write("playback-" + std::to_string(++iFileNumber) + ".wav", Wave);
    ASSERT_GE(Reader.Open(TestFiles::Wide(Path).c_str()), 0);
    ASSERT_EQ(Converter.Setup(2, Reader.uiSamplingFrequency, dfDeviceRate, 8, 0, 0.0), 1);
    ASSERT_EQ(Converter.SetOutputRate(dfDeviceRate, 1), 1);
    double dfSeconds = 0.01;
    ASSERT_EQ(Buffer.Initialize(dfDeviceRate, dfSeconds), 1);
    ASSERT_EQ(Buffer.SetCapacityLimit(ullCapacityLimit), 1);
    ullPeriodFrames = Buffer.ullPeriodFrames;
    ASSERT_EQ(StateBinding.Bind(Buffer), 1);
}

void PlaybackRig::StartThread(bool bOmitReader, bool bOmitInputBuffer, bool bOmitOutputBuffer,
                              bool bOmitSoundBuffer)
{
    ASSERT_EQ(Worker.Create(1), 1);
    ASSERT_EQ(StorePlaybackObjects(Worker, bOmitReader ? nullptr : &Reader, &Converter,
                                   bOmitSoundBuffer ? nullptr : &Buffer),
              1);
    if (!bOmitInputBuffer)
    {
        ASSERT_GT(Worker.AllocateBuffer(WorkerParameterNames::INPUT_SIGNAL_BUFFER, 16384), 0);
    }
    if (!bOmitOutputBuffer)
    {
        ASSERT_GT(Worker.AllocateBuffer(WorkerParameterNames::OUTPUT_SIGNAL_BUFFER, 16384), 0);
    }
    ASSERT_EQ(Worker.Start(PlaybackThreadBody), 1);
}

uint64_t PlaybackRig::JoinThread()
{
    Worker.WaitForExit();
    return Worker.GetResult(0);
}

bool PlaybackRig::IsBufferFinishing()
{
    CriticalSectionHolder Holder(&Buffer.Queue.CriticalSection);
    return Buffer.Queue.bFinishing != 0;
}

uint64_t PlaybackRig::ConsumedFrames() const
{
    return Converter.ullConsumedFrames;
}
