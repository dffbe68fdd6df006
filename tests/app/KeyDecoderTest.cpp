#include "app/cli/KeyDecoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
// The keys the bytes give, with a pause (Flush) where the text has '|'.
std::vector<ConsoleKey> Decode(const std::string& Bytes)
{
    KeyDecoder Decoder;
    std::vector<ConsoleKey> Keys;
    for (char cByte : Bytes)
    {
        const ConsoleKey Key = cByte == '|' ? Decoder.Flush() : Decoder.Feed(static_cast<uint8_t>(cByte));
        if (Key != ConsoleKey::None)
        {
            Keys.push_back(Key);
        }
    }
    const ConsoleKey Last = Decoder.Flush();
    if (Last != ConsoleKey::None)
    {
        Keys.push_back(Last);
    }
    return Keys;
}
} // namespace

TEST(KeyDecoderTest, ArrowsInBothCursorModesWithAndWithoutShift)
{
    using K = ConsoleKey;
    EXPECT_EQ(Decode("\x1b[D\x1b[C\x1b[A\x1b[B"),
              (std::vector<K>{K::SpeedDown, K::SpeedUp, K::VolumeUp, K::VolumeDown}));
    EXPECT_EQ(Decode("\x1bOD\x1bOC"), (std::vector<K>{K::SpeedDown, K::SpeedUp}));
    // Shift (2), Shift+Alt (4) and Shift+Ctrl (6) are ten steps; Ctrl alone (5) is one.
    EXPECT_EQ(Decode("\x1b[1;2D\x1b[1;2C\x1b[1;4C\x1b[1;6D\x1b[1;5C"),
              (std::vector<K>{K::SpeedDownTen, K::SpeedUpTen, K::SpeedUpTen, K::SpeedDownTen, K::SpeedUp}));
    EXPECT_EQ(Decode("[]"), (std::vector<K>{K::SpeedDownTen, K::SpeedUpTen}));
}

TEST(KeyDecoderTest, EscapeOnlyAfterSilenceAndUnknownSequencesSwallowed)
{
    using K = ConsoleKey;
    // A lone ESC is Escape once the input went quiet; ESC [ D arriving in one go is an arrow.
    EXPECT_EQ(Decode("\x1b|"), (std::vector<K>{K::Quit}));
    EXPECT_EQ(Decode("\x1b"), (std::vector<K>{K::Quit}));
    // An unfinished sequence cut by silence is dropped, not taken for Escape.
    EXPECT_EQ(Decode("\x1b[1;|r"), (std::vector<K>{K::Restart}));
    // Function keys and the like give nothing, and the bytes after them are read normally.
    EXPECT_EQ(Decode("\x1b[15~ \x1b[H q"), (std::vector<K>{K::PauseOrResume, K::PauseOrResume, K::Quit}));
    EXPECT_EQ(Decode("Rr\x03wy"), (std::vector<K>{K::Restart, K::Restart, K::Quit, K::Other, K::Other}));
    // The nudges, the run-up, the markers and the key list, either case.
    EXPECT_EQ(
        Decode("zXsdcVfguImnpE?h"),
        (std::vector<K>{K::NudgeStartEarlier, K::NudgeStartLater, K::NudgeStartEarlierFar,
                        K::NudgeStartLaterFar, K::NudgeEndEarlier, K::NudgeEndLater, K::NudgeEndEarlierFar,
                        K::NudgeEndLaterFar, K::RunUp, K::RunUpEvery, K::MarkerAdd, K::MarkerNext,
                        K::MarkerPrevious, K::MarkerRemove, K::Help, K::Help}));
}

TEST(KeyDecoderTest, SeekLoopAndTrainerKeys)
{
    using K = ConsoleKey;
    EXPECT_EQ(Decode(",.<>aBlTkK"),
              (std::vector<K>{K::SeekBack, K::SeekForward, K::SeekBackFar, K::SeekForwardFar, K::LoopStart,
                              K::LoopEnd, K::LoopClear, K::Trainer, K::KeepPitch, K::KeepPitch}));
    EXPECT_EQ(JumpTenths(K::KeepPitch), -1);
    const std::vector<K> Jumps = Decode("0459");
    ASSERT_EQ(Jumps.size(), 4u);
    EXPECT_EQ(JumpTenths(Jumps[0]), 0);
    EXPECT_EQ(JumpTenths(Jumps[1]), 4);
    EXPECT_EQ(JumpTenths(Jumps[2]), 5);
    EXPECT_EQ(JumpTenths(Jumps[3]), 9);
    EXPECT_EQ(JumpTenths(K::Trainer), -1);
    EXPECT_EQ(JumpTenths(K::None), -1);
}
