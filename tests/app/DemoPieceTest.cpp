#include "tests/app/CliRun.h"

#include <gtest/gtest.h>

#include <string>

// The demo piece made at build time: a 20 s stereo 16-bit file at 44.1 kHz that the reader takes.
TEST(DemoPieceTest, IsAValidTwentySecondStereoFile)
{
#ifdef _WIN32
    // Built as one literal: GCC 12 misreads a string sum of a literal this long as out of bounds.
    const std::string Path = "Z:" LARKSPUR_DEMO_PIECE;
#else
    const std::string Path = LARKSPUR_DEMO_PIECE;
#endif
    const CliRun Run = CliRun::Of("info", {Path});
    ASSERT_EQ(Run.iStatus, 0) << Run.Error;
    EXPECT_NE(Run.Out.find(
                  "sampling_frequency 44100\nchannels 2\nbits 16\nframes 882000\nlength 20.000 s (0:20.0)\n"),
              std::string::npos)
        << Run.Out;
}
