#include "output/AudioClientConstants.h"
#include "output/CaptureThreadBody.h"
#include "tests/output/OutputTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace
{
// Keeps every block the capture worker delivers.
class CaptureCollector
{
public:
    static int32_t Callback(SoundStreamBuffer* pBuffer, void* pUserParameter)
    {
        auto* pCollector = static_cast<CaptureCollector*>(pUserParameter);
        std::lock_guard<std::mutex> Lock(pCollector->Mutex);
        if (pBuffer->uiDirection != SoundStreamBuffer::DIRECTION_CAPTURE)
        {
            return 0;
        }
        pCollector->Blocks.emplace_back(pBuffer->pdfData, pBuffer->pdfData + 2 * pBuffer->ullFrameCount);
        pCollector->Changed.notify_all();
        return pCollector->Blocks.size() == pCollector->uiFailingBlock ? 0 : 1;
    }

    bool WaitForBlocks(size_t ullCount)
    {
        std::unique_lock<std::mutex> Lock(Mutex);
        return Changed.wait_for(Lock, std::chrono::milliseconds(WAIT_MS),
                                [&] { return Blocks.size() >= ullCount; });
    }

    // Runs the capture body on Rig into this collector until ullBlocks have come, then ends it; the
    // body must report success.
    ::testing::AssertionResult Capture(WorkerRig& Rig, size_t ullBlocks)
    {
        if (Rig.Launch(CaptureThreadBody, Callback, this) != 1 || !WaitForBlocks(ullBlocks))
        {
            return ::testing::AssertionFailure()
                   << "the worker did not start or gave under " << ullBlocks << " blocks";
        }
        const uint64_t ullResult = Rig.Join();
        return ullResult == 1 ? ::testing::AssertionSuccess()
                              : ::testing::AssertionFailure() << "the capture body reported " << ullResult;
    }

    std::vector<std::vector<double>> GetBlocks()
    {
        std::lock_guard<std::mutex> Lock(Mutex);
        return Blocks;
    }

    size_t uiFailingBlock = 0; // this block (counted from 1) is answered with 0

private:
    std::mutex Mutex;
    std::condition_variable Changed;
    std::vector<std::vector<double>> Blocks;
};

constexpr double TOP = 8388607.0 / 8388608.0;
constexpr double LSB = 1.0 / 8388608.0;

// Three stereo frames of 24 bits: (0x800000, 0x7FFFFF), (0x000100, 0xFFFFFF), (0x400000, 0xC00000).
const std::vector<uint8_t> kPacket = {0x00, 0x00, 0x80, 0xFF, 0xFF, 0x7F, 0x00, 0x01, 0x00,
                                      0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x40, 0x00, 0x00, 0xC0};
const std::vector<double> kPacketFrames = {-1.0, TOP, 256 * LSB, -LSB, 0.5, -0.5};
} // namespace

TEST(CaptureThreadBody, DecodesPacketsAndDeliversThemInBlocksWithTheRestAtTheEnd)
{
    WorkerRig Rig;
    CaptureCollector Collector;
    ASSERT_TRUE(Rig.Open(24, 240, 4, true));
    Rig.pDevice->QueueCapturePacket(kPacket, 3, 0);
    Rig.pDevice->QueueCapturePacket(std::vector<uint8_t>(18, 0x11), 3, AUDIO_BUFFERFLAGS_SILENT);
    Rig.pDevice->QueueCapturePacket(kPacket, 3, 0);
    // Nine frames make two blocks of four; the ninth goes out when the worker is ended.
    ASSERT_TRUE(Collector.Capture(Rig, 2));
    const std::vector<std::vector<double>> Blocks = Collector.GetBlocks();
    ASSERT_EQ(Blocks.size(), 3u);
    const std::vector<double> Silent(6, 0.0);
    std::vector<double> Expected = kPacketFrames;
    Expected.insert(Expected.end(), Silent.begin(), Silent.end());
    Expected.insert(Expected.end(), kPacketFrames.begin(), kPacketFrames.end());
    std::vector<double> Received;
    for (const std::vector<double>& Block : Blocks)
    {
        Received.insert(Received.end(), Block.begin(), Block.end());
    }
    EXPECT_EQ(Blocks[0].size(), 8u);
    EXPECT_EQ(Blocks[1].size(), 8u);
    EXPECT_EQ(Blocks[2].size(), 2u);
    EXPECT_EQ(Received, Expected);
    EXPECT_EQ(Rig.Worker.GetPriority(), 1);
}

TEST(CaptureThreadBody, AMonauralDeviceFeedsEveryChannel)
{
    WorkerRig Rig;
    CaptureCollector Collector;
    ASSERT_TRUE(Rig.Open(24, 240, 2, true));
    Rig.bMonaural = 1;
    // Read as mono, the packet is six frames of one sample each.
    Rig.pDevice->QueueCapturePacket(kPacket, 6, 0);
    ASSERT_TRUE(Collector.Capture(Rig, 3));
    const std::vector<std::vector<double>> Blocks = Collector.GetBlocks();
    ASSERT_EQ(Blocks.size(), 3u);
    EXPECT_EQ(Blocks[0], (std::vector<double>{-1.0, -1.0, TOP, TOP}));
    EXPECT_EQ(Blocks[2], (std::vector<double>{0.5, 0.5, -0.5, -0.5}));
}

TEST(CaptureThreadBody, ACallbackReturningZeroOrADeviceFaultGivesZero)
{
    WorkerRig Refusing;
    CaptureCollector Collector;
    Collector.uiFailingBlock = 1;
    ASSERT_TRUE(Refusing.Open(24, 240, 2, true));
    Refusing.pDevice->QueueCapturePacket(kPacket, 3, 0);
    ASSERT_EQ(Refusing.Launch(CaptureThreadBody, CaptureCollector::Callback, &Collector), 1);
    ASSERT_TRUE(Refusing.EndsByItself());
    EXPECT_EQ(Refusing.Worker.GetResult(0), 0u);

    WorkerRig Faulty;
    CaptureCollector Unused;
    ASSERT_TRUE(Faulty.Open(24, 240, 2, true));
    Faulty.pDevice->FailAfter(VirtualOperation::GetCaptureBuffer, 2);
    ASSERT_EQ(Faulty.Launch(CaptureThreadBody, CaptureCollector::Callback, &Unused), 1);
    ASSERT_TRUE(Faulty.EndsByItself());
    EXPECT_EQ(Faulty.Worker.GetResult(0), 0u);
    EXPECT_TRUE(Unused.GetBlocks().empty());
}
