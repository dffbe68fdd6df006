#include "app/player/ConverterFeeder.h"
#include "conversion/SamplingFrequencyConverter.h"
#include "tests/common/TestFiles.h"
#include "tests/common/WaveFileBuilder.h"
#include "wave/WaveFileReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace
{
// A reader on a generated 16-bit file, a converter at equal rates (one output frame per input frame
// at x1) and the playback thread's two 16384-byte buffers.
struct Rig
{
    explicit Rig(const std::vector<double>& Samples, uint32_t uiChannels, const std::string& Name)
        : InputBuffer(ConverterFeeder::BUFFER_BYTES / sizeof(double)),
          OutputBuffer(ConverterFeeder::BUFFER_BYTES / sizeof(double))
    {
        const auto Path = TestFiles::Write(Name, WaveFileBuilder::PcmWave(Samples, uiChannels, 44100, 16));
        EXPECT_GE(Reader.Open(TestFiles::Wide(Path).c_str()), 0);
        EXPECT_EQ(Converter.Setup(2, 44100, 44100, 8, 0, 0.0), 1);
    }
    int32_t SetupFeeder()
    {
        return Feeder.Setup(&Reader, &Converter, InputBuffer.data(), ConverterFeeder::BUFFER_BYTES,
                            OutputBuffer.data(), ConverterFeeder::BUFFER_BYTES);
    }
    // Plays the input from ullFrom up to the section's end ullTo (NO_END: the file's end) and the
    // drain after it, collecting the frames; bKeepTail as SetSectionEnd takes it.
    std::vector<double> PlaySection(uint64_t ullFrom, uint64_t ullTo, bool bKeepTail = false)
    {
        std::vector<double> Frames;
        EXPECT_EQ(SetupFeeder(), 1);
        EXPECT_EQ(Feeder.Restart(ullFrom), 1);
        Feeder.SetSectionEnd(ullTo, 0, bKeepTail);
        uint64_t ullFrames = 1;
        while (ullFrames > 0)
        {
            EXPECT_EQ(Feeder.ReadBlock(ullFrames), 1);
            EXPECT_EQ(FinishBlock(Frames), 0);
        }
        return Frames;
    }
    // Converts the block last read to its end, collecting the frames.
    int32_t FinishBlock(std::vector<double>& Frames)
    {
        int32_t iStep = 1;
        while (iStep == 1)
        {
            uint64_t ullFrames = 0;
            iStep = Feeder.ConvertStep(ullFrames);
            Frames.insert(Frames.end(), Feeder.GetOutput(), Feeder.GetOutput() + 2 * ullFrames);
        }
        return iStep;
    }

    WaveFileReader Reader;
    SamplingFrequencyConverter Converter{10.0};
    std::vector<double> InputBuffer;
    std::vector<double> OutputBuffer;
    ConverterFeeder Feeder;
};

// The converter's own count of the output frames that lie before input frame ullEnd when a section
// of ullEnd frames is fed one hop at a time (then completed with silence as at an end): each block's
// frames sit at pdfPositions, in oversampled samples from the block's start, M = 2^h x hop of them a
// block. Converter is set up, its rate (and any glide) already asked for.
uint64_t FramesBeforeEnd(SamplingFrequencyConverter& Converter, uint64_t ullEnd)
{
    const uint64_t hop = Converter.GetBlockFrames() / 2;
    const double dfScale = static_cast<double>(uint64_t{1} << Converter.uiOversamplingOctaves);
    const double dfEnd = static_cast<double>(ullEnd) * dfScale;
    const uint64_t ullHops = ullEnd / hop + 2; // the silence completes the last hop and adds one
    const std::vector<double> Silence(2 * hop, 0.0);
    std::vector<double> Out(2 * Converter.GetOversampledFrames());
    uint64_t ullBefore = 0;
    for (uint64_t k = 0; k < ullHops; ++k)
    {
        uint64_t ullIn = hop;
        EXPECT_EQ(Converter.WriteInput(Silence.data(), ullIn), 1);
        EXPECT_EQ(Converter.Process(), 1);
        uint64_t ullMade = Out.size() / 2;
        EXPECT_EQ(Converter.ReadOutput(Out.data(), ullMade), 1);
        // Block k - 1 (the first block is dropped) covers the input from (k - 1) x hop on.
        const double dfBlockStart = static_cast<double>(k - 1) * static_cast<double>(hop) * dfScale;
        for (uint64_t j = 0; j < ullMade; ++j)
        {
            ullBefore += dfBlockStart + Converter.pdfPositions[j] < dfEnd ? 1 : 0;
        }
    }
    return ullBefore;
}

std::vector<double> Ramp(uint64_t ullSamples)
{
    std::vector<double> Samples(ullSamples);
    for (uint64_t i = 0; i < ullSamples; ++i)
    {
        Samples[i] = (static_cast<double>(i % 200) - 100.0) / 256.0; // on the 16-bit grid
    }
    return Samples;
}
} // namespace

TEST(ConverterFeeder, ReadsBlocksOfTheThreadsSizeAndMakesThemStereo)
{
    // One channel: 1024 frames per block, widened to equal left and right.
    Rig Mono(Ramp(3000), 1, "feeder-mono.wav");
    ASSERT_EQ(Mono.SetupFeeder(), 1);
    EXPECT_EQ(Mono.Feeder.GetRequestFrames(), 1024u);
    uint64_t ullFrames = 0;
    ASSERT_EQ(Mono.Feeder.ReadBlock(ullFrames), 1);
    ASSERT_EQ(ullFrames, 1024u);
    const std::vector<double> Expected = Ramp(1024);
    for (uint64_t n = 0; n < 1024; ++n)
    {
        ASSERT_EQ(Mono.InputBuffer[2 * n], Expected[n]) << n;
        ASSERT_EQ(Mono.InputBuffer[2 * n + 1], Expected[n]) << n;
    }

    Rig Stereo(Ramp(2 * 100), 2, "feeder-stereo.wav");
    ASSERT_EQ(Stereo.SetupFeeder(), 1);
    EXPECT_EQ(Stereo.Feeder.GetRequestFrames(), 1024u);

    // Six channels: 2048 / 6 frames, down-mixed to stereo in place.
    Rig Six(Ramp(6 * 700), 6, "feeder-six.wav");
    ASSERT_EQ(Six.SetupFeeder(), 1);
    EXPECT_EQ(Six.Feeder.GetRequestFrames(), 341u);
    ASSERT_EQ(Six.Feeder.ReadBlock(ullFrames), 1);
    EXPECT_EQ(ullFrames, 341u);
}

// At the end of a file whose converter input holds S samples, 2 x 256 - (S mod 256) zeros are
// pushed, once; the read that delivers no frame starts it, also after a full last block.
TEST(ConverterFeeder, CompletesTheLastBlockWithSilenceAndDrains)
{
    struct Length
    {
        uint64_t ullFrames;
    };
    for (const Length& Item : {Length{0}, Length{100}, Length{2048}, Length{1000}})
    {
        SCOPED_TRACE(Item.ullFrames);
        Rig Test(Ramp(2 * Item.ullFrames), 2, "feeder-end.wav");
        ASSERT_EQ(Test.SetupFeeder(), 1);
        std::vector<double> Output;
        uint64_t ullReads = 0;
        uint64_t ullFrames = 1;
        while (ullFrames > 0)
        {
            ASSERT_EQ(Test.Feeder.ReadBlock(ullFrames), 1);
            ++ullReads;
            if (ullFrames == 0)
            {
                break;
            }
            ASSERT_EQ(Test.FinishBlock(Output), 0);
        }
        EXPECT_EQ(ullReads, (Item.ullFrames + 1023) / 1024 + 1);
        // S = 2 x left samples, then 512 - S more: the queue holds two hops.
        EXPECT_EQ(Test.Converter.InputFIFO.GetFill(), 512u);
        ASSERT_EQ(Test.FinishBlock(Output), 0);
        // At equal rates every input frame comes out once the silence has pushed it through.
        EXPECT_EQ(Test.Converter.InputFIFO.GetFill(), 0u);
        EXPECT_GE(Output.size() / 2, Item.ullFrames);
        EXPECT_EQ(Test.Converter.ullConsumedFrames.load(),
                  (Item.ullFrames + 256 - Item.ullFrames % 128) - 128);
        // Later reads find the end again and push nothing more.
        ASSERT_EQ(Test.Feeder.ReadBlock(ullFrames), 1);
        EXPECT_EQ(ullFrames, 0u);
        EXPECT_EQ(Test.Converter.InputFIFO.GetFill(), 0u);
        EXPECT_EQ(Test.FinishBlock(Output), 0);
    }
}

TEST(ConverterFeeder, RefusesWhatItCannotFeed)
{
    Rig Test(Ramp(200), 2, "feeder-refuse.wav");
    ConverterFeeder Feeder;
    uint64_t ullFrames = 7;
    EXPECT_EQ(Feeder.ReadBlock(ullFrames), -1);
    EXPECT_EQ(ullFrames, 0u);
    ullFrames = 7;
    EXPECT_EQ(Feeder.ConvertStep(ullFrames), -1);
    EXPECT_EQ(ullFrames, 0u);
    double* pdfIn = Test.InputBuffer.data();
    double* pdfOut = Test.OutputBuffer.data();
    const uint64_t ullBytes = ConverterFeeder::BUFFER_BYTES;
    EXPECT_EQ(Feeder.Setup(nullptr, &Test.Converter, pdfIn, ullBytes, pdfOut, ullBytes), -4);
    EXPECT_EQ(Feeder.Setup(&Test.Reader, nullptr, pdfIn, ullBytes, pdfOut, ullBytes), -4);
    EXPECT_EQ(Feeder.Setup(&Test.Reader, &Test.Converter, nullptr, ullBytes, pdfOut, ullBytes), -4);
    EXPECT_EQ(Feeder.Setup(&Test.Reader, &Test.Converter, pdfIn, ullBytes, nullptr, ullBytes), -4);
    EXPECT_EQ(Feeder.Setup(&Test.Reader, &Test.Converter, pdfIn, 8, pdfOut, ullBytes), -4);
    EXPECT_EQ(Feeder.Setup(&Test.Reader, &Test.Converter, pdfIn, ullBytes, pdfOut, 8), -4);
    SamplingFrequencyConverter Mono(10.0);
    ASSERT_EQ(Mono.Setup(1, 44100, 48000, 8, 0, 0.0), 1);
    EXPECT_EQ(Feeder.Setup(&Test.Reader, &Mono, pdfIn, ullBytes, pdfOut, ullBytes), -4);
    WaveFileReader Closed;
    EXPECT_EQ(Feeder.Setup(&Closed, &Test.Converter, pdfIn, ullBytes, pdfOut, ullBytes), -4);

    // A converter released after set-up makes the conversion step fail.
    ASSERT_EQ(Feeder.Setup(&Test.Reader, &Test.Converter, pdfIn, ullBytes, pdfOut, ullBytes), 1);
    ASSERT_EQ(Feeder.ReadBlock(ullFrames), 1);
    EXPECT_EQ(ullFrames, 100u);
    Test.Converter.Release();
    EXPECT_EQ(Feeder.ConvertStep(ullFrames), -1);
    EXPECT_EQ(ullFrames, 0u);
}

// Every refusal answers -4; GetRefusal names the part, and what came before it stays usable: without
// an input buffer the file ends at once, without the converter side blocks are still read.
TEST(ConverterFeeder, TellsWhichPartItRefused)
{
    Rig Test(Ramp(2 * 300), 2, "feeder-refusal.wav");
    double* pdfIn = Test.InputBuffer.data();
    double* pdfOut = Test.OutputBuffer.data();
    const uint64_t ullBytes = ConverterFeeder::BUFFER_BYTES;
    ConverterFeeder Feeder;
    EXPECT_EQ(Feeder.GetRefusal(), ConverterFeeder::Refusal::Reader);
    uint64_t ullFrames = 7;

    WaveFileReader Closed;
    EXPECT_EQ(Feeder.Setup(&Closed, &Test.Converter, pdfIn, ullBytes, pdfOut, ullBytes), -4);
    EXPECT_EQ(Feeder.GetRefusal(), ConverterFeeder::Refusal::Reader);
    EXPECT_EQ(Feeder.ReadBlock(ullFrames), -1);
    EXPECT_EQ(Feeder.IsAtEndOfFile(), 0);

    // Too small for one frame counts as missing.
    EXPECT_EQ(Feeder.Setup(&Test.Reader, &Test.Converter, pdfIn, 15, pdfOut, ullBytes), -4);
    EXPECT_EQ(Feeder.GetRefusal(), ConverterFeeder::Refusal::InputBuffer);
    ASSERT_EQ(Feeder.Setup(&Test.Reader, &Test.Converter, nullptr, ullBytes, pdfOut, ullBytes), -4);
    EXPECT_EQ(Feeder.GetRefusal(), ConverterFeeder::Refusal::InputBuffer);
    ullFrames = 7;
    ASSERT_EQ(Feeder.ReadBlock(ullFrames), 1);
    EXPECT_EQ(ullFrames, 0u);
    EXPECT_EQ(Feeder.IsAtEndOfFile(), 1);
    EXPECT_EQ(Test.Converter.InputFIFO.GetFill(), 512u);
    EXPECT_EQ(Feeder.ConvertStep(ullFrames), -1);
    EXPECT_EQ(Test.Converter.ullConsumedFrames.load(), 0u);

    // The converter side refused: the first block is read and widened, its conversion fails.
    Rig Mono(Ramp(300), 1, "feeder-refusal-mono.wav");
    EXPECT_EQ(
        Feeder.Setup(&Mono.Reader, &Mono.Converter, Mono.InputBuffer.data(), ullBytes, nullptr, ullBytes),
        -4);
    EXPECT_EQ(Feeder.GetRefusal(), ConverterFeeder::Refusal::Converter);
    ASSERT_EQ(Feeder.ReadBlock(ullFrames), 1);
    EXPECT_EQ(ullFrames, 300u);
    EXPECT_EQ(Mono.InputBuffer[2 * 299], Mono.InputBuffer[2 * 299 + 1]);
    EXPECT_EQ(Feeder.ConvertStep(ullFrames), -1);
    EXPECT_EQ(ullFrames, 0u);
    EXPECT_EQ(Mono.Converter.InputFIFO.GetFill(), 0u);
    // At the end of the file a ready converter still gets its silence; one not ready gets none.
    ASSERT_EQ(Feeder.ReadBlock(ullFrames), 1);
    EXPECT_EQ(ullFrames, 0u);
    EXPECT_EQ(Mono.Converter.InputFIFO.GetFill(), 512u);
    Rig Released(Ramp(10), 1, "feeder-refusal-released.wav");
    ASSERT_EQ(Released.Converter.Release(), 1);
    EXPECT_EQ(Feeder.Setup(&Released.Reader, &Released.Converter, Released.InputBuffer.data(), ullBytes,
                           Released.OutputBuffer.data(), ullBytes),
              -4);
    EXPECT_EQ(Feeder.GetRefusal(), ConverterFeeder::Refusal::Converter);
    ASSERT_EQ(Feeder.ReadBlock(ullFrames), 1);
    EXPECT_EQ(ullFrames, 10u);
    ASSERT_EQ(Feeder.ReadBlock(ullFrames), 1);
    EXPECT_EQ(ullFrames, 0u);
    EXPECT_EQ(Feeder.IsAtEndOfFile(), 1);
    EXPECT_EQ(Feeder.Setup(&Released.Reader, nullptr, Released.InputBuffer.data(), ullBytes,
                           Released.OutputBuffer.data(), ullBytes),
              -4);
    EXPECT_EQ(Feeder.GetRefusal(), ConverterFeeder::Refusal::Converter);
    EXPECT_EQ(Feeder.ReadBlock(ullFrames), 1);
    EXPECT_EQ(ullFrames, 0u);

    ASSERT_EQ(Feeder.Setup(&Mono.Reader, &Mono.Converter, Mono.InputBuffer.data(), ullBytes,
                           Mono.OutputBuffer.data(), ullBytes),
              1);
    EXPECT_EQ(Feeder.GetRefusal(), ConverterFeeder::Refusal::None);
    EXPECT_EQ(Feeder.IsAtEndOfFile(), 0);
}

// At a section's end the drain stops where the section's last frame ends at the speed: the frames
// given out are those of the whole drain up to ceil(N x output rate / input rate), bit for bit, and
// exactly the frames the converter places before the end, a glide from the section's start included.
TEST(ConverterFeeder, ASectionEndsWhereItsLastFrameEndsAtTheSpeed)
{
    struct Case
    {
        double dfDeviceRate;
        double dfSpeed;
        uint64_t ullFrom;
        uint64_t ullTo;
        double dfGlideTo; // 0: none; else the speed glides there from the section's start
    };
    const Case Cases[] = {
        {44100.0, 1.0, 1000, 5410, 0.0},               // equal rates: one frame per input frame
        {44100.0, 1.0, 0, 4096, 0.0},                  // a whole number of hops
        {48000.0, 0.7491535384383408, 300, 7000, 0.0}, // x0.75's slider step
        {96000.0, 1.2968395546510096, 129, 6000, 0.0}, // x1.3's
        {22050.0, 2.0, 2500, 8191, 0.0},
        {48000.0, 0.8, 1000, 9000, 1.25}, // a seam's glide
    };
    for (const Case& Item : Cases)
    {
        SCOPED_TRACE(testing::Message() << Item.dfDeviceRate << " Hz x" << Item.dfSpeed << ", frames "
                                        << Item.ullFrom << "-" << Item.ullTo << " glide " << Item.dfGlideTo);
        Rig Test(Ramp(2 * 10000), 2, "feeder-section.wav");
        const auto SetRate = [&](SamplingFrequencyConverter& Converter)
        {
            ASSERT_EQ(Converter.Setup(2, 44100, Item.dfDeviceRate, 8, 0, 0.0), 1);
            ASSERT_EQ(Converter.SetOutputRate(Item.dfDeviceRate / Item.dfSpeed, 1), 1);
            if (Item.dfGlideTo > 0.0)
            {
                ASSERT_EQ(Converter.SetOutputRate(Item.dfDeviceRate / Item.dfGlideTo, 0), 1);
            }
        };
        ASSERT_NO_FATAL_FAILURE(SetRate(Test.Converter));
        const std::vector<double> Tail = Test.PlaySection(Item.ullFrom, Item.ullTo, true);
        ASSERT_NO_FATAL_FAILURE(SetRate(Test.Converter));
        const std::vector<double> Cut = Test.PlaySection(Item.ullFrom, Item.ullTo);
        EXPECT_TRUE(Test.Feeder.IsAtSectionEnd());
        // Drained all the same: nothing is left in the converter.
        EXPECT_EQ(Test.Converter.InputFIFO.GetFill(), 0u);
        EXPECT_EQ(Test.Converter.OutputFIFO.GetFill(), 0u);

        const uint64_t N = Item.ullTo - Item.ullFrom;
        const uint64_t ullCut = Cut.size() / 2;
        if (Item.dfGlideTo == 0.0)
        {
            EXPECT_EQ(ullCut, static_cast<uint64_t>(std::ceil(static_cast<double>(N) * Item.dfDeviceRate /
                                                              (44100.0 * Item.dfSpeed))));
        }
        SamplingFrequencyConverter Reference(10.0);
        ASSERT_NO_FATAL_FAILURE(SetRate(Reference));
        EXPECT_EQ(ullCut, FramesBeforeEnd(Reference, N));
        // The cut drops only the drain's tail.
        ASSERT_LT(ullCut, Tail.size() / 2);
        EXPECT_TRUE(std::equal(Cut.begin(), Cut.end(), Tail.begin()));
    }
}

// At the file's own end, and with the tail kept, the whole drain comes out as before; a section end
// moved back behind the reads cuts where the reads stopped.
TEST(ConverterFeeder, TheFilesEndKeepsTheDrainedTail)
{
    Rig Test(Ramp(2 * 3000), 2, "feeder-file-end.wav");
    // Equal rates: a file of L frames gives the L frames and the rest of the padded last hop.
    const std::vector<double> Whole = Test.PlaySection(0, ConverterFeeder::NO_END);
    EXPECT_FALSE(Test.Feeder.IsAtSectionEnd());
    EXPECT_EQ(Whole.size() / 2, 3000u + 128 - 3000 % 128);
    const std::vector<double> Kept = Test.PlaySection(0, 3000, true);
    EXPECT_EQ(Kept, Whole);
    const std::vector<double> Cut = Test.PlaySection(0, 3000);
    EXPECT_EQ(Cut.size() / 2, 3000u);
    EXPECT_TRUE(std::equal(Cut.begin(), Cut.end(), Whole.begin()));

    // The end set behind the frame the reads have reached: they stop there, and so does the cut, as
    // for a section that ends there.
    const std::vector<double> Section = Test.PlaySection(0, 1024);
    ASSERT_EQ(Test.SetupFeeder(), 1);
    ASSERT_EQ(Test.Feeder.Restart(0), 1);
    Test.Feeder.SetSectionEnd(ConverterFeeder::NO_END);
    uint64_t ullFrames = 0;
    std::vector<double> Frames;
    ASSERT_EQ(Test.Feeder.ReadBlock(ullFrames), 1);
    ASSERT_EQ(ullFrames, 1024u);
    ASSERT_EQ(Test.FinishBlock(Frames), 0);
    Test.Feeder.SetSectionEnd(500);
    while (ullFrames > 0)
    {
        ASSERT_EQ(Test.Feeder.ReadBlock(ullFrames), 1);
        ASSERT_EQ(Test.FinishBlock(Frames), 0);
    }
    EXPECT_TRUE(Test.Feeder.IsAtSectionEnd());
    EXPECT_EQ(Frames.size() / 2, 1024u);
    EXPECT_EQ(Frames, Section);
}
