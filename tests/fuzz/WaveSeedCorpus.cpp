// Writes the seed corpus of a fuzzer into the folder given: small files of every form the reader
// knows, good and refused, made by the test WAV builder. With --chain first, for the playback-chain
// fuzzer: each file behind a few of the eight setting bytes that target reads first.
#include "tests/common/WaveFileBuilder.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace
{
std::vector<double> Sine(size_t uFrames, uint32_t uiChannels)
{
    std::vector<double> Signal(uFrames * uiChannels);
    for (size_t i = 0; i < Signal.size(); ++i)
    {
        Signal[i] =
            0.9 * std::sin(0.05 * static_cast<double>(i / uiChannels) + static_cast<double>(i % uiChannels));
    }
    return Signal;
}

// 64-bit float samples as stored: values near the largest double, whose weighted sums overflow.
WaveFileBuilder::Bytes HugeDoubles()
{
    const double dfValues[] = {1e307, 1e307, 1e307, 1e307, 1e307, 1e307, -1.7e308, 1e-310};
    WaveFileBuilder::Bytes Data(sizeof(dfValues));
    std::memcpy(Data.data(), dfValues, sizeof(dfValues));
    return Data;
}
} // namespace

int main(int argc, char** argv)
{
    const bool bChain = argc == 3 && std::string(argv[1]) == "--chain";
    if (argc != 2 && !bChain)
    {
        std::fprintf(stderr, "usage: %s [--chain] FOLDER\n", argv[0]);
        return 1;
    }
    const std::filesystem::path Folder = argv[argc - 1];
    std::filesystem::create_directories(Folder);
    using Bytes = WaveFileBuilder::Bytes;
    const std::vector<std::pair<std::string, WaveFileBuilder>> Seeds = {
        {"pcm16-stereo", WaveFileBuilder().Pcm(2, 44100, 16).Samples(Sine(300, 2))},
        {"pcm8-mono-odd", WaveFileBuilder().Pcm(1, 8000, 8).Samples(Sine(51, 1))},
        {"pcm24-junk-list", WaveFileBuilder()
                                .Pcm(2, 48000, 24)
                                .ChunkBeforeFormat("JUNK", Bytes(5, 0))
                                .ChunkBeforeData("LIST", WaveFileBuilder::ListInfoPayload("ISFT", "seed"))
                                .Samples(Sine(100, 2))},
        {"pcm32-extensible", WaveFileBuilder().Pcm(1, 96000, 32).Extensible().Samples(Sine(64, 1))},
        {"rf64-pcm24", WaveFileBuilder().Pcm(2, 48000, 24).Rf64().Ds64Table(1).Samples(Sine(80, 2))},
        {"rf64-beyond", WaveFileBuilder()
                            .Pcm(2, 48000, 16)
                            .Rf64()
                            .Ds64Sizes(std::nullopt, 1u << 30, 10)
                            .Samples(Sine(20, 2))},
        {"fmt18-fact", WaveFileBuilder()
                           .Pcm(2, 22050, 16)
                           .FormatSize(18)
                           .ChunkBeforeData("fact", WaveFileBuilder::FactPayload(40))
                           .Samples(Sine(40, 2))},
        {"trailing-chunk",
         WaveFileBuilder().Pcm(1, 44100, 16).Samples(Sine(30, 1)).ChunkAfterData("id3 ", Bytes(9, 'x'))},
        {"data-size-unknown",
         WaveFileBuilder().Pcm(2, 44100, 16).Samples(Sine(25, 2)).DataSizeField(0xFFFFFFFF)},
        {"empty", WaveFileBuilder().Pcm(2, 44100, 16)},
        {"wide-frame", WaveFileBuilder().Pcm(2048, 8000, 16).Data(Bytes(2 * 4096 + 3, 0x40))},
        // More channels than the player's block holds a frame of.
        {"wider-than-a-block", WaveFileBuilder().Pcm(2049, 8000, 8).Data(Bytes(2 * 2049, 0x80))},
        {"extensible-float", WaveFileBuilder()
                                 .Pcm(2, 48000, 32)
                                 .Extensible(WaveFileBuilder::SUBFORMAT_IEEE_FLOAT)
                                 .Data(Bytes(32, 0))},
        {"tag3", WaveFileBuilder().Pcm(1, 48000, 32).FormatTag(3).Data(Bytes(16, 0))},
        {"float64-huge", WaveFileBuilder().Pcm(1, 48000, 64).FormatTag(3).Data(HugeDoubles())},
        {"data-before-fmt", WaveFileBuilder().Pcm(1, 8000, 16).ChunkBeforeFormat("data", Bytes(4, 1))},
        {"pcm12", WaveFileBuilder().Pcm(1, 8000, 12).Samples(Sine(10, 1))},
        {"pcm16-six-channels", WaveFileBuilder().Pcm(6, 48000, 16).Samples(Sine(700, 6))},
        {"pcm24-long-mono", WaveFileBuilder().Pcm(1, 22050, 24).Samples(Sine(3000, 1))},
    };
    // Speed position (2 bytes), rate index, bits - 1, volume position (2 bytes), enhancer and shift.
    const std::vector<std::vector<uint8_t>> ChainSettings = {
        {120, 0, 10, 15, 200, 0, 1, 0},  // x1, 48 kHz, 16 bits, -20 dB
        {24, 1, 0, 31, 0, 0, 0, 0},      // x2.52, 384 kHz, 32 bits, 0 dB, no enhancer
        {0, 0, 19, 0, 32, 3, 0xF1, 200}, // x0.5, 8 kHz, 1 bit, -80 dB, shift 73
    };
    for (const auto& [Name, Builder] : Seeds)
    {
        if (!bChain)
        {
            if (!Builder.WriteFile(Folder / (Name + ".wav")))
            {
                std::fprintf(stderr, "cannot write %s\n", Name.c_str());
                return 1;
            }
            continue;
        }
        const Bytes Image = Builder.Build();
        for (size_t i = 0; i < ChainSettings.size(); ++i)
        {
            Bytes Seed = ChainSettings[i];
            Seed.insert(Seed.end(), Image.begin(), Image.end());
            FILE* pFile =
                std::fopen((Folder / (Name + "-" + std::to_string(i) + ".bin")).string().c_str(), "wb");
            const bool bWritten =
                pFile != nullptr && std::fwrite(Seed.data(), 1, Seed.size(), pFile) == Seed.size();
            if (pFile == nullptr || std::fclose(pFile) != 0 || !bWritten)
            {
                std::fprintf(stderr, "cannot write %s\n", Name.c_str());
                return 1;
            }
        }
    }
    return 0;
}
