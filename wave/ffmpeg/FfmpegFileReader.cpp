#include "wave/ffmpeg/FfmpegFileReader.h"

#include "runtime/ResultCodes.h"
#include "runtime/TextConversion.h"

extern "C"
{
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/intreadwrite.h>
#include <libavutil/mem.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <new>
#include <system_error>

namespace
{
// More channels than this are refused: the chain down-mixes, but a file with hundreds is no music.
constexpr uint32_t MOST_CHANNELS = 64;
// Decoded frames held at a time, at least: the largest FLAC frame.
constexpr uint64_t PENDING_FRAMES = 65536;
// How far before the frame asked for a seek lands, so that the decoder has run in (bit reservoir,
// overlapping transforms, Opus' pre-roll) by the time it gets there: a fifth of a second, and at
// least four codec frames.
constexpr uint64_t RUN_IN_DIVISOR = 5;
constexpr uint64_t RUN_IN_CODEC_FRAMES = 4;
// A seek into the last seconds of a file lands before them: the time stamps of a stream's last page
// or packets may count the padding trimmed there (Ogg's last granule position), the ones before do
// not.
constexpr uint64_t TAIL_SECONDS = 2;

struct CodingName
{
    AVCodecID Id;
    const char16_t* pName;
};

const CodingName CODING_NAMES[] = {
    {AV_CODEC_ID_FLAC, u"FLAC"},
    {AV_CODEC_ID_MP3, u"MP3"},
    {AV_CODEC_ID_MP2, u"MP2"},
    {AV_CODEC_ID_AAC, u"AAC"},
    {AV_CODEC_ID_VORBIS, u"Vorbis"},
    {AV_CODEC_ID_OPUS, u"Opus"},
    {AV_CODEC_ID_ALAC, u"ALAC"},
    {AV_CODEC_ID_WAVPACK, u"WavPack"},
    {AV_CODEC_ID_WMAV1, u"WMA"},
    {AV_CODEC_ID_WMAV2, u"WMA"},
    {AV_CODEC_ID_WMAPRO, u"WMA Pro"},
    {AV_CODEC_ID_WMALOSSLESS, u"WMA Lossless"},
    {AV_CODEC_ID_APE, u"Monkey's Audio"},
    {AV_CODEC_ID_AC3, u"AC-3"},
    {AV_CODEC_ID_TTA, u"TTA"},
};

std::u16string Widened(const char* pText)
{
    return Utf8ToWide(pText != nullptr ? pText : "");
}

// A coding whose samples are the file's own (WavPack counts: its lossy hybrid mode is rare).
bool IsLossless(AVCodecID Id)
{
    const AVCodecDescriptor* pDescriptor = avcodec_descriptor_get(Id);
    return Id == AV_CODEC_ID_WAVPACK ||
           (pDescriptor != nullptr && (pDescriptor->props & AV_CODEC_PROP_LOSSLESS) != 0 &&
            (pDescriptor->props & AV_CODEC_PROP_LOSSY) == 0);
}

// Frames at uiRate in llStamps of Base.
int64_t ToFrames(int64_t llStamps, AVRational Base, uint32_t uiRate)
{
    return av_rescale_q(llStamps, Base, AVRational{1, static_cast<int>(uiRate)});
}
} // namespace

void FfmpegFileReader::FormatContextDeleter::operator()(AVFormatContext* pContext) const
{
    avformat_close_input(&pContext);
}

void FfmpegFileReader::CodecContextDeleter::operator()(AVCodecContext* pContext) const
{
    avcodec_free_context(&pContext);
}

void FfmpegFileReader::ResamplerDeleter::operator()(SwrContext* pContext) const
{
    swr_free(&pContext);
}

void FfmpegFileReader::PacketDeleter::operator()(AVPacket* pPacket) const
{
    av_packet_free(&pPacket);
}

void FfmpegFileReader::FrameDeleter::operator()(AVFrame* pFrame) const
{
    av_frame_free(&pFrame);
}

FfmpegFileReader::FfmpegFileReader() : FfmpegFileReader(SCAN_LIMIT_BYTES) {}

FfmpegFileReader::FfmpegFileReader(uint64_t ullScanLimitBytes) : ullScanLimit(ullScanLimitBytes)
{
    // The libraries' own messages would reach the terminal, also from the playback thread.
    av_log_set_level(AV_LOG_QUIET);
    // A damaged header may ask the libraries for gigabytes at once (a chunk size read as the size of
    // a buffer); nothing real needs one block this large, so such a file is refused instead.
    av_max_alloc(LARGEST_BLOCK_BYTES);
}

FfmpegFileReader::~FfmpegFileReader()
{
    Close();
}

int32_t FfmpegFileReader::Refuse(int32_t iResult, const std::u16string& Why)
{
    Close();
    ErrorText = Why;
    return iResult;
}

namespace
{
// Opens pPath for reading by local file only (a name such as "http:..." is never a URL here).
int OpenInput(const std::string& Utf8Path, AVFormatContext*& pContext)
{
    AVDictionary* pOptions = nullptr;
    av_dict_set(&pOptions, "protocol_whitelist", "file", 0);
    pContext = nullptr;
    const int iOpen = avformat_open_input(&pContext, ("file:" + Utf8Path).c_str(), nullptr, &pOptions);
    av_dict_free(&pOptions);
    return iOpen;
}
} // namespace

int32_t FfmpegFileReader::Open(const char16_t* pPath)
{
    Close();
    ErrorText.clear();
    if (pPath == nullptr)
    {
        return RESULT_INVALID_ARGUMENT;
    }
    const std::string Utf8Path = WideToUtf8(pPath);
    AVFormatContext* pRaw = nullptr;
    if (OpenInput(Utf8Path, pRaw) < 0)
    {
        return Refuse(RESULT_FAILED, u"not a sound file the player knows (its format was not recognised)");
    }
    pFormatContext.reset(pRaw);
    if (avformat_find_stream_info(pRaw, nullptr) < 0)
    {
        return Refuse(RESULT_FAILED, u"its streams cannot be read (damaged or cut short)");
    }
    const AVCodec* pCodec = nullptr;
    iStream = av_find_best_stream(pRaw, AVMEDIA_TYPE_AUDIO, -1, -1, &pCodec, 0);
    if (iStream == AVERROR_STREAM_NOT_FOUND)
    {
        return Refuse(RESULT_FAILED, u"no sound in it (no audio stream)");
    }
    if (iStream < 0 || pCodec == nullptr)
    {
        const int32_t iAny = av_find_best_stream(pRaw, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
        const char* pName = iAny >= 0 ? avcodec_get_name(pRaw->streams[iAny]->codecpar->codec_id) : "unknown";
        return Refuse(RESULT_FAILED, u"its coding (" + Widened(pName) + u") cannot be decoded here");
    }
    for (unsigned i = 0; i < pRaw->nb_streams; ++i)
    {
        pRaw->streams[i]->discard = static_cast<int>(i) == iStream ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    }
    AVStream* pStream = pRaw->streams[iStream];
    pCodecContext.reset(avcodec_alloc_context3(pCodec));
    pPacket.reset(av_packet_alloc());
    pFrame.reset(av_frame_alloc());
    if (pCodecContext == nullptr || pPacket == nullptr || pFrame == nullptr)
    {
        Close();
        return RESULT_OUT_OF_MEMORY;
    }
    if (avcodec_parameters_to_context(pCodecContext.get(), pStream->codecpar) < 0)
    {
        return Refuse(RESULT_FAILED, u"its sound's parameters are damaged");
    }
    pCodecContext->pkt_timebase = pStream->time_base;
    if (avcodec_open2(pCodecContext.get(), pCodec, nullptr) < 0)
    {
        return Refuse(RESULT_FAILED, u"its coding (" + Widened(pCodec->name) +
                                         u") cannot be decoded: the decoder refused it");
    }
    const uint32_t uiChannels = static_cast<uint32_t>(std::max(pCodecContext->ch_layout.nb_channels, 0));
    const uint32_t uiRate = static_cast<uint32_t>(std::max(pCodecContext->sample_rate, 0));
    if (uiChannels == 0 || uiRate == 0)
    {
        return Refuse(RESULT_FAILED, u"no sampling rate or no channels given");
    }
    if (uiChannels > MOST_CHANNELS)
    {
        return Refuse(RESULT_FAILED,
                      Utf8ToWide(std::to_string(uiChannels)) + u" channels; the player takes at most 64");
    }
    const uint64_t ullHeldFrames =
        std::max<uint64_t>(PENDING_FRAMES, static_cast<uint64_t>(std::max(pCodecContext->frame_size, 0)));
    Pending.resize(ullHeldFrames * uiChannels);
    Format.uiSamplingFrequency = uiRate;
    Format.uiChannelCount = uiChannels;
    FillFormat(pRaw->iformat != nullptr && pRaw->iformat->name != nullptr ? pRaw->iformat->name : "");

    // The first frame tells where the sound begins (after the encoder's delay) and that it decodes.
    bOpened = 1;
    if (DecodeNextFrame() <= 0 || ullPendingFrames == 0)
    {
        return Refuse(RESULT_FAILED, u"its first frame cannot be decoded (damaged, or no sound in it)");
    }
    const int64_t llStamp = pFrame->pts != AV_NOPTS_VALUE ? pFrame->pts : pFrame->best_effort_timestamp;
    bFirstStampKnown = llStamp != AV_NOPTS_VALUE ? 1 : 0;
    llFirstStamp = bFirstStampKnown != 0 ? llStamp : 0;

    // The length: the declared duration of a lossless coding, of an MP4 (its edit list leaves the
    // encoder's delay and padding out) and of an Ogg stream (its last granule position, which counts
    // an Opus stream's pre-skip) is exact; otherwise the packets are counted.
    const std::string Container =
        pRaw->iformat != nullptr && pRaw->iformat->name != nullptr ? pRaw->iformat->name : "";
    const bool bOgg = Container == "ogg";
    const bool bDeclared =
        IsLossless(pStream->codecpar->codec_id) || bOgg || Container.find("mp4") != std::string::npos;
    uint64_t ullCounted = 0;
    if (bDeclared && pStream->duration != AV_NOPTS_VALUE && pStream->duration > 0)
    {
        const int64_t llPadding = bOgg ? std::max(pStream->codecpar->initial_padding, 0) : 0;
        Format.ullFrameCount = static_cast<uint64_t>(
            std::max<int64_t>(ToFrames(pStream->duration, pStream->time_base, uiRate) - llPadding, 0));
    }
    else if (CountFrames(Utf8Path, ullCounted) == 1)
    {
        Format.ullFrameCount = ullCounted;
    }
    else
    {
        const int64_t llEstimate =
            pStream->duration != AV_NOPTS_VALUE ? ToFrames(pStream->duration, pStream->time_base, uiRate)
            : pRaw->duration != AV_NOPTS_VALUE ? ToFrames(pRaw->duration, AVRational{1, AV_TIME_BASE}, uiRate)
                                               : 0;
        Format.ullFrameCount = static_cast<uint64_t>(std::max<int64_t>(llEstimate, 0));
        Format.bFrameCountEstimated = 1;
    }
    return 1;
}

void FfmpegFileReader::FillFormat(const std::string& ContainerName)
{
    const AVCodecParameters* pParameters = pFormatContext->streams[iStream]->codecpar;
    const AVCodecID Id = pParameters->codec_id;
    Format.uiChannelMask = 0;
    if (pParameters->ch_layout.order == AV_CHANNEL_ORDER_NATIVE)
    {
        Format.uiChannelMask = static_cast<uint32_t>(pParameters->ch_layout.u.mask & 0x3FFFF);
    }
    // Bits only where the file has them: lossless codings and plain PCM; none for lossy ones.
    Format.uiBitCount = 0;
    if (IsLossless(Id))
    {
        int iBits = pParameters->bits_per_raw_sample;
        if (iBits <= 0)
        {
            iBits = pParameters->bits_per_coded_sample;
        }
        if (iBits <= 0)
        {
            iBits = av_get_bytes_per_sample(static_cast<AVSampleFormat>(pCodecContext->sample_fmt)) * 8;
        }
        Format.uiBitCount = static_cast<uint32_t>(std::max(iBits, 0));
    }
    const AVCodecDescriptor* pDescriptor = avcodec_descriptor_get(Id);
    Format.bFloatSamples = 0;
    if (pDescriptor != nullptr && pDescriptor->name != nullptr &&
        std::strncmp(pDescriptor->name, "pcm_f", 5) == 0)
    {
        Format.bFloatSamples = 1;
    }
    std::u16string Name;
    for (const CodingName& Entry : CODING_NAMES)
    {
        if (Entry.Id == Id)
        {
            Name = Entry.pName;
        }
    }
    const bool bPcm = pDescriptor != nullptr && pDescriptor->name != nullptr &&
                      std::strncmp(pDescriptor->name, "pcm_", 4) == 0;
    if (ContainerName.rfind("aiff", 0) == 0 && bPcm)
    {
        Name = u"AIFF";
    }
    else if (ContainerName == "wav" || ContainerName == "w64")
    {
        // A WAV coding our own reader does not take: named by its coding.
        const char* pCoding = pDescriptor != nullptr && pDescriptor->name != nullptr ? pDescriptor->name : "";
        Name = std::strcmp(pCoding, "pcm_mulaw") == 0   ? u"WAV mu-law"
               : std::strcmp(pCoding, "pcm_alaw") == 0  ? u"WAV A-law"
               : std::strncmp(pCoding, "adpcm", 5) == 0 ? u"WAV ADPCM"
                                                        : u"WAV " + Widened(pCoding);
    }
    if (Name.empty())
    {
        Name = Widened(avcodec_get_name(Id));
    }
    const size_t ullUnits = std::min(Name.size(), sizeof(Format.szCodingName) / sizeof(char16_t) - 1);
    std::copy_n(Name.begin(), ullUnits, Format.szCodingName);
    Format.szCodingName[ullUnits] = 0;
}

int32_t FfmpegFileReader::CountFrames(const std::string& Utf8Path, uint64_t& ullFrames)
{
    ullFrames = 0;
    std::error_code Error;
    const uint64_t ullBytes = std::filesystem::file_size(std::filesystem::path(Utf8ToWide(Utf8Path)), Error);
    if (Error || ullBytes > ullScanLimit)
    {
        return 0;
    }
    // A context of its own, so the one being played stays where it is.
    AVFormatContext* pRaw = nullptr;
    if (OpenInput(Utf8Path, pRaw) < 0)
    {
        return 0;
    }
    std::unique_ptr<AVFormatContext, FormatContextDeleter> pScan(pRaw);
    std::unique_ptr<AVPacket, PacketDeleter> pScanPacket(av_packet_alloc());
    if (pScanPacket == nullptr || avformat_find_stream_info(pRaw, nullptr) < 0 ||
        static_cast<unsigned>(iStream) >= pRaw->nb_streams)
    {
        return 0;
    }
    for (unsigned i = 0; i < pRaw->nb_streams; ++i)
    {
        pRaw->streams[i]->discard = static_cast<int>(i) == iStream ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    }
    const AVRational Base = pRaw->streams[iStream]->time_base;
    int64_t llStamps = 0;
    int64_t llTrimmed = 0;
    int32_t iResult = 1;
    while (av_read_frame(pRaw, pScanPacket.get()) >= 0)
    {
        if (pScanPacket->stream_index == iStream)
        {
            if (pScanPacket->duration <= 0)
            {
                iResult = 0;
            }
            llStamps += pScanPacket->duration;
            size_t ullSize = 0;
            const uint8_t* pSkip =
                av_packet_get_side_data(pScanPacket.get(), AV_PKT_DATA_SKIP_SAMPLES, &ullSize);
            if (pSkip != nullptr && ullSize >= 8)
            {
                llTrimmed += static_cast<int64_t>(AV_RL32(pSkip)) + static_cast<int64_t>(AV_RL32(pSkip + 4));
            }
        }
        av_packet_unref(pScanPacket.get());
    }
    const int64_t llFrames = ToFrames(llStamps, Base, Format.uiSamplingFrequency) - llTrimmed;
    if (iResult != 1 || llFrames <= 0)
    {
        return 0;
    }
    ullFrames = static_cast<uint64_t>(llFrames);
    return 1;
}

int32_t FfmpegFileReader::Close()
{
    ErrorText.clear();
    const int32_t iWasOpen = bOpened;
    bOpened = 0;
    pResampler.reset();
    pFrame.reset();
    pPacket.reset();
    pCodecContext.reset();
    pFormatContext.reset();
    iStream = -1;
    Pending.clear();
    Pending.shrink_to_fit();
    ullPendingStart = 0;
    ullPendingFrames = 0;
    ullPosition = 0;
    ullDropFrames = 0;
    llFirstStamp = 0;
    bFirstStampKnown = 0;
    bEndOfSound = 0;
    bDraining = 0;
    iResamplerFormat = -1;
    uiResamplerChannels = 0;
    Format = AudioFileFormat{};
    return iWasOpen != 0 ? 1 : 0;
}

int32_t FfmpegFileReader::DecodeNextFrame()
{
    ullPendingStart = 0;
    ullPendingFrames = 0;
    if (bEndOfSound != 0)
    {
        return 0;
    }
    for (;;)
    {
        const int iReceived = avcodec_receive_frame(pCodecContext.get(), pFrame.get());
        if (iReceived == 0)
        {
            if (pFrame->nb_samples <= 0)
            {
                continue;
            }
            return ConvertFrame();
        }
        if (iReceived != AVERROR(EAGAIN) || bDraining != 0)
        {
            // The end, or a decode error: the sound ends here, as a cut file ends.
            bEndOfSound = 1;
            return 0;
        }
        // One packet of the stream played (others are discarded by the demuxer; any left are
        // skipped).
        for (;;)
        {
            const int iRead = av_read_frame(pFormatContext.get(), pPacket.get());
            if (iRead < 0)
            {
                // The end of the file, or a read error: what the decoder holds still comes out.
                avcodec_send_packet(pCodecContext.get(), nullptr);
                bDraining = 1;
                break;
            }
            if (pPacket->stream_index != iStream)
            {
                av_packet_unref(pPacket.get());
                continue;
            }
            const int iSent = avcodec_send_packet(pCodecContext.get(), pPacket.get());
            av_packet_unref(pPacket.get());
            if (iSent < 0)
            {
                bEndOfSound = 1;
                return 0;
            }
            break;
        }
    }
}

int32_t FfmpegFileReader::ConvertFrame()
{
    const uint32_t uiChannels = Format.uiChannelCount;
    if (static_cast<uint32_t>(pFrame->ch_layout.nb_channels) != uiChannels)
    {
        // A stream that changes its channels mid-way: the sound ends where it changed.
        bEndOfSound = 1;
        return 0;
    }
    if (pResampler == nullptr || iResamplerFormat != pFrame->format || uiResamplerChannels != uiChannels)
    {
        // Only the sample format changes (to interleaved doubles): the rate and channels stay.
        SwrContext* pRaw = nullptr;
        AVChannelLayout Layout{};
        av_channel_layout_default(&Layout, static_cast<int>(uiChannels));
        const int iSet =
            swr_alloc_set_opts2(&pRaw, &Layout, AV_SAMPLE_FMT_DBL, pFrame->sample_rate, &Layout,
                                static_cast<AVSampleFormat>(pFrame->format), pFrame->sample_rate, 0, nullptr);
        av_channel_layout_uninit(&Layout);
        pResampler.reset(pRaw);
        if (iSet < 0 || pRaw == nullptr || swr_init(pRaw) < 0)
        {
            pResampler.reset();
            bEndOfSound = 1;
            return RESULT_FAILED;
        }
        iResamplerFormat = pFrame->format;
        uiResamplerChannels = uiChannels;
    }
    const uint64_t ullFrames = static_cast<uint64_t>(pFrame->nb_samples);
    if (ullFrames * uiChannels > Pending.size())
    {
        // Larger than any frame so far (rare: a coding's own frame size is known at Open).
        Pending.resize(ullFrames * uiChannels);
    }
    uint8_t* pOut = reinterpret_cast<uint8_t*>(Pending.data());
    const int iConverted =
        swr_convert(pResampler.get(), &pOut, static_cast<int>(ullFrames),
                    const_cast<const uint8_t**>(pFrame->extended_data), pFrame->nb_samples);
    if (iConverted < 0)
    {
        bEndOfSound = 1;
        return RESULT_FAILED;
    }
    // A damaged stream may decode to values no converter can carry: those are silence.
    const uint64_t ullSamples = static_cast<uint64_t>(iConverted) * uiChannels;
    for (uint64_t i = 0; i < ullSamples; ++i)
    {
        if (!std::isfinite(Pending[i]))
        {
            Pending[i] = 0.0;
        }
    }
    ullPendingStart = 0;
    ullPendingFrames = static_cast<uint64_t>(iConverted);
    return ullPendingFrames != 0 ? 1 : 0;
}

bool FfmpegFileReader::FramePosition(int64_t& llPosition) const
{
    const int64_t llStamp = pFrame->pts != AV_NOPTS_VALUE ? pFrame->pts : pFrame->best_effort_timestamp;
    if (bFirstStampKnown == 0 || llStamp == AV_NOPTS_VALUE)
    {
        return false;
    }
    llPosition = ToFrames(llStamp - llFirstStamp, pFormatContext->streams[iStream]->time_base,
                          Format.uiSamplingFrequency);
    return true;
}

int32_t FfmpegFileReader::ReadOpenFile(double* pdfOut, uint64_t ullWanted, uint64_t& ullDelivered)
{
    const uint64_t ullChannels = Format.uiChannelCount;
    // An exact length is the end of the sound: a decoder may give the padding after it (AAC in MP4).
    uint64_t ullAllowed = ullWanted;
    if (Format.bFrameCountEstimated == 0)
    {
        ullAllowed =
            ullPosition < Format.ullFrameCount ? std::min(ullWanted, Format.ullFrameCount - ullPosition) : 0;
    }
    while (ullDelivered < ullAllowed)
    {
        if (ullPendingFrames == 0)
        {
            const int32_t iDecoded = DecodeNextFrame();
            if (iDecoded <= 0)
            {
                break; // the end of the sound (a failure ends it too; what came before stands)
            }
            continue;
        }
        if (ullDropFrames != 0)
        {
            const uint64_t ullDropped = std::min(ullDropFrames, ullPendingFrames);
            ullPendingStart += ullDropped;
            ullPendingFrames -= ullDropped;
            ullDropFrames -= ullDropped;
            continue;
        }
        const uint64_t ullTaken = std::min(ullPendingFrames, ullAllowed - ullDelivered);
        std::memcpy(pdfOut + ullDelivered * ullChannels, Pending.data() + ullPendingStart * ullChannels,
                    ullTaken * ullChannels * sizeof(double));
        ullPendingStart += ullTaken;
        ullPendingFrames -= ullTaken;
        ullDelivered += ullTaken;
        ullPosition += ullTaken;
    }
    return 1;
}

int32_t FfmpegFileReader::SeekToStart()
{
    AVStream* pStream = pFormatContext->streams[iStream];
    const int64_t llStart = pStream->start_time != AV_NOPTS_VALUE ? pStream->start_time : 0;
    if (av_seek_frame(pFormatContext.get(), iStream, llStart, AVSEEK_FLAG_BACKWARD) < 0 &&
        av_seek_frame(pFormatContext.get(), -1, 0, AVSEEK_FLAG_BYTE) < 0)
    {
        return RESULT_FAILED;
    }
    avcodec_flush_buffers(pCodecContext.get());
    bEndOfSound = 0;
    bDraining = 0;
    ullPendingStart = 0;
    ullPendingFrames = 0;
    ullDropFrames = 0;
    ullPosition = 0;
    return 1;
}

int32_t FfmpegFileReader::SeekOpenFile(uint64_t ullFrame)
{
    uint64_t ullTarget = ullFrame;
    if (Format.bFrameCountEstimated == 0)
    {
        ullTarget = std::min(ullTarget, Format.ullFrameCount);
    }
    const uint32_t uiRate = Format.uiSamplingFrequency;
    const uint64_t ullRunIn = std::max<uint64_t>(
        uiRate / RUN_IN_DIVISOR,
        RUN_IN_CODEC_FRAMES * static_cast<uint64_t>(std::max(pCodecContext->frame_size, 0)));
    AVStream* pStream = pFormatContext->streams[iStream];
    uint64_t ullLanding = ullTarget > ullRunIn ? ullTarget - ullRunIn : 0;
    const uint64_t ullTail = TAIL_SECONDS * uiRate;
    if (ullLanding + ullTail + ullRunIn > Format.ullFrameCount)
    {
        ullLanding =
            Format.ullFrameCount > ullTail + ullRunIn ? Format.ullFrameCount - ullTail - ullRunIn : 0;
    }
    // Two tries: a landing a little before the frame, then (when the demuxer landed after it, or the
    // frames carry no time stamps) the start, decoding in from there.
    for (int32_t iTry = 0; iTry < 2; ++iTry)
    {
        const bool bFromStart = iTry == 1 || bFirstStampKnown == 0 || ullLanding == 0;
        if (bFromStart)
        {
            if (SeekToStart() < 0)
            {
                return RESULT_FAILED;
            }
        }
        else
        {
            const int64_t llLanding =
                llFirstStamp + av_rescale_q(static_cast<int64_t>(ullLanding),
                                            AVRational{1, static_cast<int>(uiRate)}, pStream->time_base);
            if (avformat_seek_file(pFormatContext.get(), iStream, INT64_MIN, llLanding, llLanding, 0) < 0)
            {
                continue;
            }
            avcodec_flush_buffers(pCodecContext.get());
            bEndOfSound = 0;
            bDraining = 0;
            ullDropFrames = 0;
        }
        // Decoded frames before the target are dropped; the one holding it is cut there. The first
        // frame's time stamp places it, the frames after it follow on.
        int64_t llPosition = 0;
        bool bPlaced = false;
        for (;;)
        {
            if (DecodeNextFrame() <= 0)
            {
                // The target lies at or past the end: nothing more comes.
                ullPosition = ullTarget;
                return 1;
            }
            if (!bPlaced)
            {
                if (!FramePosition(llPosition))
                {
                    if (!bFromStart)
                    {
                        break;
                    }
                    llPosition = 0;
                }
                bPlaced = true;
            }
            if (llPosition > static_cast<int64_t>(ullTarget))
            {
                if (!bFromStart)
                {
                    break; // landed after the target: from the start instead
                }
                // From the start the first frame decoded is the first of the sound, whatever its
                // stamp says (a damaged stream's first frames may not decode again).
                llPosition = 0;
                if (static_cast<int64_t>(ullPendingFrames) > static_cast<int64_t>(ullTarget))
                {
                    ullPendingStart += ullTarget;
                    ullPendingFrames -= ullTarget;
                    ullPosition = ullTarget;
                    return 1;
                }
            }
            const int64_t llEnd = llPosition + static_cast<int64_t>(ullPendingFrames);
            if (llEnd > static_cast<int64_t>(ullTarget))
            {
                const uint64_t ullCut = static_cast<uint64_t>(static_cast<int64_t>(ullTarget) - llPosition);
                ullPendingStart += ullCut;
                ullPendingFrames -= ullCut;
                ullPosition = ullTarget;
                return 1;
            }
            llPosition = llEnd;
        }
    }
    return RESULT_FAILED;
}
