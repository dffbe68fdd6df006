// libFuzzer target: the whole offline chain the player runs. The first eight bytes choose the
// settings (speed position, device rate, effective bits, volume position, enhancer, shift); the
// rest is a sound file, opened as the player opens it (our WAV reader, else the decoder). It is
// read, made stereo, converted and scaled by the volume ramp by the
// player's own chain (ConverterFeeder), and quantised exactly as the render thread does it. Besides the
// sanitizers it checks that every converted sample is finite and bounded (for files whose samples
// are bounded: float WAV samples pass as they are), every quantiser word has zeros
// below its effective bits, and the number of output frames is what the rate arithmetic predicts from the
// input consumed.
#include "app/player/ConverterFeeder.h"
#include "app/player/PlayerScales.h"
#include "app/player/RateTable.h"
#include "conversion/ParameterSmoother.h"
#include "conversion/SamplingFrequencyConverter.h"
#include "output/Quantizer.h"
#include "tests/fuzz/FuzzScratchFile.h"
#include "wave/AudioFileOpener.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace
{
constexpr size_t SETTINGS_BYTES = 8;
// A band-limited rebuild of samples in -1 ... +1 overshoots, but never by this much.
constexpr double SAMPLE_BOUND = 16.0;
// The most oversampling (2^12) the target converts at: 8 kHz files into 384 kHz need 2^9.
constexpr double MAXIMUM_OVERSAMPLING = 4096.0;

[[noreturn]] void Fail(const char* pWhat)
{
    std::fprintf(stderr, "chain fuzz invariant broken: %s\n", pWhat);
    std::abort();
}

struct Settings
{
    int32_t iSpeedPosition;
    uint32_t uiRateIndex;
    uint32_t uiBits;
    int32_t iVolumePosition;
    int32_t bEnhancer;
    int32_t iShift;
};

Settings ReadSettings(const uint8_t* pData)
{
    Settings Choice;
    Choice.iSpeedPosition =
        static_cast<int32_t>((pData[0] | (pData[1] << 8)) % (PlayerScales::SPEED_MAXIMUM_POSITION + 1));
    Choice.uiRateIndex = pData[2] % RateTable::COUNT;
    Choice.uiBits = pData[3] % 32 + 1;
    Choice.iVolumePosition =
        static_cast<int32_t>((pData[4] | (pData[5] << 8)) % (PlayerScales::VOLUME_MAXIMUM_POSITION + 1));
    Choice.bEnhancer = pData[6] & 1;
    // Mostly no shift, as the player runs; now and then any shift the converter takes.
    Choice.iShift = (pData[6] & 0xF0) == 0xF0 ? static_cast<int32_t>(pData[7]) - 127 : 0;
    return Choice;
}

// The frames come from the feeder with the volume applied, as the playback thread delivers them.
// bBounded: the input's samples lie in -1 ... +1.
void CheckWords(const double* pdfFrames, uint64_t ullFrames, Quantizer& Quant, bool bBounded)
{
    const uint32_t uiMask = Quant.GetCodeMask();
    for (uint64_t f = 0; f < ullFrames; ++f)
    {
        for (uint32_t c = 0; c < 2; ++c)
        {
            const double dfSample = pdfFrames[2 * f + c];
            if (bBounded && (!std::isfinite(dfSample) || std::fabs(dfSample) > SAMPLE_BOUND))
            {
                Fail("a converted sample is not finite or far beyond full scale");
            }
            if ((Quant.Quantize(dfSample, c) & ~uiMask) != 0)
            {
                Fail("a quantiser word has bits below its effective bits");
            }
        }
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t uSize)
{
    if (uSize < SETTINGS_BYTES || !WriteFuzzScratch(pData + SETTINGS_BYTES, uSize - SETTINGS_BYTES))
    {
        return 0;
    }
    const Settings Choice = ReadSettings(pData);
    AudioFileOpener Reader;
    if (Reader.Open(FuzzScratchPath().c_str()) < 0)
    {
        return 0;
    }
    const AudioFileFormat& Format = Reader.GetFormat();
    // Only integer WAV is bounded (float WAV passes as it is; damaged data decodes to anything).
    const bool bBounded = Reader.IsWaveFile() != 0 && Format.bFloatSamples == 0;
    const uint32_t uiDeviceRate = RateTable::Hz(Choice.uiRateIndex);
    // A file rate far below any real one (under about 1 kHz against 384 kHz) makes the converter's
    // oversampled block hundreds of megabytes: seconds per input that find nothing new and, on a
    // loaded machine, a false hang. Such settings stop here.
    if (static_cast<double>(uiDeviceRate) * PlayerScales::OVERSAMPLING_FACTOR >
        MAXIMUM_OVERSAMPLING * static_cast<double>(Format.uiSamplingFrequency))
    {
        return 0;
    }
    SamplingFrequencyConverter Converter(PlayerScales::OVERSAMPLING_FACTOR);
    if (Converter.Setup(2, Format.uiSamplingFrequency, RateTable::Frequency(Choice.uiRateIndex),
                        PlayerScales::BLOCK_ORDER, Choice.iShift, 0.0) < 0)
    {
        return 0; // rates the converter refuses: the player shows its message
    }
    const double dfSpeed = PlayerScales::SpeedOfPosition(Choice.iSpeedPosition);
    const double dfRate = RateTable::Frequency(Choice.uiRateIndex) / dfSpeed;
    if (Converter.SetOutputRate(dfRate, 1) != 1)
    {
        return 0;
    }
    const uint32_t uiContainer = Choice.uiBits <= 16 ? 16 : Choice.uiBits <= 24 ? 24 : 32;
    Quantizer Quant;
    ParameterSmoother Volume;
    if (Quant.Initialize(Choice.uiBits, uiContainer, Choice.bEnhancer) != 1 ||
        Volume.Initialize(PlayerScales::GainOfVolumePosition(Choice.iVolumePosition)) != 1 ||
        Volume.SetDefaultSteps(PlayerScales::PeriodFrames(uiDeviceRate)) != 1)
    {
        Fail("quantiser or volume refused settings the player uses");
    }

    std::vector<double> Input(ConverterFeeder::BUFFER_BYTES / sizeof(double));
    std::vector<double> Output(ConverterFeeder::BUFFER_BYTES / sizeof(double));
    ConverterFeeder Feeder;
    if (Feeder.Setup(&Reader, &Converter, Input.data(), ConverterFeeder::BUFFER_BYTES, Output.data(),
                     ConverterFeeder::BUFFER_BYTES, &Volume) != 1)
    {
        // A frame of more channels than the block buffer holds (over 2048): the playback thread
        // ends at once, as the player does with such a file.
        if (Feeder.GetRefusal() == ConverterFeeder::Refusal::InputBuffer &&
            Format.uiChannelCount * sizeof(double) > ConverterFeeder::BUFFER_BYTES / 2)
        {
            return 0;
        }
        Fail("the feeder refused an open reader and a ready converter");
    }
    uint64_t ullOutputFrames = 0;
    for (;;)
    {
        uint64_t ullRead = 0;
        if (Feeder.ReadBlock(ullRead) != 1)
        {
            return 0; // a read error ends playback as the thread would
        }
        int32_t iStep = 0;
        uint64_t ullFrames = 0;
        while ((iStep = Feeder.ConvertStep(ullFrames)) == 1)
        {
            CheckWords(Feeder.GetOutput(), ullFrames, Quant, bBounded);
            ullOutputFrames += ullFrames;
        }
        if (iStep < 0)
        {
            Fail("converting a block the reader delivered failed");
        }
        if (ullRead == 0)
        {
            break;
        }
    }

    // Every block spans M oversampled intervals at 2^h x the input rate; the frames come at the
    // effective rate from the first interval's start to the last block's final interval.
    const uint64_t ullHops = Converter.ullConsumedFrames.load() / (Converter.GetBlockFrames() / 2);
    const double dfM = static_cast<double>(Converter.GetOversampledFrames() / 2);
    const double dfStep =
        static_cast<double>(uint64_t{1} << Converter.uiOversamplingOctaves) * Converter.dfInputRate / dfRate;
    const double dfLast = static_cast<double>(ullHops) * dfM - 1.0;
    const uint64_t ullPredicted = dfLast > 0.0 ? static_cast<uint64_t>(std::ceil(dfLast / dfStep)) : 0;
    // The per-frame positions are sums of one rounded step, so the last frame may land a rounding
    // either side of a block end.
    if (ullOutputFrames + 1 < ullPredicted || ullOutputFrames > ullPredicted + 1)
    {
        std::fprintf(stderr, "frames %llu, predicted %llu\n",
                     static_cast<unsigned long long>(ullOutputFrames),
                     static_cast<unsigned long long>(ullPredicted));
        Fail("the number of output frames is not what the rates predict");
    }
    return 0;
}
