// Writes the seed corpus of the WAV reader fuzzer into the folder given as the only argument: small
// files of every form the reader knows, good and refused, made by the test WAV builder.
#include "tests/common/WaveFileBuilder.h"

#include <cmath>
#include <cstdio>
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
} // namespace

int main(int argc, char** argv)
{
    if (argc != 2)
    {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 1;
    }
    const std::filesystem::path Folder = argv[1];
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
        {"extensible-float", WaveFileBuilder()
                                 .Pcm(2, 48000, 32)
                                 .Extensible(WaveFileBuilder::SUBFORMAT_IEEE_FLOAT)
                                 .Data(Bytes(32, 0))},
        {"tag3", WaveFileBuilder().Pcm(1, 48000, 32).FormatTag(3).Data(Bytes(16, 0))},
        {"data-before-fmt", WaveFileBuilder().Pcm(1, 8000, 16).ChunkBeforeFormat("data", Bytes(4, 1))},
        {"pcm12", WaveFileBuilder().Pcm(1, 8000, 12).Samples(Sine(10, 1))},
    };
    for (const auto& [Name, Builder] : Seeds)
    {
        if (!Builder.WriteFile(Folder / (Name + ".wav")))
        {
            std::fprintf(stderr, "cannot write %s\n", Name.c_str());
            return 1;
        }
    }
    return 0;
}
