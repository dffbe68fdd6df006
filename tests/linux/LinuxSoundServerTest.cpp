#include "tests/alsa/AlsaChainRig.h"
#include "tests/alsa/AlsaTestSetup.h"
#include "tests/common/ChainSignals.h"
#include "tests/common/TestFiles.h"
#include "tests/common/WaveFileBuilder.h"

#include <alsa/asoundlib.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

// The shared path most desktops have: ALSA's pulse plugin onto a sound server. These run only under
// scripts/run-pulse-tests.sh, which starts a private server with a 48 kHz 16-bit null sink and
// names it in LARKSPUR_PULSE_SERVER; the tests record the sink's monitor through ALSA as well.

namespace
{
using Clock = std::chrono::steady_clock;
constexpr uint32_t SINK_RATE = 48000;

// Records the server's monitor of the null sink, as 16-bit stereo codes, on its own thread.
class MonitorRecorder
{
public:
    MonitorRecorder()
    {
        snd_pcm_t* pPcm = nullptr;
        if (snd_pcm_open(&pPcm, "larkspur_monitor", SND_PCM_STREAM_CAPTURE, 0) < 0)
        {
            ADD_FAILURE() << "the monitor cannot be opened";
            return;
        }
        pCapture = pPcm;
        EXPECT_EQ(snd_pcm_set_params(pCapture, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED, 2,
                                     SINK_RATE, 0, 100000),
                  0);
        Thread = std::thread([this] { Run(); });
    }
    ~MonitorRecorder() { Stop(); }

    void Stop()
    {
        bStop.store(true);
        if (Thread.joinable())
        {
            Thread.join();
        }
        if (pCapture != nullptr)
        {
            snd_pcm_close(pCapture);
            pCapture = nullptr;
        }
    }
    uint64_t Frames() const { return ullFrames.load(); }
    // Waits until ullMore frames have been recorded after ullFrom; false after a minute.
    bool WaitFor(uint64_t ullTotal) const
    {
        const auto Deadline = Clock::now() + std::chrono::seconds(60);
        while (Frames() < ullTotal && Clock::now() < Deadline)
        {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return Frames() >= ullTotal;
    }
    std::vector<int32_t> Codes()
    {
        std::lock_guard<std::mutex> Lock(Mutex);
        return Recorded;
    }

private:
    void Run()
    {
        std::vector<int16_t> Block(2 * 480);
        while (!bStop.load())
        {
            const snd_pcm_sframes_t llRead = snd_pcm_readi(pCapture, Block.data(), 480);
            if (llRead < 0)
            {
                if (snd_pcm_recover(pCapture, static_cast<int>(llRead), 1) < 0)
                {
                    return;
                }
                continue;
            }
            std::lock_guard<std::mutex> Lock(Mutex);
            Recorded.insert(Recorded.end(), Block.begin(), Block.begin() + 2 * llRead);
            ullFrames.store(Recorded.size() / 2);
        }
    }

    snd_pcm_t* pCapture = nullptr;
    std::thread Thread;
    std::atomic<bool> bStop{false};
    std::atomic<uint64_t> ullFrames{0};
    std::mutex Mutex;
    std::vector<int32_t> Recorded;
};

// A signal that never repeats itself, so a stretch of it is found at one place only: a rising sweep
// on the left, a swelling tone on the right.
std::vector<double> SweepAndSwell(uint64_t ullFrames, double dfRate)
{
    std::vector<double> Signal(2 * ullFrames);
    for (uint64_t n = 0; n < ullFrames; ++n)
    {
        const double t = static_cast<double>(n) / dfRate;
        Signal[2 * n] = 0.6 * std::sin(2.0 * std::numbers::pi * (200.0 * t + 2000.0 * t * t));
        Signal[2 * n + 1] = 0.4 * (0.5 + t) * std::sin(2.0 * std::numbers::pi * 3163.0 * t);
    }
    return Signal;
}

double RmsDb(const std::vector<int32_t>& Codes, size_t ullFirst, size_t ullCount)
{
    double dfSum = 0.0;
    for (size_t i = ullFirst; i < ullFirst + ullCount && i < Codes.size(); ++i)
    {
        dfSum += static_cast<double>(Codes[i]) * Codes[i];
    }
    return 10.0 * std::log10(dfSum / static_cast<double>(ullCount) + 1e-30);
}

size_t FirstSound(const std::vector<int32_t>& Codes)
{
    size_t i = 0;
    while (i < Codes.size() && Codes[i] == 0)
    {
        ++i;
    }
    return i - i % 2;
}

size_t LastSound(const std::vector<int32_t>& Codes)
{
    size_t i = Codes.size();
    while (i > 0 && Codes[i - 1] == 0)
    {
        --i;
    }
    return i;
}

class AlsaSoundServer : public testing::Test
{
protected:
    void SetUp() override
    {
        const char* pServer = std::getenv("LARKSPUR_PULSE_SERVER");
        if (pServer == nullptr || *pServer == '\0')
        {
            GTEST_SKIP() << "no private sound server (scripts/run-pulse-tests.sh starts one)";
        }
        const std::string Server = pServer;
        AlsaTestSetup::Write({}, "pcm.larkspur_server { type pulse server \"" + Server +
                                     "\" hint { show on description \"Private sound server\" } }\n"
                                     "pcm.larkspur_monitor { type pulse server \"" +
                                     Server + "\" device \"larkspur_null.monitor\" }\n");
    }

    // Plays a file of the two tones at uiFileRate through the chain in shared mode at uiDeviceRate with
    // 16 effective bits; returns the offline render's codes and the monitor's.
    void Play(uint32_t uiFileRate, uint32_t uiDeviceRate, std::vector<int32_t>& Offline,
              std::vector<int32_t>& Heard)
    {
        const uint64_t ullFileFrames = uiFileRate / 2; // 500 ms
        const auto Input = TestFiles::Write(
            "server-in.wav",
            WaveFileBuilder::PcmWave(SweepAndSwell(ullFileFrames, uiFileRate), 2, uiFileRate, 16));
        Offline = ChainSignals::RenderOfflineCodes(Input, uiDeviceRate, 16);
        const uint64_t L = Offline.size() / 2;
        AlsaChainPlayback Playback;
        Playback.uiDeviceRate = uiDeviceRate;
        Playback.uiLogicalBits = 16;
        Playback.bShared = 1;
        Playback.iEndpoint = 0;
        Playback.dfBufferSeconds = 1.0;
        Playback.bWholeFileFirst = true;
        // Recording starts once the file is converted, just before the device starts, so a slow
        // build's conversion cannot make the recorder overrun.
        std::unique_ptr<MonitorRecorder> pRecorder;
        Playback.BeforeStart = [&pRecorder](uint64_t)
        {
            pRecorder = std::make_unique<MonitorRecorder>();
            return true;
        };
        // The server's own latency on top of what the chain is asked for.
        Playback.AfterStart = [&pRecorder, uiDeviceRate](uint64_t ullFrames) {
            return pRecorder->WaitFor(pRecorder->Frames() + ullFrames * SINK_RATE / uiDeviceRate +
                                      SINK_RATE / 2);
        };
        const AlsaChainResult Result = PlayFileThroughAlsa(Input, Playback, L);
        EXPECT_GT(Result.uiBitCount, 0u);
        ASSERT_NE(pRecorder, nullptr);
        pRecorder->Stop();
        Heard = pRecorder->Codes();
    }
};
} // namespace

// The server takes the stream's rate as its own: nothing is resampled, only the stream's 32-bit
// containers become the sink's 16-bit samples (through floating point, so a code may move by
// one or two). From the second period on, every frame of the render is heard, in order, with
// nothing missing or repeated up to the end of the sound. The first period can be disturbed: the
// server re-renders the start of its sink when a stream joins, and its monitor may lack the first
// few periods.
TEST_F(AlsaSoundServer, AtTheServersRateTheMonitorHoldsTheRendersCodes)
{
    std::vector<int32_t> Offline;
    std::vector<int32_t> Heard;
    Play(48000, 48000, Offline, Heard);
    constexpr size_t PERIOD_FRAMES = 480;
    constexpr int32_t TOLERANCE = 2;
    const size_t ullOfflineFrames = Offline.size() / 2;
    const size_t ullHeardFrames = Heard.size() / 2;
    ASSERT_GT(ullOfflineFrames, 20 * PERIOD_FRAMES);
    // Where the middle of the render is heard.
    const size_t ullProbe = ullOfflineFrames / 2;
    const auto Matches = [&](size_t ullHeard, size_t ullOffline)
    {
        return std::abs(Heard[2 * ullHeard] - Offline[2 * ullOffline]) <= TOLERANCE &&
               std::abs(Heard[2 * ullHeard + 1] - Offline[2 * ullOffline + 1]) <= TOLERANCE;
    };
    size_t ullFound = SIZE_MAX;
    for (size_t h = 0; h + PERIOD_FRAMES < ullHeardFrames && ullFound == SIZE_MAX; ++h)
    {
        size_t j = 0;
        while (j < PERIOD_FRAMES && Matches(h + j, ullProbe + j))
        {
            ++j;
        }
        ullFound = j == PERIOD_FRAMES ? h : SIZE_MAX;
    }
    ASSERT_NE(ullFound, SIZE_MAX) << "the middle of the render is not in the monitor";
    // heard frame = render frame + shift; the monitor may lack the first periods of the stream.
    const auto llShift = static_cast<int64_t>(ullFound) - static_cast<int64_t>(ullProbe);
    ASSERT_GE(llShift, -3 * static_cast<int64_t>(PERIOD_FRAMES));
    const size_t ullFirst = static_cast<size_t>(std::max<int64_t>(PERIOD_FRAMES, PERIOD_FRAMES - llShift));
    // Everything from there to the sound buffer's fade at the end of the stream.
    const size_t ullLast = ullOfflineFrames - 2 * PERIOD_FRAMES;
    ASSERT_GE(static_cast<int64_t>(ullHeardFrames), llShift + static_cast<int64_t>(ullLast));
    for (size_t f = ullFirst; f < ullLast; ++f)
    {
        ASSERT_TRUE(Matches(static_cast<size_t>(static_cast<int64_t>(f) + llShift), f))
            << "render frame " << f;
    }
    // Then silence follows where the render ends.
    EXPECT_NEAR(static_cast<double>(LastSound(Heard) / 2),
                static_cast<double>(llShift) + static_cast<double>(LastSound(Offline) / 2), PERIOD_FRAMES);
}

// At another rate the server resamples: the monitor is as long as the render (give or take the
// start the server re-renders) and as loud, within 0.1 dB.
TEST_F(AlsaSoundServer, AtAnotherRateTheMonitorMatchesTheRenderInLengthAndLevel)
{
    std::vector<int32_t> Offline;
    std::vector<int32_t> Heard;
    Play(44100, 44100, Offline, Heard);
    const size_t ullStart = FirstSound(Heard);
    ASSERT_LT(ullStart, Heard.size());
    const double dfOfflineSeconds = static_cast<double>(LastSound(Offline) - FirstSound(Offline)) / 2 / 44100;
    const double dfHeardSeconds = static_cast<double>(LastSound(Heard) - ullStart) / 2 / SINK_RATE;
    EXPECT_NEAR(dfHeardSeconds, dfOfflineSeconds, 0.03);
    // The level over the steady middle half.
    const size_t ullOfflineQuarter = (LastSound(Offline) - FirstSound(Offline)) / 4;
    const size_t ullHeardQuarter = (LastSound(Heard) - ullStart) / 4;
    EXPECT_NEAR(RmsDb(Heard, ullStart + ullHeardQuarter, 2 * ullHeardQuarter),
                RmsDb(Offline, FirstSound(Offline) + ullOfflineQuarter, 2 * ullOfflineQuarter), 0.1);
}
