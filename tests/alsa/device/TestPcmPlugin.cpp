// A user-space ALSA playback device for the back end's tests, loaded through a configuration the
// tests write:
//
//   pcm_type.larkspur_test { lib "/path/to/this.so" }
//   pcm.NAME {
//       type larkspur_test
//       rates "44100 48000"      accepted rates (default 48000)
//       formats "S16_LE S32_LE"  accepted sample formats (default S16_LE); always two channels
//       capture "/path/file"     every byte written goes here; its format to /path/file.format
//       lock "/path/file"        the device's identity for sharing (see below)
//       unplug_after 4800        the device disappears once this many frames have played
//       pace 100                 the clock's speed in percent of real time
//   }
//
// Sharing: like a card whose mixing path holds the hardware, an open that forbids conversion
// (a direct, exclusive open) takes the device alone and is refused as busy while anyone has it;
// other opens share it with each other. Playback is paced by CLOCK_MONOTONIC: the position moves
// at the rate (times the pace) while started, never past what was written; reaching the written
// end is an underrun, and the time until the next start is captured as silence, as it was heard.

// ALSA marks a plugin's entry for its version check only in code built as a shared object.
#ifndef PIC
#define PIC
#endif
#include <alsa/asoundlib.h>
#include <alsa/pcm_external.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <new>
#include <string>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <unistd.h>
#include <vector>

namespace
{
constexpr int DIRECT_OPEN_FLAGS =
    SND_PCM_NO_AUTO_RESAMPLE | SND_PCM_NO_AUTO_CHANNELS | SND_PCM_NO_AUTO_FORMAT;

struct TestPcm
{
    snd_pcm_ioplug_t Io{};
    std::vector<unsigned int> Rates;
    std::vector<unsigned int> Formats;
    std::string CapturePath;
    std::string LockPath;
    long long llUnplugAfter = -1;
    double dfPacePercent = 100.0;

    int iLockFd = -1;
    int iCaptureFd = -1;
    unsigned int uiFrameBytes = 0;
    // Frames written since the last prepare, and frames played of them.
    uint64_t ullWritten = 0;
    uint64_t ullPlayedBase = 0; // played before the clock's current run
    uint64_t ullPlayed = 0;
    int bRunning = 0;
    timespec RunStart{};
    // An underrun stopped the device at this time; the silence up to the next start is captured.
    int bUnderrun = 0;
    timespec UnderrunTime{};
    uint64_t ullPlayedTotal = 0; // over the whole open, for the unplug
    int bUnplugged = 0;
};

double SecondsSince(const timespec& Then)
{
    timespec Now{};
    clock_gettime(CLOCK_MONOTONIC, &Now);
    return static_cast<double>(Now.tv_sec - Then.tv_sec) +
           1e-9 * static_cast<double>(Now.tv_nsec - Then.tv_nsec);
}

void WriteAll(int iFd, const uint8_t* pBytes, size_t ullBytes)
{
    while (ullBytes > 0)
    {
        const ssize_t llDone = write(iFd, pBytes, ullBytes);
        if (llDone <= 0)
        {
            if (llDone < 0 && errno == EINTR)
            {
                continue;
            }
            return;
        }
        pBytes += llDone;
        ullBytes -= static_cast<size_t>(llDone);
    }
}

void CaptureSilence(TestPcm& Pcm, uint64_t ullFrames)
{
    if (Pcm.iCaptureFd < 0 || Pcm.uiFrameBytes == 0)
    {
        return;
    }
    const std::vector<uint8_t> Zeros(static_cast<size_t>(ullFrames) * Pcm.uiFrameBytes, 0);
    WriteAll(Pcm.iCaptureFd, Zeros.data(), Zeros.size());
}

void Unplug(TestPcm& Pcm)
{
    Pcm.bUnplugged = 1;
    Pcm.bRunning = 0;
    snd_pcm_ioplug_set_state(&Pcm.Io, SND_PCM_STATE_DISCONNECTED);
}

// Moves the clock; false when the device ran dry or went away.
bool UpdatePosition(TestPcm& Pcm)
{
    if (Pcm.bUnplugged != 0)
    {
        return false;
    }
    if (Pcm.bRunning == 0)
    {
        return true;
    }
    const double dfFrames = SecondsSince(Pcm.RunStart) * Pcm.Io.rate * Pcm.dfPacePercent / 100.0;
    uint64_t ullPlayed = Pcm.ullPlayedBase + static_cast<uint64_t>(dfFrames);
    bool bDry = false;
    if (ullPlayed >= Pcm.ullWritten)
    {
        ullPlayed = Pcm.ullWritten;
        bDry = true;
    }
    Pcm.ullPlayedTotal += ullPlayed - Pcm.ullPlayed;
    Pcm.ullPlayed = ullPlayed;
    if (Pcm.llUnplugAfter >= 0 && Pcm.ullPlayedTotal >= static_cast<uint64_t>(Pcm.llUnplugAfter))
    {
        Unplug(Pcm);
        return false;
    }
    if (bDry)
    {
        // It ran dry when the clock passed the last frame written, which may be well before now.
        const double dfDrySeconds = static_cast<double>(Pcm.ullWritten - Pcm.ullPlayedBase) /
                                    (Pcm.Io.rate * Pcm.dfPacePercent / 100.0);
        const auto llNanoseconds = static_cast<long long>(dfDrySeconds * 1e9) + Pcm.RunStart.tv_nsec;
        Pcm.UnderrunTime.tv_sec = Pcm.RunStart.tv_sec + static_cast<time_t>(llNanoseconds / 1000000000);
        Pcm.UnderrunTime.tv_nsec = static_cast<long>(llNanoseconds % 1000000000);
        Pcm.bRunning = 0;
        Pcm.bUnderrun = 1;
        return false;
    }
    return true;
}

// The clock runs from now on, counting from what was played before.
void RunClock(TestPcm& Pcm)
{
    Pcm.ullPlayedBase = Pcm.ullPlayed;
    clock_gettime(CLOCK_MONOTONIC, &Pcm.RunStart);
    Pcm.bRunning = 1;
}

// The clock stops where it stands.
void HoldClock(TestPcm& Pcm)
{
    UpdatePosition(Pcm);
    Pcm.bRunning = 0;
}

int TestStart(snd_pcm_ioplug_t* pIo)
{
    auto& Pcm = *static_cast<TestPcm*>(pIo->private_data);
    if (Pcm.bUnplugged != 0)
    {
        return -ENODEV;
    }
    if (Pcm.bUnderrun != 0)
    {
        const double dfGap = SecondsSince(Pcm.UnderrunTime) * pIo->rate * Pcm.dfPacePercent / 100.0;
        CaptureSilence(Pcm, static_cast<uint64_t>(dfGap));
        Pcm.bUnderrun = 0;
    }
    RunClock(Pcm);
    return 0;
}

int TestStop(snd_pcm_ioplug_t* pIo)
{
    HoldClock(*static_cast<TestPcm*>(pIo->private_data));
    return 0;
}

int TestPause(snd_pcm_ioplug_t* pIo, int bEnable)
{
    auto& Pcm = *static_cast<TestPcm*>(pIo->private_data);
    if (Pcm.bUnplugged != 0)
    {
        return -ENODEV;
    }
    if (bEnable != 0)
    {
        HoldClock(Pcm);
    }
    else
    {
        RunClock(Pcm);
    }
    return 0;
}

snd_pcm_sframes_t TestPointer(snd_pcm_ioplug_t* pIo)
{
    auto& Pcm = *static_cast<TestPcm*>(pIo->private_data);
    if (!UpdatePosition(Pcm))
    {
        return Pcm.bUnplugged != 0 ? -ENODEV : -EPIPE;
    }
    return static_cast<snd_pcm_sframes_t>(Pcm.ullPlayed % pIo->buffer_size);
}

snd_pcm_sframes_t TestTransfer(snd_pcm_ioplug_t* pIo, const snd_pcm_channel_area_t* pAreas,
                               snd_pcm_uframes_t ullOffset, snd_pcm_uframes_t ullFrames)
{
    auto& Pcm = *static_cast<TestPcm*>(pIo->private_data);
    if (Pcm.bUnplugged != 0)
    {
        return -ENODEV;
    }
    const auto* pBase = static_cast<const uint8_t*>(pAreas[0].addr);
    const uint8_t* pFirst = pBase + (pAreas[0].first + ullOffset * pAreas[0].step) / 8;
    if (Pcm.iCaptureFd >= 0)
    {
        WriteAll(Pcm.iCaptureFd, pFirst, static_cast<size_t>(ullFrames) * Pcm.uiFrameBytes);
    }
    Pcm.ullWritten += ullFrames;
    return static_cast<snd_pcm_sframes_t>(ullFrames);
}

int TestPrepare(snd_pcm_ioplug_t* pIo)
{
    auto& Pcm = *static_cast<TestPcm*>(pIo->private_data);
    if (Pcm.bUnplugged != 0)
    {
        return -ENODEV;
    }
    Pcm.ullWritten = 0;
    Pcm.ullPlayed = 0;
    Pcm.ullPlayedBase = 0;
    Pcm.bRunning = 0;
    return 0;
}

int TestHwParams(snd_pcm_ioplug_t* pIo, snd_pcm_hw_params_t*)
{
    auto& Pcm = *static_cast<TestPcm*>(pIo->private_data);
    Pcm.uiFrameBytes =
        static_cast<unsigned int>(snd_pcm_format_physical_width(pIo->format) / 8 * pIo->channels);
    if (!Pcm.CapturePath.empty())
    {
        if (Pcm.iCaptureFd >= 0)
        {
            close(Pcm.iCaptureFd);
        }
        Pcm.iCaptureFd = open(Pcm.CapturePath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        const std::string Format = "rate=" + std::to_string(pIo->rate) +
                                   " format=" + snd_pcm_format_name(pIo->format) +
                                   " channels=" + std::to_string(pIo->channels) + "\n";
        const int iFormatFd =
            open((Pcm.CapturePath + ".format").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (iFormatFd >= 0)
        {
            WriteAll(iFormatFd, reinterpret_cast<const uint8_t*>(Format.data()), Format.size());
            close(iFormatFd);
        }
    }
    return 0;
}

int TestClose(snd_pcm_ioplug_t* pIo)
{
    auto* pPcm = static_cast<TestPcm*>(pIo->private_data);
    if (pPcm->iCaptureFd >= 0)
    {
        close(pPcm->iCaptureFd);
    }
    if (pPcm->iLockFd >= 0)
    {
        close(pPcm->iLockFd);
    }
    if (pIo->poll_fd >= 0)
    {
        close(pIo->poll_fd);
    }
    delete pPcm;
    return 0;
}

const snd_pcm_ioplug_callback_t CALLBACKS = []
{
    snd_pcm_ioplug_callback_t Table{};
    Table.start = TestStart;
    Table.stop = TestStop;
    Table.pointer = TestPointer;
    Table.transfer = TestTransfer;
    Table.close = TestClose;
    Table.hw_params = TestHwParams;
    Table.prepare = TestPrepare;
    Table.pause = TestPause;
    return Table;
}();

std::vector<std::string> Words(const char* pText)
{
    std::vector<std::string> Result;
    std::string Word;
    for (const char* p = pText; *p != '\0'; ++p)
    {
        if (*p == ' ' || *p == ',')
        {
            if (!Word.empty())
            {
                Result.push_back(Word);
            }
            Word.clear();
        }
        else
        {
            Word += *p;
        }
    }
    if (!Word.empty())
    {
        Result.push_back(Word);
    }
    return Result;
}

int ReadSettings(snd_config_t* pConf, TestPcm& Pcm)
{
    snd_config_iterator_t i;
    snd_config_iterator_t Next;
    snd_config_for_each(i, Next, pConf)
    {
        snd_config_t* pItem = snd_config_iterator_entry(i);
        const char* pId = nullptr;
        if (snd_config_get_id(pItem, &pId) < 0)
        {
            continue;
        }
        const std::string Id = pId;
        const char* pText = nullptr;
        long long llValue = 0;
        if (Id == "comment" || Id == "type" || Id == "hint")
        {
            continue;
        }
        if ((Id == "rates" || Id == "formats" || Id == "capture" || Id == "lock") &&
            snd_config_get_string(pItem, &pText) < 0)
        {
            SNDERR("larkspur_test: %s must be a string", pId);
            return -EINVAL;
        }
        double dfValue = 0.0;
        if (snd_config_get_ireal(pItem, &dfValue) >= 0)
        {
            llValue = static_cast<long long>(dfValue);
        }
        else if ((Id == "unplug_after" || Id == "pace") && snd_config_get_integer64(pItem, &llValue) < 0)
        {
            SNDERR("larkspur_test: %s must be a number", pId);
            return -EINVAL;
        }
        if (Id == "rates")
        {
            for (const std::string& Word : Words(pText))
            {
                Pcm.Rates.push_back(static_cast<unsigned int>(std::strtoul(Word.c_str(), nullptr, 10)));
            }
        }
        else if (Id == "formats")
        {
            for (const std::string& Word : Words(pText))
            {
                const snd_pcm_format_t Format = snd_pcm_format_value(Word.c_str());
                if (Format == SND_PCM_FORMAT_UNKNOWN)
                {
                    SNDERR("larkspur_test: unknown format %s", Word.c_str());
                    return -EINVAL;
                }
                Pcm.Formats.push_back(static_cast<unsigned int>(Format));
            }
        }
        else if (Id == "capture")
        {
            Pcm.CapturePath = pText;
        }
        else if (Id == "lock")
        {
            Pcm.LockPath = pText;
        }
        else if (Id == "unplug_after" || Id == "pace")
        {
            if (Id == "pace")
            {
                Pcm.dfPacePercent = dfValue;
            }
            else
            {
                Pcm.llUnplugAfter = llValue;
            }
        }
        else
        {
            SNDERR("larkspur_test: unknown setting %s", pId);
            return -EINVAL;
        }
    }
    if (Pcm.Rates.empty())
    {
        Pcm.Rates.push_back(48000);
    }
    if (Pcm.Formats.empty())
    {
        Pcm.Formats.push_back(SND_PCM_FORMAT_S16_LE);
    }
    if (!(Pcm.dfPacePercent > 0.0))
    {
        Pcm.dfPacePercent = 100.0;
    }
    return 0;
}

int SetConstraints(TestPcm& Pcm)
{
    // Conversion plugins in front write through mmap, which the plugin layer emulates.
    static const unsigned int ACCESS[] = {SND_PCM_ACCESS_RW_INTERLEAVED, SND_PCM_ACCESS_MMAP_INTERLEAVED};
    int iError = 0;
    if ((iError = snd_pcm_ioplug_set_param_list(&Pcm.Io, SND_PCM_IOPLUG_HW_ACCESS, 2, ACCESS)) < 0 ||
        (iError = snd_pcm_ioplug_set_param_list(&Pcm.Io, SND_PCM_IOPLUG_HW_FORMAT,
                                                static_cast<unsigned int>(Pcm.Formats.size()),
                                                Pcm.Formats.data())) < 0 ||
        (iError = snd_pcm_ioplug_set_param_list(&Pcm.Io, SND_PCM_IOPLUG_HW_RATE,
                                                static_cast<unsigned int>(Pcm.Rates.size()),
                                                Pcm.Rates.data())) < 0 ||
        (iError = snd_pcm_ioplug_set_param_minmax(&Pcm.Io, SND_PCM_IOPLUG_HW_CHANNELS, 2, 2)) < 0 ||
        (iError = snd_pcm_ioplug_set_param_minmax(&Pcm.Io, SND_PCM_IOPLUG_HW_PERIOD_BYTES, 64, 1 << 20)) <
            0 ||
        (iError = snd_pcm_ioplug_set_param_minmax(&Pcm.Io, SND_PCM_IOPLUG_HW_PERIODS, 2, 1024)) < 0 ||
        (iError = snd_pcm_ioplug_set_param_minmax(&Pcm.Io, SND_PCM_IOPLUG_HW_BUFFER_BYTES, 128, 1 << 24)) < 0)
    {
        return iError;
    }
    return 0;
}
} // namespace

extern "C" SND_PCM_PLUGIN_DEFINE_FUNC(larkspur_test)
{
    (void)root;
    if (stream != SND_PCM_STREAM_PLAYBACK)
    {
        return -EINVAL;
    }
    auto* pPcm = new (std::nothrow) TestPcm;
    if (pPcm == nullptr)
    {
        return -ENOMEM;
    }
    int iError = ReadSettings(conf, *pPcm);
    if (iError < 0)
    {
        delete pPcm;
        return iError;
    }
    if (!pPcm->LockPath.empty())
    {
        pPcm->iLockFd = open(pPcm->LockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        const int iHow = (mode & DIRECT_OPEN_FLAGS) != 0 ? LOCK_EX : LOCK_SH;
        if (pPcm->iLockFd < 0 || flock(pPcm->iLockFd, iHow | LOCK_NB) < 0)
        {
            if (pPcm->iLockFd >= 0)
            {
                close(pPcm->iLockFd);
            }
            delete pPcm;
            return -EBUSY;
        }
    }
    pPcm->Io.version = SND_PCM_IOPLUG_VERSION;
    pPcm->Io.name = "Larkspur test device";
    pPcm->Io.flags = SND_PCM_IOPLUG_FLAG_MONOTONIC;
    pPcm->Io.poll_fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    pPcm->Io.poll_events = POLLOUT;
    pPcm->Io.mmap_rw = 0;
    pPcm->Io.callback = &CALLBACKS;
    pPcm->Io.private_data = pPcm;
    iError = snd_pcm_ioplug_create(&pPcm->Io, name, stream, mode);
    if (iError < 0)
    {
        if (pPcm->iLockFd >= 0)
        {
            close(pPcm->iLockFd);
        }
        if (pPcm->Io.poll_fd >= 0)
        {
            close(pPcm->Io.poll_fd);
        }
        delete pPcm;
        return iError;
    }
    if ((iError = SetConstraints(*pPcm)) < 0)
    {
        snd_pcm_ioplug_delete(&pPcm->Io); // closes through TestClose
        return iError;
    }
    *pcmp = pPcm->Io.pcm;
    return 0;
}

extern "C"
{
    SND_PCM_PLUGIN_SYMBOL(larkspur_test);
}
